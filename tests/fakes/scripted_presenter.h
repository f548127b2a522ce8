#pragma once
// A presenter for tests: answers alerts, menus and file dialogs from a script and
// records every request. An unscripted alert answers its default button (else its first),
// an unscripted menu chooses nothing and an unscripted dialog is cancelled; each such
// answer is counted in `unscripted`, so a test can insist that everything was expected.
// Install it with ScopedScriptedPresenter, which puts the previous presenter back.

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolbox/app/presenter.h"

namespace fakes {

class ScriptedPresenter : public toolbox::Presenter {
 public:
  std::deque<int> alert_answers;  // button indexes
  std::deque<toolbox::MenuSelection> menu_answers;
  std::deque<std::optional<std::string>> folder_answers;
  std::deque<std::optional<std::string>> put_file_answers;

  std::vector<toolbox::AlertRequest> alerts;
  std::vector<toolbox::MenuRequest> menus;
  std::vector<toolbox::FileDialogRequest> folder_requests;
  std::vector<toolbox::FileDialogRequest> put_file_requests;
  int unscripted = 0;

  // Chooses the first item with this text in the menu shown next.
  void ChooseMenuItemByText(const toolbox::MenuRef& menu, const std::string& text) {
    const int index = menu->IndexOfText(text);
    menu_answers.push_back({menu, index, index ? menu->Item(index)->command : 0});
  }

  int RunAlert(const toolbox::AlertRequest& request) override {
    alerts.push_back(request);
    if (!alert_answers.empty()) {
      const int answer = alert_answers.front();
      alert_answers.pop_front();
      return answer;
    }
    ++unscripted;
    for (std::size_t i = 0; i < request.buttons.size(); ++i)
      if (request.buttons[i].is_default) return static_cast<int>(i);
    return 0;
  }

  toolbox::MenuSelection ShowMenu(const toolbox::MenuRequest& request) override {
    menus.push_back(request);
    if (!menu_answers.empty()) {
      auto answer = menu_answers.front();
      menu_answers.pop_front();
      return answer;
    }
    ++unscripted;
    return {};
  }

  std::optional<std::string> ChooseFolder(const toolbox::FileDialogRequest& request) override {
    folder_requests.push_back(request);
    return Next(folder_answers);
  }

  std::optional<std::string> PutFile(const toolbox::FileDialogRequest& request) override {
    put_file_requests.push_back(request);
    return Next(put_file_answers);
  }

 private:
  std::optional<std::string> Next(std::deque<std::optional<std::string>>& answers) {
    if (answers.empty()) {
      ++unscripted;
      return std::nullopt;
    }
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// Installs a ScriptedPresenter for its lifetime.
class ScopedScriptedPresenter {
 public:
  ScopedScriptedPresenter() {
    auto owned = std::make_unique<ScriptedPresenter>();
    presenter_ = owned.get();
    previous_ = toolbox::SetPresenter(std::move(owned));
  }
  ~ScopedScriptedPresenter() { toolbox::SetPresenter(std::move(previous_)); }
  ScopedScriptedPresenter(const ScopedScriptedPresenter&) = delete;
  ScopedScriptedPresenter& operator=(const ScopedScriptedPresenter&) = delete;

  ScriptedPresenter* operator->() { return presenter_; }
  ScriptedPresenter& get() { return *presenter_; }

 private:
  ScriptedPresenter* presenter_;
  std::unique_ptr<toolbox::Presenter> previous_;
};

}  // namespace fakes
