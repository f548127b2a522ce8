#include "app/queue/smartfolders/element_metadata.h"

#include <map>
#include <span>

#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "platform/files/xattr.h"
#include "platform/values/plist.h"

namespace queue {
namespace {

// Bits of a change that a metadata write must follow: all but the status.
constexpr std::uint32_t kMetadataBits = 0x37;
// Attribute values are small; a larger one is not ours and is not read.
constexpr std::size_t kMaxAttributeBytes = 64 * 1024;

std::map<DownloadUID, std::uint32_t>& MetadataTable() {
  static std::map<DownloadUID, std::uint32_t> table;
  return table;
}

std::string Name(const char* suffix) {
  return std::string(kMetadataPrefix) + suffix;
}

}  // namespace

values::Dictionary CopyElementMetadata(const DownloadQueueWrapper& w) {
  values::Dictionary d;
  d[Name("StartDate")] = values::Date{w.startDate()};
  if (w.endDate() > 0) d[Name("EndDate")] = values::Date{w.endDate()};
  values::Array froms;
  for (const values::Value& entry : w.URLData()) {
    std::string referer, url;
    if (entry.GetString("referer", referer) == values::Lookup::kOk) froms.push_back(values::Value(referer));
    if (entry.GetString("url", url) == values::Lookup::kOk) froms.push_back(values::Value(url));
  }
  froms.push_back(values::Value("Truvane"));
  d[kWhereFromsAttribute] = std::move(froms);
  if (w.fileSize() > 0) d[Name("DLSize")] = values::Number::Int64(w.fileSize());
  if (auto url = w.url()) d[Name("url")] = *url;
  d[Name("FromTR")] = values::Number::Int64(1);
  d[Name("name")] = w.filename();
  return d;
}

void NoteMetadataChange(DownloadUID uid, std::uint32_t bits) {
  auto& table = MetadataTable();
  auto it = table.find(uid);
  if ((bits & kMetadataBits) || (it != table.end() && (it->second & kMetadataBits))) table[uid] |= bits;
}

std::size_t PendingMetadataChanges() {
  return MetadataTable().size();
}

void ClearMetadataChanges() {
  MetadataTable().clear();
}

bool WriteMetadataXattr(const std::string& name, const values::Value& value, const files::FileRef& file) {
  auto bytes = values::WritePropertyList(value, values::PlistFormat::kBinary);
  if (!bytes.ok()) return false;
  return files::SetAttribute(file, "user." + name,
                             std::span<const std::uint8_t>(bytes->data(), bytes->size()))
      .ok();
}

std::optional<values::Value> ReadMetadataXattr(const std::string& name, const files::FileRef& file) {
  auto bytes = files::GetAttribute(file, "user." + name);
  if (!bytes.ok() || bytes->size() > kMaxAttributeBytes) return std::nullopt;
  auto value = values::ReadPropertyList(std::span<const std::uint8_t>(bytes->data(), bytes->size()));
  if (!value.ok()) return std::nullopt;
  return *value;
}

void WriteElementMetadata(const WrapperRef& wrapper, const std::optional<files::FileRef>& given) {
  if (!wrapper) return;
  std::optional<files::FileRef> file = given;
  if (!file) {
    const auto& url = DownloadQueueElementGetCompleteURL(wrapper->element());
    if (!url) return;
    auto path = url->FileSystemPath();
    if (!path) return;
    file = files::FileRef(*path);
  }
  for (const auto& [name, value] : CopyElementMetadata(*wrapper)) {
    // A file system without user attributes stores nothing; the next attribute would
    // fail the same way.
    if (!WriteMetadataXattr(name, value, *file)) return;
  }
}

void FlushMetadataChanges() {
  auto pending = std::move(MetadataTable());
  MetadataTable().clear();
  for (const auto& [uid, bits] : pending) {
    if (WrapperRef wrapper = LookUpDownloadWrapper(uid)) WriteElementMetadata(wrapper);
  }
}

void WriteMetadataForAllElements() {
  std::vector<WrapperRef> all;
  for (const auto& [uid, wrapper] : gQueueItems) all.push_back(wrapper);
  for (const auto& wrapper : all) WriteElementMetadata(wrapper);
}

}  // namespace queue
