#include "plugins/finder_menu/menu_command.h"

#include "platform/appleevents/coercion.h"
#include "platform/files/catalog_info.h"
#include "platform/values/localize.h"

namespace findermenu {
namespace {

using appleevents::Descriptor;

std::string Fill(std::string format, std::string_view marker, const std::string& value) {
  const std::size_t at = format.find(marker);
  if (at != std::string::npos) format.replace(at, marker.size(), value);
  return format;
}

// A localised text when one is registered, else our English default.
std::string Text(const char* key, const char* english) {
  const std::string localized = values::Localized(key);
  return localized == key ? english : localized;
}

}  // namespace

std::string UploadTitleForName(const std::string& name) {
  return Fill(Text("kUploadNamedToRapidShare", "Upload \xE2\x80\x9C%@\xE2\x80\x9D to RapidShare"), "%@",
              name);
}

std::string UploadTitleForCount(std::size_t count) {
  return Fill(Text("kUploadMultipleToRapidShare", "Upload %d Items to RapidShare"), "%d",
              std::to_string(count));
}

std::optional<std::string> UploadCommandTitle(const AEDesc& context) {
  if (!context.IsList()) return std::nullopt;
  const std::size_t count = context.Count();
  bool eligible = false;
  std::string firstPath;
  for (std::size_t i = 0; i < count && !eligible; ++i) {
    Descriptor ref;
    if (appleevents::Coerce(context.Items()[i], appleevents::types::kFSRef, ref) != appleevents::kNoErr)
      continue;
    const std::string path = ref.data();
    if (i == 0) firstPath = path;
    auto info = files::GetCatalogInfo(files::FileRef(path));
    eligible = info.ok() && (info.value().IsFile() || info.value().IsFolder());
  }
  if (!eligible) return std::nullopt;
  if (count == 1) {
    const std::string name = files::FileRef(firstPath).Name();
    if (name.empty()) return std::nullopt;
    return UploadTitleForName(name);
  }
  return UploadTitleForCount(count);
}

OSStatus Command_AddToAEDescList(const std::string& title, std::int32_t commandID, AEDescList& commands) {
  if (!commands.IsList()) return appleevents::kNotAEDesc;
  Descriptor record = Descriptor::Record();
  record.Put(kCommandNameKey, Descriptor::FromData(kCFStringType, title));
  record.Put(kCommandIDKey, Descriptor::SInt32(commandID));
  commands.Append(std::move(record));
  return noErr;
}

appleevents::AppleEvent CreateUploadAppleEvent(const AEDesc& selection) {
  appleevents::AppleEvent event(values::FourCC("TrES"), values::FourCC("STRa"));
  event.PutParam(appleevents::keys::kDirectObject, selection);
  return event;
}

}  // namespace findermenu
