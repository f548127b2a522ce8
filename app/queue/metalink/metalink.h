#pragma once
// Metalink files: one or more files, each with the mirror URLs it can be fetched from, its
// size and a checksum. Opening one (handed to the program, or a finished download whose
// name ends in ".metalink") reads it, lets the user choose files in a selection window,
// and adds each chosen file as one download whose URL entries are all its usable mirrors;
// the engine verifies the checksum at the end.
//
// Accepted document: the root element's first child `files`, its `file` children in
// order (attribute `name`); in each, by exact name: `os`, `language`, `version`, `size`
// (decimal), `resources` (its `url` elements: an optional `type` of http, https, ftp or
// ftps, and a URL of one of those schemes) and `verification` (its `hash` elements of type
// md5 or sha1; the last usable one wins). The root's first `description` is the
// description. Texts are trimmed.
//
// A metalink may come from any server (a downloaded ".metalink" is opened without being
// asked for), so reading is bounded: at most kMaxMetalinkBytes, no document type
// declaration (so no entities but the five predefined ones, and nothing fetched), at most
// kMaxMetalinkDepth levels of elements and kMaxMetalinkFiles files; a `name` becomes a
// plain file name (no folder parts, no leading dot, no control characters), never a path.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/queue/record/download_queue_element.h"
#include "platform/files/file_ref.h"
#include "platform/values/url.h"

namespace queue {

inline constexpr std::size_t kMaxMetalinkBytes = 4 * 1024 * 1024;
inline constexpr int kMaxMetalinkDepth = 32;
inline constexpr std::size_t kMaxMetalinkFiles = 10000;
inline constexpr std::size_t kMetalinkReadBlock = 8192;

inline constexpr const char kMetalinkErrorDomain[] = "TRMetalink";
inline constexpr const char kXMLErrorDomain[] = "XML";
inline constexpr int kMetalinkNoFiles = 1;
inline constexpr int kMetalinkNoUsableFile = 3;
// Refusals of the reader's bounds (domain "TRMetalink").
inline constexpr int kMetalinkTooLarge = 10;
inline constexpr int kMetalinkDocumentType = 11;
inline constexpr int kMetalinkTooDeep = 12;
inline constexpr int kMetalinkTooManyFiles = 13;

struct MetalinkError {
  std::string domain;
  int code = 0;
  std::string description;
  std::optional<std::string> recoverySuggestion;
};

class TRMetalinkFile {
 public:
  TRMetalinkFile(std::string fileName, std::vector<values::Url> urls, std::optional<std::string> checksum,
                 std::string language, std::string platform, std::string version);

  const std::string& fileName() const { return fileName_; }
  const std::vector<values::Url>& urls() const { return urls_; }
  const std::optional<std::string>& checksum() const { return checksum_; }
  const std::string& language() const { return language_; }
  const std::string& platform() const { return platform_; }
  const std::string& version() const { return version_; }
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  std::int64_t fileSize() const { return fileSize_; }
  void setFileSize(std::int64_t size) { fileSize_ = size; }

  // Adds the download when enabled; its UID (0 when nothing was added).
  DownloadUID addIfEnabled() const;

 private:
  std::string fileName_;
  std::vector<values::Url> urls_;
  std::optional<std::string> checksum_;
  std::string language_, platform_, version_;
  bool enabled_ = false;
  std::int64_t fileSize_ = 0;
};

class TRMetalink {
 public:
  // Nothing, and `error` set, when the document is refused; nothing without an error when
  // the file cannot be opened.
  static std::unique_ptr<TRMetalink> metalinkWithFile(const files::FileRef& file,
                                                      std::optional<MetalinkError>& error);
  static std::unique_ptr<TRMetalink> metalinkWithData(std::string_view data,
                                                      std::optional<MetalinkError>& error);

  std::vector<TRMetalinkFile>& files() { return files_; }
  const std::vector<TRMetalinkFile>& files() const { return files_; }
  const std::string& description() const { return description_; }

  // Adds every enabled file in order; the UIDs added.
  std::vector<DownloadUID> addEnabledFiles() const;

 private:
  std::vector<TRMetalinkFile> files_;
  std::string description_;
};

// The plain file name a metalink `name` stands for, or nothing when none is left.
std::optional<std::string> MetalinkFileName(std::string_view name);

// How the program shows a read metalink: the selection window where there is a display;
// headless, every file is chosen and added. Tests replace it.
using MetalinkPresenter = std::function<void(std::unique_ptr<TRMetalink>)>;
void SetMetalinkPresenter(MetalinkPresenter presenter);  // nullptr: the default

// The entry the rest of the program uses: reads the file and presents it, or shows
// "%@ does not appear to be a valid metalink file." with the error's recovery suggestion.
void OpenMetalinkFile(const files::FileRef& file);

}  // namespace queue
