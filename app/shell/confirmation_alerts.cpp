#include "app/shell/confirmation_alerts.h"

#include <array>

#include "platform/desktop/workspace.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/values/localize.h"

namespace shell {
namespace {

constexpr const char* kDeleteSelectedEntries =
    "You are about to delete the selected entries from Truvane. Do you want to move the related files to the "
    "Trash as well?";
constexpr const char* kCannotBeUndone = "This cannot be undone";

// Index = kind.
constexpr std::array<std::pair<const char*, const char*>, 16> kTexts = {{
    {kDeleteSelectedEntries, ""},
    {kDeleteSelectedEntries, ""},
    {kDeleteSelectedEntries, ""},
    {"Do you really want to remove the currently selected servers?", ""},
    {"Do you really want to remove the selected item(s) from the FTP server?", kCannotBeUndone},
    {"Do you really want to remove the selected item(s) from the iDisk?", kCannotBeUndone},
    {"You are about to delete all downloads. Do you want to move the associated files to the trash?",
     kCannotBeUndone},
    {"Do you want to really want to clear all of the currently listed items?", ""},
    {"You are about to clear all of the currently listed items. Do you want to move the associated files to "
     "the "
     "trash?",
     ""},
    {"You are about to delete the selected folder(s). Do you want to move the associated files to the trash?",
     ""},
    {"You are about to delete all completed uploads. Do you want to move the associated files to the trash?",
     ""},
    {"You are about to delete all cancelled uploads. Do you want to move the associated files to the trash?",
     ""},
    {"You are about to delete all cancelled downloads. Do you want to move the associated files to the "
     "trash?",
     ""},
    {"You are about to delete all completed downloads. Do you want to move the associated files to the "
     "trash?",
     ""},
    {"You are about to delete all items from the selected folder(s). Do you want to move the associated "
     "files to "
     "the trash?",
     ""},
    {"kConfirmClearupQueueString", "kConfirmClearupQueueInfoString"},
}};

}  // namespace

ConfirmationTexts ConfirmationTextsForKind(int kind) {
  if (kind < 0 || kind >= static_cast<int>(kTexts.size())) return {};
  return {kTexts[kind].first, kTexts[kind].second};
}

int RunConfirmationAlert(int kind, bool fileChoice) {
  if (kind != kConfirmClearQueueKind && toolbox::IsOptionKeyDown())
    return fileChoice ? kConfirmKeepFiles : kConfirmOK;

  toolbox::AlertRequest alert;
  const bool critical = kind == kConfirmClearQueueKind;
  alert.style = critical ? toolbox::AlertStyle::kCritical : toolbox::AlertStyle::kWarning;
  if (fileChoice) {
    alert.buttons.push_back({values::Localized("Keep Files"), !critical, false});
    alert.buttons.push_back({values::Localized("Move To Trash"), false, false});
  } else {
    alert.buttons.push_back({values::Localized("OK"), !critical, false});
  }
  alert.buttons.push_back({values::Localized("Cancel"), false, true});

  const ConfirmationTexts texts = ConfirmationTextsForKind(kind);
  if (!texts.message.empty()) alert.message = values::Localized(texts.message);
  if (!texts.informative.empty()) alert.informative = values::Localized(texts.informative);

  switch (toolbox::GetPresenter().RunAlert(alert)) {
    case 0:
      return fileChoice ? kConfirmKeepFiles : kConfirmOK;
    case 1:
      return fileChoice ? kConfirmMoveToTrash : kConfirmCancel;
    default:
      return kConfirmCancel;
  }
}

void OpenHomePage() {
  desktop::WorkspaceSlot::Get().OpenURL(kHomePageURL);
}

}  // namespace shell
