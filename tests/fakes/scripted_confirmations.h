#pragma once
// Confirmations for tests: each question is recorded (kind, file choice) and answered from
// a script; an empty script answers Cancel.

#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "app/ui/services/confirmation_service.h"

namespace fakes {

class ScriptedConfirmations : public ui::ConfirmationService {
 public:
  std::deque<int> answers;
  std::vector<std::pair<int, bool>> asked;

  int RunConfirmationAlert(int kind, bool fileChoice) override {
    asked.emplace_back(kind, fileChoice);
    if (answers.empty()) return ui::kConfirmationCancel;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// Installs a fresh script for the life of the object.
class ScopedConfirmations {
 public:
  ScopedConfirmations() {
    auto fake = std::make_unique<ScriptedConfirmations>();
    fake_ = fake.get();
    previous_ = ui::ConfirmationServiceSlot::Set(std::move(fake));
  }
  ~ScopedConfirmations() { ui::ConfirmationServiceSlot::Set(std::move(previous_)); }
  ScriptedConfirmations* operator->() { return fake_; }

 private:
  ScriptedConfirmations* fake_;
  std::unique_ptr<ui::ConfirmationService> previous_;
};

}  // namespace fakes
