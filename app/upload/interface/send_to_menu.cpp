#include "app/upload/interface/send_to_menu.h"

#include "app/upload/interface/upload_interface.h"
#include "app/upload/upload_hooks.h"
#include "platform/values/localize.h"

namespace upload {

namespace {

using values::FourCC;

// The icon of a host's entry; nothing for a type the menu does not offer.
std::optional<std::pair<values::FourCharCode, values::FourCharCode>> IconFor(const SendToHost& host) {
  switch (host.hostType) {
    case kHostTypeBonjourPeer:
      return std::pair{FourCC("Truv"), FourCC("Rndv")};
    case kHostTypePeerAddress:
      return std::pair{FourCC("Truv"), FourCC("Remo")};
    case kHostTypeFTP:
      return std::pair{FourCC("Truv"), FourCC("FTP_")};
    case kHostTypeFTPS:
      return std::pair{FourCC("Truv"), FourCC("FTPS")};
    case kHostTypeIDisk:
      return std::pair{values::FourCharCode{0}, host.publicDisk ? FourCC("udsk") : FourCC("idsk")};
    case kHostTypeWebDAV:
    case kHostTypeSecureWebDAV:
      return std::pair{values::FourCharCode{0}, FourCC("srvr")};
    default:
      return std::nullopt;
  }
}

}  // namespace

std::vector<SendToMenuItem> CreateSendToMenu(const std::vector<SendToHost>& hosts) {
  std::vector<SendToMenuItem> menu;
  menu.push_back({SendToKind::kFileHosting, "RapidShare", FourCC("Truv"), FourCC("RSIc"), std::nullopt});
  bool anyHost = false;
  for (const SendToHost& host : hosts) {
    const auto icon = IconFor(host);
    if (!icon || host.title.empty()) continue;
    menu.push_back({SendToKind::kHost, host.title, icon->first, icon->second, host});
    anyHost = true;
  }
  if (anyHost && menu.back().kind != SendToKind::kSeparator)
    menu.push_back({SendToKind::kSeparator, "-", 0, 0, {}});
  menu.push_back({SendToKind::kOther, values::Localized("Other..."), 0, 0, std::nullopt});
  return menu;
}

int SendItemsToMenuHost(const std::vector<std::string>& paths, const SendToMenuItem& entry) {
  int queued = 0;
  switch (entry.kind) {
    case SendToKind::kOther:
      if (!paths.empty()) CallHook(UploadHooksSlot::Get().openSendFilesWindow, paths);
      return 0;
    case SendToKind::kSeparator:
      return 0;
    case SendToKind::kFileHosting:
      for (const auto& path : paths) queued += UploadItemEnqueueRapidShareFile(path) != nullptr;
      return queued;
    case SendToKind::kHost:
      break;
  }
  if (!entry.host) return 0;
  const SendToHost& h = *entry.host;
  for (const auto& path : paths) {
    UploadItemRef item;
    switch (h.hostType) {
      case kHostTypeBonjourPeer:
      case kHostTypePeerAddress:
        item = UploadItemCreateAndEnqueue(path, h.host,
                                          h.hostType == kHostTypeBonjourPeer ? h.domain : std::nullopt,
                                          h.user.empty() ? "Guest" : h.user, h.password, "", h.hostType);
        break;
      case kHostTypeFTP:
      case kHostTypeFTPS:
        item = UploadItemCreateAndEnqueue(path, h.host, std::nullopt, h.user, h.password, "%2F" + h.rootPath,
                                          h.hostType);
        break;
      default:
        item = UploadItemCreateAndEnqueue(path, h.host, std::nullopt, h.user, h.password, h.rootPath,
                                          h.hostType);
        break;
    }
    queued += item != nullptr;
  }
  return queued;
}

}  // namespace upload
