#include "app/shell/services_report.h"

#include <cstdio>
#include <cstdlib>

#include "platform/runtime/service_slot.h"

namespace shell {

std::string ServicesReportText() {
  std::string text;
  for (const runtime::ServiceSlotInfo& slot : runtime::ServiceSlots()) {
    text += slot.name;
    text += slot.isDefault() ? "\tdefault\n" : "\tinstalled\n";
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
