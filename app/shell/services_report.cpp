#include "app/shell/services_report.h"

#include <cstdio>
#include <cstdlib>
#include <set>

#include "app/browser/seam_list.h"
#include "app/engine/seam_list.h"
#include "app/queue/seam_list.h"
#include "app/sharing/seam_list.h"
#include "app/shell/seam_list.h"
#include "app/ui/seam_list.h"
#include "app/upload/seam_list.h"
#include "app/util/seam_list.h"
#include "platform/desktop/seam_list.h"
#include "platform/runtime/seam_list.h"
#include "platform/runtime/service_slot.h"

namespace shell {

namespace {

const char* StateText(runtime::SeamState state) {
  switch (state) {
    case runtime::SeamState::kInstalled:
      return "installed";
    case runtime::SeamState::kDefault:
      return "default";
    case runtime::SeamState::kDerivedFromDefault:
      return "derived from its default";
  }
  return "default";
}

std::string RuleText(const runtime::SeamRule& rule) {
  switch (rule.installer) {
    case runtime::SeamInstaller::kAtStartUp:
      return "at start-up";
    case runtime::SeamInstaller::kWithDisplay:
      return "with a display";
    case runtime::SeamInstaller::kDefaultServes:
      return std::string("the default serves: ") + rule.reason;
    case runtime::SeamInstaller::kPending:
      return std::string("pending on: ") + rule.reason;
  }
  return "";
}

}  // namespace

void ListEverySeam() {
  static const bool listed = [] {
    util::ListSeams();
    engine::ListSeams();
    queue::ListSeams();
    upload::ListSeams();
    sharing::ListSeams();
    browser::ListSeams();
    ui::ListSeams();
    shell::ListSeams();
    desktop::ListSeams();
    return true;
  }();
  (void)listed;
}

std::string ServicesReportText() {
  ListEverySeam();
  std::string text;
  std::set<std::string> listed;
  for (const runtime::SeamEntry& seam : runtime::Seams()) {
    listed.insert(seam.name);
    text += seam.name + "\t" + StateText(seam.state()) + "\t" + RuleText(seam.rule) + "\n";
  }
  // A slot used without being listed beside its definition has no installer on record.
  for (const runtime::ServiceSlotInfo& slot : runtime::ServiceSlots()) {
    if (listed.count(slot.name)) continue;
    text += slot.name + (slot.isDefault() ? "\tdefault" : "\tinstalled") + "\tunlisted\n";
  }
  return text;
}

void WriteServicesReportIfAsked() {
  const char* path = std::getenv(kServicesReportVariable);
  if (path == nullptr || *path == '\0') return;
  const std::string text = ServicesReportText();
  std::FILE* file = std::fopen(path, "w");
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr && std::fclose(file) != 0) written = false;
  if (!written) std::fprintf(stderr, "truvane: cannot write the services report to %s\n", path);
}

}  // namespace shell
