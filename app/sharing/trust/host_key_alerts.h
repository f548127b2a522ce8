#pragma once
// The host-key questions as the toolbox shows them: an alert on the main thread whose
// buttons stand for the answers (the worker that asked waits for the press). A run
// without a display answers Cancel at once, as nobody is there to look at a key.

#include "app/sharing/services/host_key_question_service.h"

namespace sharing {

class ToolboxHostKeyQuestions : public HostKeyQuestionService {
 public:
  explicit ToolboxHostKeyQuestions(bool interactive) : interactive_(interactive) {}
  HostKeyAnswer Ask(const HostKeyQuestion& question) override;

 private:
  bool interactive_;
};

}  // namespace sharing
