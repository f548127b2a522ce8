#pragma once
// A FolderDialogService with scripted answers, given in order; records where each dialog
// opened. With no answer left it reports that no dialog could be shown.

#include <deque>
#include <string>
#include <vector>

#include "app/ui/services/folder_dialog_service.h"

namespace ui {

class FakeFolderDialogService : public FolderDialogService {
 public:
  std::deque<ChooseFolderAnswer> answers;
  std::vector<std::string> openedAt;
  std::vector<values::FourCharCode> stateKeys;

  ChooseFolderAnswer ChooseFolder(const std::string& startFolder, values::FourCharCode stateKey) override {
    openedAt.push_back(startFolder);
    stateKeys.push_back(stateKey);
    if (answers.empty()) return {};
    ChooseFolderAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace ui
