#include "app/shell/application_services.h"

#include "app/queue/adding/add_download.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/scripting_suite_internal.h"
#include "app/upload/services/upload_handoff_service.h"
#include "app/util/text/string_utilities.h"
#include "platform/files/catalog_info.h"
#include "platform/runtime/event_target.h"

namespace shell {
namespace {

using appleevents::AppleEvent;
using appleevents::Descriptor;
using values::FourCC;

constexpr values::FourCharCode kPerformServiceEventID = FourCC("perf");

void AddURLLines(const std::string& text) {
  for (const std::string& line : ServiceURLLines(text)) queue::AddDownloadFromURLString(line);
}

void SendFiles(const values::Array& paths) {
  for (const values::Value& value : paths) {
    const std::string* path = value.AsString();
    if (!path) continue;
    auto info = files::GetCatalogInfo(files::FileRef(*path));
    if (!info.ok()) continue;
    if (info.value().IsFile())
      upload::UploadHandoffServiceSlot::Get().EnqueueRapidShareFile(*path);
    else if (info.value().IsFolder())
      scripting::EnqueueFolderForUpload(files::FileRef(*path));
  }
}

}  // namespace

std::vector<std::string> ServiceURLLines(const std::string& text) {
  std::vector<std::string> out;
  for (std::string& line : util::CreateArrayOfLines(text))
    if (line.size() > 1) out.push_back(std::move(line));
  return out;
}

runtime::Status PerformService(const runtime::Event& event) {
  const std::string* message = event.Find<std::string>(kServiceMessageParam);
  if (!message) return runtime::kEventNotHandledErr;
  if (*message == "addurl") {
    if (const std::string* text = event.Find<std::string>(kServiceTextParam)) AddURLLines(*text);
    queue::MarkQueueDirty();
    return runtime::kNoErr;
  }
  if (*message == "sendfile") {
    if (const values::Value* files = event.Find<values::Value>(kServiceFilesParam))
      if (const values::Array* paths = files->AsArray()) SendFiles(*paths);
    return runtime::kEventNotHandledErr;
  }
  return runtime::kEventNotHandledErr;
}

void InstallServiceEventHandler(appleevents::HandlerTable& table) {
  table.Install(kEventClassService, kPerformServiceEventID, [](const AppleEvent& request, AppleEvent&) {
    runtime::Event event(kEventClassService, kEventServicePerform);
    if (auto message = scripting::TextParam(request, scripting::kDirect))
      event.SetString(kServiceMessageParam, *message);
    if (auto text = scripting::TextParam(request, kServiceTextParam))
      event.SetString(kServiceTextParam, *text);
    values::Array paths;
    Descriptor list;
    if (request.GetParam(kServiceFilesParam, appleevents::types::kList, list) == appleevents::kNoErr &&
        list.IsList()) {
      for (const Descriptor& item : list.Items()) {
        std::string path;
        if (appleevents::GetPath(item, path) == appleevents::kNoErr) paths.push_back(values::Value(path));
      }
    }
    if (!paths.empty()) event.SetValue(kServiceFilesParam, values::Value(std::move(paths)));
    runtime::SendEventToEventTarget(event, *runtime::EventTarget::Application());
    return appleevents::kNoErr;
  });
}

}  // namespace shell
