#include "platform/files/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <optional>
#include <string_view>

#include "platform/files/catalog_info.h"
#include "platform/files/create_items.h"
#include "platform/files/file_handle.h"
#include "platform/files/rename.h"
#include "platform/files/standard_folders.h"
#include "platform/files/tree_ops.h"

namespace files {

namespace {

constexpr char kInfoSuffix[] = ".trashinfo";
// Room for ".trashinfo" and a ".NNNN" counter within the 255-byte name limit.
constexpr std::size_t kMaxTrashNameBytes = 255 - 10 - 6;

struct TrashFolder {
  FileRef root;           // holds files/ and info/
  FileRef relative_base;  // Path is written relative to this; empty for absolute paths
  bool copy_needed = false;
};

Status EnsurePrivateFolder(const FileRef& folder) {
  Status s = CreateFolder(folder, true, 0700);
  if (!s.ok()) return s;
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0) return Status::FromErrno(errno);
  if (!S_ISDIR(st.st_mode)) return Status(dirNFErr, ENOTDIR);
  return Status();
}

Status PrepareTrashFolder(const FileRef& root) {
  if (Status s = EnsurePrivateFolder(root); !s.ok()) return s;
  if (Status s = EnsurePrivateFolder(root.Child("files")); !s.ok()) return s;
  return EnsurePrivateFolder(root.Child("info"));
}

// The trash of the file system mounted at `topdir`, when one can be used.
std::optional<FileRef> TopDirTrash(const FileRef& topdir) {
  const std::string uid = std::to_string(getuid());
  const FileRef admin = topdir.Child(".Trash");
  struct stat st;
  // The shared ".Trash" is trusted only when it is a real folder with the sticky bit: anyone
  // could otherwise plant a link that sends our files elsewhere.
  if (lstat(admin.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    const FileRef mine = admin.Child(uid);
    if (PrepareTrashFolder(mine).ok()) return mine;
  }
  const FileRef own = topdir.Child(".Trash-" + uid);
  if (lstat(own.c_str(), &st) == 0 && (!S_ISDIR(st.st_mode) || st.st_uid != getuid())) return std::nullopt;
  if (PrepareTrashFolder(own).ok()) return own;
  return std::nullopt;
}

Result<TrashFolder> ChooseTrash(const CatalogInfo& item_info, const FileRef& item) {
  const FileRef home_trash = StandardFolderRef(StandardFolder::kTrash);
  if (Status s = PrepareTrashFolder(home_trash); !s.ok()) return s;
  auto home_info = GetCatalogInfo(home_trash);
  if (!home_info.ok()) return home_info.status();
  if (home_info->device == item_info.device) return TrashFolder{home_trash, FileRef(), false};
  if (auto topdir = FindMountPoint(item.Parent()); topdir.ok()) {
    if (auto trash = TopDirTrash(*topdir)) return TrashFolder{*trash, *topdir, false};
  }
  return TrashFolder{home_trash, FileRef(), true};
}

std::string TruncateName(std::string name) {
  if (name.size() <= kMaxTrashNameBytes) return name;
  std::size_t cut = kMaxTrashNameBytes;
  // Never cut inside a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  name.resize(cut);
  return name;
}

std::string RelativeTo(const FileRef& base, const FileRef& item) {
  if (base.IsRoot()) return item.Path().substr(1);
  return item.Path().substr(base.Path().size() + 1);
}

std::string FormatDeletionDate(std::time_t when) {
  struct tm local;
  localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

FileRef TrashRootOf(const FileRef& trashed) {
  return trashed.Parent().Parent();
}

FileRef InfoFileOf(const FileRef& trashed) {
  return TrashRootOf(trashed).Child("info").Child(trashed.Name() + kInfoSuffix);
}

// Where relative Path values of this trash start.
FileRef RelativeBaseOf(const FileRef& root) {
  if (root.Name().rfind(".Trash-", 0) == 0) return root.Parent();
  if (root.Parent().Name() == ".Trash") return root.Parent().Parent();
  return root.Parent();
}

}  // namespace

std::string EncodeTrashPath(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (keep) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string DecodeTrashPath(std::string_view encoded) {
  std::string out;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '%' && i + 2 < encoded.size() && HexValue(encoded[i + 1]) >= 0 &&
        HexValue(encoded[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(encoded[i + 1]) * 16 + HexValue(encoded[i + 2]));
      i += 2;
    } else {
      out += encoded[i];
    }
  }
  return out;
}

Result<TrashedItem> MoveToTrash(const FileRef& item, std::time_t deletion_time) {
  if (item.empty() || item.IsRoot()) return Status(paramErr);
  auto info = GetCatalogInfo(item);
  if (!info.ok()) return info.status();
  auto trash = ChooseTrash(*info, item);
  if (!trash.ok()) return trash.status();
  if (item.Contains(trash->root)) return Status(paramErr);  // trashing the trash (or a folder holding it)

  const std::string path_value =
      trash->relative_base.empty() ? item.Path() : RelativeTo(trash->relative_base, item);
  const std::string contents = "[Trash Info]\nPath=" + EncodeTrashPath(path_value) + "\nDeletionDate=" +
                               FormatDeletionDate(deletion_time ? deletion_time : std::time(nullptr)) + "\n";
  const std::string base_name = TruncateName(item.Name());
  for (int n = 1; n < 10000; ++n) {
    const std::string name = n == 1 ? base_name : base_name + "." + std::to_string(n);
    const FileRef info_file = trash->root.Child("info").Child(name + kInfoSuffix);
    auto handle = FileHandle::Open(info_file, kOpenWrite | kOpenCreate | kOpenExclusive, 0600);
    if (handle.code() == dupFNErr) continue;
    if (!handle.ok()) return handle.status();
    Status written = handle->WriteAt(
        0, std::span(reinterpret_cast<const std::uint8_t*>(contents.data()), contents.size()));
    if (written.ok()) written = handle->Close();
    if (!written.ok()) {
      ::unlink(info_file.c_str());
      return written;
    }
    const FileRef target = trash->root.Child("files").Child(name);
    Status moved = trash->copy_needed ? Move(item, target) : RenameNoReplace(item, target);
    if (moved.ok()) return TrashedItem{target, info_file, item};
    ::unlink(info_file.c_str());
    if (moved.code() != dupFNErr) return moved;  // a stray item without info file: next name
  }
  return Status(dupFNErr, EEXIST);
}

Result<FileRef> ReadTrashInfoPath(const FileRef& trashed) {
  auto bytes = ReadFileContents(InfoFileOf(trashed), 64 * 1024);
  if (!bytes.ok()) return bytes.status();
  std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  bool in_group = false;
  while (!text.empty()) {
    const auto newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '[') {
      in_group = line == "[Trash Info]";
      continue;
    }
    if (in_group && line.rfind("Path=", 0) == 0) {
      const std::string path = DecodeTrashPath(line.substr(5));
      if (path.empty()) break;
      if (path.front() == '/') return FileRef(path);
      return RelativeBaseOf(TrashRootOf(trashed)).Child(path);
    }
  }
  return Status(paramErr);
}

Result<FileRef> RestoreFromTrash(const FileRef& trashed) {
  auto original = ReadTrashInfoPath(trashed);
  if (!original.ok()) return original.status();
  if (!Exists(trashed)) return Status(fnfErr, ENOENT);
  if (Exists(*original)) return Status(dupFNErr, EEXIST);
  if (Status s = CreateFolder(original->Parent(), true); !s.ok()) return s;
  if (Status s = Move(trashed, *original); !s.ok()) return s;
  ::unlink(InfoFileOf(trashed).c_str());
  return *original;
}

}  // namespace files
