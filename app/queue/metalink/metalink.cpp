#include "app/queue/metalink/metalink.h"

#include <pugixml.hpp>

#include <cstring>

#include "app/queue/adding/add_download.h"
#include "app/queue/metalink/metalink_window.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/services/ui_services.h"
#include "app/util/helpers/session_helpers.h"
#include "platform/files/file_handle.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace queue {
namespace {

std::string Trimmed(std::string_view s) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t b = 0, e = s.size();
  while (b < e && space(s[b])) ++b;
  while (e > b && space(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string Text(const pugi::xml_node& node) {
  return Trimmed(node.child_value());
}

pugi::xml_node FirstElement(const pugi::xml_node& parent, const char* name) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && std::strcmp(child.name(), name) == 0) return child;
  return {};
}

bool IsTransferScheme(std::string scheme) {
  for (auto& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "ftps";
}

MetalinkError Error(const char* domain, int code, std::string description) {
  return MetalinkError{domain, code, std::move(description), std::nullopt};
}

// The deepest element nesting, walked without recursion (the parser itself nests
// without the stack, so a deep document must not be walked by recursion either).
int ElementDepth(const pugi::xml_document& doc) {
  int depth = 0, deepest = 0;
  pugi::xml_node node = doc.first_child();
  while (node) {
    if (node.type() == pugi::node_element) deepest = std::max(deepest, depth + 1);
    if (node.first_child()) {
      node = node.first_child();
      ++depth;
      continue;
    }
    while (node && !node.next_sibling()) {
      node = node.parent();
      --depth;
      if (node == doc) return deepest;
    }
    if (node) node = node.next_sibling();
  }
  return deepest;
}

std::optional<TRMetalinkFile> ParseFileElement(const pugi::xml_node& element) {
  std::string platform, language, version;
  std::int64_t size = 0;
  std::vector<values::Url> urls;
  std::optional<std::string> checksum;
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    const char* name = child.name();
    if (std::strcmp(name, "os") == 0) {
      platform = Text(child);
    } else if (std::strcmp(name, "language") == 0) {
      language = Text(child);
    } else if (std::strcmp(name, "version") == 0) {
      version = Text(child);
    } else if (std::strcmp(name, "size") == 0) {
      const std::string text = Text(child);
      char* end = nullptr;
      errno = 0;
      const long long v = std::strtoll(text.c_str(), &end, 10);
      size = errno == 0 ? v : 0;
    } else if (std::strcmp(name, "resources") == 0) {
      for (pugi::xml_node url = child.child("url"); url; url = url.next_sibling("url")) {
        const pugi::xml_attribute type = url.attribute("type");
        if (type && !IsTransferScheme(type.value())) continue;
        auto parsed = values::Url::Create(Text(url));
        if (!parsed || !IsTransferScheme(parsed->Scheme())) continue;
        urls.push_back(std::move(*parsed));
      }
    } else if (std::strcmp(name, "verification") == 0) {
      for (pugi::xml_node hash = child.child("hash"); hash; hash = hash.next_sibling("hash")) {
        const std::string type = hash.attribute("type").value();
        const std::string digest = Text(hash);
        if (type == "md5") {
          checksum = "md5;" + digest;
        } else if (type == "sha1") {
          checksum = "sha1;" + digest;
        }
      }
    }
  }
  if (urls.empty()) return std::nullopt;
  TRMetalinkFile file(MetalinkFileName(element.attribute("name").value()).value_or(""), std::move(urls),
                      std::move(checksum), std::move(language), std::move(platform), std::move(version));
  if (size > 0) file.setFileSize(size);
  return file;
}

MetalinkPresenter& Presenter() {
  static MetalinkPresenter presenter;
  return presenter;
}

}  // namespace

std::optional<std::string> MetalinkFileName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F || c == '/' || c == ':' || c == '\\') continue;
    out += static_cast<char>(c);
  }
  out = Trimmed(out);
  while (!out.empty() && out[0] == '.') out.erase(0, 1);
  out = TruncateUTF8(out, 244);
  if (out.empty()) return std::nullopt;
  return out;
}

TRMetalinkFile::TRMetalinkFile(std::string fileName, std::vector<values::Url> urls,
                               std::optional<std::string> checksum, std::string language,
                               std::string platform, std::string version)
    : fileName_(std::move(fileName)),
      urls_(std::move(urls)),
      checksum_(std::move(checksum)),
      language_(std::move(language)),
      platform_(std::move(platform)),
      version_(std::move(version)) {}

