#pragma once
// The one modal question asked before anything is removed or cleared. Each kind of
// confirmation has its text and its set of buttons; the answer is a small code.
//
// Buttons, left to right: with a file choice "Keep Files" and "Move To Trash", without
// it "OK"; then "Cancel" (Escape). The first button answers Return, except for clearing
// the whole queue (kind 6), which has no default button and is asked with the critical
// style. Holding Option answers at once without asking - Keep Files with a file choice,
// OK without - for every kind but 6.

#include <string>

namespace shell {

enum ConfirmationAnswer : int {
  kConfirmCancel = 0,
  kConfirmKeepFiles = 1,
  kConfirmMoveToTrash = 2,
  kConfirmOK = 3,
};

// The kind whose question cannot be skipped with Option: clearing the whole queue.
inline constexpr int kConfirmClearQueueKind = 6;

struct ConfirmationTexts {
  std::string message;  // localisation keys; "" = none
  std::string informative;
};

// The texts of a kind (0 to 15); a kind outside the table has none.
ConfirmationTexts ConfirmationTextsForKind(int kind);

// Asks (main thread, modal) and answers 0 to 3. `fileChoice` offers keeping or trashing
// the files.
int RunConfirmationAlert(int kind, bool fileChoice);

// The program's home page, in the default browser.
inline constexpr const char* kHomePageURL = "https://truvane.org/";
void OpenHomePage();

}  // namespace shell
