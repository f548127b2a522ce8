#include "app/queue/record/download_files.h"

#include "app/engine/urls/url_list.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/record/url_passwords.h"
#include "platform/files/alias.h"
#include "platform/files/create_items.h"
#include "platform/files/file_handle.h"
#include "platform/values/plist.h"

namespace queue {

std::optional<files::FileRef> ResolveAliasField(std::optional<values::Bytes>& alias) {
  if (!alias) return std::nullopt;
  auto record = files::AliasFromBytes(*alias);
  if (!record.ok()) return std::nullopt;
  auto resolved = files::ResolveAlias(*record);
  if (!resolved.ok()) return std::nullopt;
  if (resolved->updated) alias = files::AliasToBytes(*record);
  return resolved->ref;
}

std::optional<values::Bytes> MakeAliasBytes(const files::FileRef& item) {
  auto record = files::MakeAlias(item);
  if (!record.ok()) return std::nullopt;
  return files::AliasToBytes(*record);
}

const BoxedOptional<values::Url>& DownloadQueueElementGetCompleteURL(DownloadQueueElement& element) {
  if (!element.completeURL) return element.completeURL;
  const auto path = values::PathFromFileUrl(*element.completeURL);
  if (path && files::MakeExistingRef(*path).ok()) return element.completeURL;
  element.completeURL.reset();
  if (auto found = ResolveAliasField(element.completeFile)) {
    element.completeURL = values::FileUrlFromPath(found->Path(), false);
  } else {
    element.completeFile.reset();
  }
  return element.completeURL;
}

std::optional<files::FileRef> CopyPartialPackageURL(DownloadQueueElement& element) {
  auto data = ResolveAliasField(element.fileAlias);
  if (!data) return std::nullopt;
  files::FileRef parent = data->Parent();
  const std::string name = parent.Name();
  const std::string_view ext = kPartialExtension;
  if (name.size() <= ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
    return std::nullopt;
  if (!files::MakeExistingRef(parent.Child(kRangesFileName).Path()).ok()) return std::nullopt;
  return parent;
}

void AppendDownloadFileURLs(std::vector<std::string>& paths) {
  runtime::RegionGuard lock(gQueueItemsLock);
  for (auto& [uid, wrapper] : gQueueItems) {
    DownloadQueueElement& e = wrapper->element();
    if (const auto& complete = DownloadQueueElementGetCompleteURL(e)) {
      if (auto path = values::PathFromFileUrl(*complete)) paths.push_back(*path);
    }
    if (auto package = CopyPartialPackageURL(e)) paths.push_back(package->Path());
  }
}

files::Status WritePartialProperties(DownloadQueueElement& element) {
  auto data = ResolveAliasField(element.fileAlias);
  if (!data) return files::Status(files::fnfErr);
  values::Array entries = URLListForStoring(element.urlData);
  engine::URLListRemoveKey(entries, "fatalError");
  values::Value root(values::Dictionary{
      {"filename", element.filename},
      {"dataFileName", data->Name()},
      {"uid", values::Number::Int64(element.uid)},
      {"URL data", std::move(entries)},
  });
  auto bytes = values::WritePropertyList(root, values::PlistFormat::kXml);
  if (!bytes.ok()) return files::Status(files::paramErr);
  return files::WriteFileContents(data->Parent().Child(kPartialPropertiesFileName), bytes.value());
}

std::string TruncateUTF8(const std::string& name, std::size_t maxBytes) {
  if (name.size() <= maxBytes) return name;
  std::size_t cut = maxBytes;
  // Step back over continuation bytes so that no character is split.
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

files::Result<files::FileRef> MakePartialPackage(const files::FileRef& folder, const std::string& fileName) {
  // The package is made inside `folder`, never beside it or elsewhere.
  if (fileName.empty() || fileName.find('/') != std::string::npos || fileName == "." || fileName == "..")
    return files::Status(files::bdNamErr);
  for (unsigned n = 0;; ++n) {
    const std::string suffix =
        n == 0 ? std::string(kPartialExtension) : "." + std::to_string(n) + kPartialExtension;
    const std::string name = TruncateUTF8(fileName, 255 - suffix.size()) + suffix;
    const files::FileRef package = folder.Child(name);
    const files::Status status = files::CreateFolder(package);
    if (status.ok()) return package;
    if (status.code() != files::dupFNErr) return status;
    if (n >= 100000) return files::Status(files::dupFNErr);
  }
}

}  // namespace queue
