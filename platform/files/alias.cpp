#include "platform/files/alias.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/files/folder_iterator.h"
#include "platform/files/standard_folders.h"

namespace files {

namespace {

constexpr std::uint8_t kMagic[4] = {'T', 'R', 'a', 'l'};
constexpr std::uint16_t kVersion = 1;
constexpr std::uint16_t kFlagFolder = 1;
constexpr std::uint16_t kFlagCreationTime = 2;
constexpr std::uint16_t kFlagRelative = 4;

void PutBigEndian(values::Bytes& out, std::uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool Read(std::uint64_t& v, int n) {
    if (bytes_.size() - pos_ < static_cast<std::size_t>(n)) return false;
    v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | bytes_[pos_++];
    return true;
  }
  bool ReadString(std::string& s) {
    std::uint64_t len;
    if (!Read(len, 4) || bytes_.size() - pos_ < len) return false;
    s.assign(reinterpret_cast<const char*>(bytes_.data() + pos_), len);
    pos_ += len;
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

std::vector<std::string> Components(const FileRef& ref) {
  std::vector<std::string> parts;
  std::string_view rest(ref.Path());
  while (!rest.empty()) {
    rest.remove_prefix(1);
    const auto slash = rest.find('/');
    if (!rest.empty()) parts.emplace_back(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  return parts;
}

std::string RelativePath(const FileRef& target, const FileRef& base) {
  const auto t = Components(target);
  const auto b = Components(base);
  std::size_t common = 0;
  while (common < t.size() && common < b.size() && t[common] == b[common]) ++common;
  std::string rel;
  for (std::size_t i = common; i < b.size(); ++i) rel += rel.empty() ? ".." : "/..";
  for (std::size_t i = common; i < t.size(); ++i) {
    if (!rel.empty()) rel += '/';
    rel += t[i];
  }
  return rel.empty() ? "." : rel;
}

bool SameIdentity(const AliasRecord& alias, const CatalogInfo& info) {
  if (info.device != alias.device || info.inode != alias.inode) return false;
  return !alias.creation_time || !info.creation_time || *alias.creation_time == *info.creation_time;
}

// Searches below `root` (depth-limited) for the alias's identity.
class IdentitySearch {
 public:
  explicit IdentitySearch(const AliasRecord& alias) : alias_(alias) {}

  std::optional<FileRef> Search(const FileRef& root, int max_depth) {
    if (visited_ >= kAliasSearchLimit) return std::nullopt;
    auto root_info = GetCatalogInfo(root);
    if (!root_info.ok() || !root_info->IsFolder() || root_info->device != alias_.device) return std::nullopt;
    std::optional<FileRef> found;
    WalkOptions options;
    options.max_depth = max_depth;
    WalkTree(
        root,
        [&](const FolderEntry& entry, int) {
          if (++visited_ >= kAliasSearchLimit) return WalkAction::kStop;
          if (SameIdentity(alias_, entry.info)) {
            found = entry.ref;
            return WalkAction::kStop;
          }
          // Other file systems mounted below cannot hold the item.
          if (entry.info.device != alias_.device) return WalkAction::kSkipChildren;
          return WalkAction::kContinue;
        },
        options);
    return found;
  }

 private:
  const AliasRecord& alias_;
  std::size_t visited_ = 0;
};

std::optional<FileRef> FindMovedItem(const AliasRecord& alias) {
  IdentitySearch search(alias);
  FileRef parent = FileRef(alias.path).Parent();
  while (!parent.IsRoot() && !IsFolder(parent)) parent = parent.Parent();
  if (auto found = search.Search(parent, 1)) return found;
  if (!parent.IsRoot()) {
    if (auto found = search.Search(parent.Parent(), 2)) return found;
  }
  return search.Search(StandardFolderRef(StandardFolder::kHome), 3);
}

bool KindMatches(const AliasRecord& alias, const CatalogInfo& info) {
  return info.IsFolder() == alias.is_folder;
}

void Refresh(AliasRecord& alias, const FileRef& ref, const CatalogInfo& info, const FileRef* base) {
  alias.path = ref.Path();
  alias.device = info.device;
  alias.inode = info.inode;
  alias.creation_time = info.creation_time;
  if (base && !alias.relative_path.empty()) alias.relative_path = RelativePath(ref, *base);
}

}  // namespace

Result<AliasRecord> MakeAlias(const FileRef& target) {
  auto info = GetCatalogInfo(target, LinkMode::kFollow);
  if (!info.ok()) return info.status();
  AliasRecord alias;
  alias.path = target.Path();
  alias.device = info->device;
  alias.inode = info->inode;
  alias.creation_time = info->creation_time;
  alias.is_folder = info->IsFolder();
  return alias;
}

Result<AliasRecord> MakeAliasRelativeTo(const FileRef& target, const FileRef& base) {
  auto alias = MakeAlias(target);
  if (!alias.ok()) return alias;
  if (base.empty()) return Status(paramErr);
  alias->relative_path = RelativePath(target, base);
  return alias;
}

values::Bytes AliasToBytes(const AliasRecord& alias) {
  values::Bytes out(std::begin(kMagic), std::end(kMagic));
  std::uint16_t flags = 0;
  if (alias.is_folder) flags |= kFlagFolder;
  if (alias.creation_time) flags |= kFlagCreationTime;
  if (!alias.relative_path.empty()) flags |= kFlagRelative;
  PutBigEndian(out, kVersion, 2);
  PutBigEndian(out, flags, 2);
  PutBigEndian(out, alias.device, 8);
  PutBigEndian(out, alias.inode, 8);
  const FileTime created = alias.creation_time.value_or(FileTime{});
  PutBigEndian(out, static_cast<std::uint64_t>(created.seconds), 8);
  PutBigEndian(out, created.nanoseconds, 4);
  PutBigEndian(out, alias.path.size(), 4);
  out.insert(out.end(), alias.path.begin(), alias.path.end());
  if (flags & kFlagRelative) {
    PutBigEndian(out, alias.relative_path.size(), 4);
    out.insert(out.end(), alias.relative_path.begin(), alias.relative_path.end());
  }
  return out;
}

Result<AliasRecord> AliasFromBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4 || std::memcmp(bytes.data(), kMagic, 4) != 0) return Status(paramErr);
  Reader reader(bytes.subspan(4));
  std::uint64_t version, flags, seconds, nanos;
  AliasRecord alias;
  if (!reader.Read(version, 2) || version != kVersion || !reader.Read(flags, 2) ||
      !reader.Read(alias.device, 8) || !reader.Read(alias.inode, 8) || !reader.Read(seconds, 8) ||
      !reader.Read(nanos, 4) || !reader.ReadString(alias.path)) {
    return Status(paramErr);
  }
  if (alias.path.empty() || alias.path.front() != '/' || nanos >= 1000000000) return Status(paramErr);
  if ((flags & kFlagRelative) && (!reader.ReadString(alias.relative_path) || alias.relative_path.empty())) {
    return Status(paramErr);
  }
  alias.is_folder = flags & kFlagFolder;
  if (flags & kFlagCreationTime) {
    alias.creation_time = FileTime{static_cast<std::int64_t>(seconds), static_cast<std::uint32_t>(nanos)};
  }
  return alias;
}

Result<AliasResolution> ResolveAlias(AliasRecord& alias, const FileRef* base) {
  if (alias.path.empty()) return Status(paramErr);
  const FileRef recorded(alias.path);
  std::optional<FileRef> by_relative;
  if (base && !base->empty() && !alias.relative_path.empty()) by_relative = base->Child(alias.relative_path);

  auto found = [&](const FileRef& ref, const CatalogInfo& info, bool changed) -> Result<AliasResolution> {
    const AliasRecord before = alias;
    Refresh(alias, ref, info, base);
    return AliasResolution{ref, changed || !(before == alias)};
  };

  if (by_relative) {
    if (auto info = GetCatalogInfo(*by_relative, LinkMode::kFollow);
        info.ok() && SameIdentity(alias, *info)) {
      return found(*by_relative, *info, false);
    }
  }
  if (auto info = GetCatalogInfo(recorded, LinkMode::kFollow); info.ok() && SameIdentity(alias, *info)) {
    return found(recorded, *info, false);
  }
  if (auto moved = FindMovedItem(alias)) {
    if (auto info = GetCatalogInfo(*moved, LinkMode::kFollow); info.ok()) return found(*moved, *info, true);
  }
  const FileRef* relative_candidate = by_relative ? &*by_relative : nullptr;
  for (const FileRef* candidate : {relative_candidate, &recorded}) {
    if (!candidate) continue;
    if (auto info = GetCatalogInfo(*candidate, LinkMode::kFollow); info.ok() && KindMatches(alias, *info)) {
      return found(*candidate, *info, true);
    }
  }
  return Status(fnfErr, ENOENT);
}

}  // namespace files