// GCC 12 reports the std::variant inside the Value built from a dictionary below as maybe
// read before it is set, deep inside libstdc++; it is always set (a known false positive
// of -Wmaybe-uninitialized on std::variant at -O2), so only this function is exempt.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
DownloadUID TRMetalinkFile::addIfEnabled() const {
  if (!enabled_) return 0;
  AddDownloadRequest request;
  for (const auto& url : urls_)
    request.urlEntries.push_back(values::Value(values::Dictionary{{"url", url.String()}}));
  request.updateList = true;
  request.select = true;
  request.batchID = util::GetSessionUUIDString();
  const DownloadUID uid = AddDownload(request);
  if (uid == 0) return 0;
  WrapperRef wrapper = LookUpDownloadWrapper(uid);
  if (!wrapper) return uid;
  if (fileSize_ > 0) wrapper->setFileSize(fileSize_);
  if (!fileName_.empty()) {
    wrapper->setFilename(fileName_);
    wrapper->element().flags |= kFlagFilenameFixed;
  }
  if (checksum_ && !checksum_->empty()) wrapper->element().checksum = *checksum_;
  MarkQueueDirty();
  return uid;
}
#pragma GCC diagnostic pop

std::unique_ptr<TRMetalink> TRMetalink::metalinkWithData(std::string_view data,
                                                         std::optional<MetalinkError>& error) {
  error.reset();
  if (data.size() > kMaxMetalinkBytes) {
    error = Error(kMetalinkErrorDomain, kMetalinkTooLarge, "The metalink file is too large.");
    return nullptr;
  }
  pugi::xml_document doc;
  // parse_doctype keeps a declaration as a node so that it can be refused; pugixml never
  // reads external entities or expands declared ones in any case.
  const pugi::xml_parse_result parsed =
      doc.load_buffer(data.data(), data.size(), pugi::parse_default | pugi::parse_doctype);
  if (!parsed) {
    error = Error(kXMLErrorDomain, static_cast<int>(parsed.status), parsed.description());
    return nullptr;
  }
  for (pugi::xml_node node = doc.first_child(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_doctype) {
      error =
          Error(kMetalinkErrorDomain, kMetalinkDocumentType, "The metalink file declares a document type.");
      return nullptr;
    }
  }
  if (ElementDepth(doc) > kMaxMetalinkDepth) {
    error = Error(kMetalinkErrorDomain, kMetalinkTooDeep, "The metalink file is nested too deeply.");
    return nullptr;
  }
  const pugi::xml_node root = doc.document_element();
  const pugi::xml_node files = FirstElement(root, "files");
  if (!files) {
    error = Error(kMetalinkErrorDomain, kMetalinkNoFiles, "The metalink file lists no files.");
    return nullptr;
  }
  auto metalink = std::make_unique<TRMetalink>();
  if (const pugi::xml_node description = FirstElement(root, "description"))
    metalink->description_ = Text(description);
  std::size_t count = 0;
  for (pugi::xml_node file = files.child("file"); file; file = file.next_sibling("file")) {
    if (++count > kMaxMetalinkFiles) {
      error = Error(kMetalinkErrorDomain, kMetalinkTooManyFiles, "The metalink file lists too many files.");
      return nullptr;
    }
    if (auto entry = ParseFileElement(file)) metalink->files_.push_back(std::move(*entry));
  }
  if (metalink->files_.empty()) {
    error = Error(kMetalinkErrorDomain, kMetalinkNoUsableFile, "No file of the metalink can be downloaded.");
    error->recoverySuggestion = "None of its files has a mirror with an http, https, ftp or ftps address.";
    return nullptr;
  }
  return metalink;
}

std::unique_ptr<TRMetalink> TRMetalink::metalinkWithFile(const files::FileRef& file,
                                                         std::optional<MetalinkError>& error) {
  error.reset();
  auto handle = files::FileHandle::Open(file, files::kOpenRead);
  if (!handle.ok()) return nullptr;
  std::string data;
  std::uint8_t block[kMetalinkReadBlock];
  std::uint64_t offset = 0;
  for (;;) {
    auto n = handle->ReadAt(offset, std::span<std::uint8_t>(block, sizeof block));
    if (!n.ok()) return nullptr;
    if (*n == 0) break;
    data.append(reinterpret_cast<const char*>(block), *n);
    offset += *n;
    if (data.size() > kMaxMetalinkBytes) {
      error = Error(kMetalinkErrorDomain, kMetalinkTooLarge, "The metalink file is too large.");
      return nullptr;
    }
  }
  return metalinkWithData(data, error);
}

std::vector<DownloadUID> TRMetalink::addEnabledFiles() const {
  std::vector<DownloadUID> added;
  for (const auto& f : files_)
    if (DownloadUID uid = f.addIfEnabled()) added.push_back(uid);
  return added;
}

void SetMetalinkPresenter(MetalinkPresenter presenter) {
  Presenter() = std::move(presenter);
}

void OpenMetalinkFile(const files::FileRef& file) {
  std::optional<MetalinkError> error;
  auto metalink = TRMetalink::metalinkWithFile(file, error);
  if (metalink) {
    if (Presenter()) {
      Presenter()(std::move(metalink));
    } else {
      PresentMetalink(std::move(metalink));
    }
    return;
  }
  std::optional<std::string> informative;
  if (error && error->recoverySuggestion) informative = values::Localized(*error->recoverySuggestion);
  ui::UiServicesSlot::Get().RunStandardAlert(
      ui::AlertType::kCaution,
      values::Format(values::Localized("%@ does not appear to be a valid metalink file."), {file.Name()}),
      informative);
}

}  // namespace queue
