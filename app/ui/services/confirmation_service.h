#pragma once
// The one modal question asked before anything is removed or cleared, as the core asks it:
// a kind (0 to 15, each with its text and buttons) and whether the files may be kept or
// trashed; the answer is 0 Cancel, 1 Keep Files, 2 Move To Trash, 3 OK.
//
// The shell registers its alert at start-up with ConfirmationServiceSlot::Set(). Until then
// (headless runs) the default answers Cancel to every question: with no one to ask,
// nothing is removed.
//
// Main thread only.

#include <memory>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace ui {

inline constexpr int kConfirmationCancel = 0;
inline constexpr int kConfirmationKeepFiles = 1;
inline constexpr int kConfirmationMoveToTrash = 2;
inline constexpr int kConfirmationOK = 3;

class ConfirmationService {
 public:
  virtual ~ConfirmationService() = default;
  virtual int RunConfirmationAlert(int kind, bool fileChoice) = 0;
};

class UnansweredConfirmationService : public ConfirmationService {
 public:
  int RunConfirmationAlert(int, bool) override { return kConfirmationCancel; }
};

using ConfirmationServiceSlot = runtime::ServiceSlot<ConfirmationService, UnansweredConfirmationService>;

}  // namespace ui
