#include "platform/keychain/file_keychain.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/files/standard_folders.h"
#include "platform/values/plist.h"

namespace keychain {
namespace {

using values::Bytes;
using values::Value;

constexpr char kMagic[8] = {'T', 'R', 'V', 'K', 'C', 'H', '0', '1'};
constexpr std::size_t kKeySize = 32;
constexpr std::size_t kNonceSize = 12;
constexpr std::size_t kTagSize = 16;

enum class ReadOutcome { kOk, kMissing, kFailed };

// Opened without waiting and read only when it is a regular file: a FIFO or a device in
// the file's place would otherwise hold start-up for ever.
ReadOutcome ReadWholeFile(const std::string& path, std::size_t limit, Bytes& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > limit) {
    ::close(fd);
    return ReadOutcome::kFailed;
  }
  out.clear();
  std::uint8_t buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || out.size() + static_cast<std::size_t>(n) > limit) {
      ::close(fd);
      return ReadOutcome::kFailed;
    }
    if (n == 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  ::close(fd);
  return ReadOutcome::kOk;
}

// Written beside the target and renamed over it, so a crash leaves the old file or the
// new one, never half of either.
bool WriteFileAtomically(const std::string& path, const Bytes& bytes) {
  const std::string temp = path + ".new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  ::fchmod(fd, 0600);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      ::unlink(temp.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

void MakeParentFolder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return;
  const std::string parent = path.substr(0, slash);
  MakeParentFolder(parent);
  ::mkdir(parent.c_str(), 0700);
}

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

std::optional<Bytes> Seal(const Bytes& key, const Bytes& plain) {
  Bytes out(kMagic, kMagic + sizeof kMagic);
  Bytes nonce(kNonceSize);
  if (RAND_bytes(nonce.data(), static_cast<int>(nonce.size())) != 1) return std::nullopt;
  out.insert(out.end(), nonce.begin(), nonce.end());
  std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
  int len = 0;
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(), nonce.data()) != 1 ||
      EVP_EncryptUpdate(ctx.get(), nullptr, &len, reinterpret_cast<const unsigned char*>(kMagic),
                        sizeof kMagic) != 1)
    return std::nullopt;
  const std::size_t at = out.size();
  out.resize(at + plain.size() + kTagSize);
  if (EVP_EncryptUpdate(ctx.get(), out.data() + at, &len, plain.data(), static_cast<int>(plain.size())) != 1)
    return std::nullopt;
  int tail = 0;
  if (EVP_EncryptFinal_ex(ctx.get(), out.data() + at + len, &tail) != 1) return std::nullopt;
  if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, out.data() + at + plain.size()) != 1)
    return std::nullopt;
  return out;
}

std::optional<Bytes> Open(const Bytes& key, const Bytes& sealed) {
  if (sealed.size() < sizeof kMagic + kNonceSize + kTagSize ||
      std::memcmp(sealed.data(), kMagic, sizeof kMagic) != 0)
    return std::nullopt;
  const std::uint8_t* nonce = sealed.data() + sizeof kMagic;
  const std::uint8_t* body = nonce + kNonceSize;
  const std::size_t bodySize = sealed.size() - sizeof kMagic - kNonceSize - kTagSize;
  Bytes tag(body + bodySize, body + bodySize + kTagSize);
  std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
  int len = 0;
  Bytes plain(bodySize);
  if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(), nonce) != 1 ||
      EVP_DecryptUpdate(ctx.get(), nullptr, &len, reinterpret_cast<const unsigned char*>(kMagic),
                        sizeof kMagic) != 1 ||
      EVP_DecryptUpdate(ctx.get(), plain.data(), &len, body, static_cast<int>(bodySize)) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, tag.data()) != 1)
    return std::nullopt;
  int tail = 0;
  if (EVP_DecryptFinal_ex(ctx.get(), plain.data() + len, &tail) != 1) return std::nullopt;
  return plain;
}

Value EmptyItems() {
  Value items(values::Dictionary{});
  items.Put("generic", values::Array{});
  items.Put("internet", values::Array{});
  return items;
}

values::Array& List(Value& items, const char* key) {
  Value* list = items.Find(key);
  if (list == nullptr || !list->IsArray()) list = &items.Put(key, values::Array{});
  return *list->AsArray();
}

std::string StringField(const Value& d, const char* key) {
  const Value* v = d.Find(key);
  return v && v->IsString() ? *v->AsString() : std::string();
}

values::Array::iterator FindGeneric(values::Array& list, const std::string& service,
                                    const std::string& account) {
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (StringField(*it, "service") == service && StringField(*it, "account") == account) return it;
  }
  return list.end();
}

Value InternetToValue(const InternetPassword& item) {
  return Value{{"server", item.server},
               {"account", item.account},
               {"path", item.path},
               {"port", static_cast<int>(item.port)},
               {"protocol", static_cast<long long>(item.protocol)},
               {"authType", static_cast<long long>(item.authenticationType)},
               {"password", item.password}};
}

InternetPassword InternetFromValue(const Value& v) {
  InternetPassword item;
  item.server = StringField(v, "server");
  item.account = StringField(v, "account");
  item.path = StringField(v, "path");
  std::int64_t n = 0;
  if (v.GetInt64("port", n) == values::Lookup::kOk && n >= 0 && n <= 0xFFFF)
    item.port = static_cast<std::uint16_t>(n);
  if (v.GetInt64("protocol", n) == values::Lookup::kOk) item.protocol = static_cast<values::FourCharCode>(n);
  if (v.GetInt64("authType", n) == values::Lookup::kOk)
    item.authenticationType = static_cast<values::FourCharCode>(n);
  item.password = StringField(v, "password");
  return item;
}

bool SameInternetItem(const InternetPassword& a, const InternetPassword& b) {
  return a.server == b.server && a.account == b.account && a.path == b.path && a.port == b.port &&
         a.protocol == b.protocol && a.authenticationType == b.authenticationType;
}

}  // namespace

FileKeychain::FileKeychain(std::string storePath, std::string keyPath)
    : storePath_(std::move(storePath)), keyPath_(std::move(keyPath)) {}

std::unique_ptr<FileKeychain> FileKeychain::OpenDefault() {
  const std::string data = files::StandardFolderRef(files::StandardFolder::kApplicationSupport).Path();
  const std::string prefs = files::StandardFolderRef(files::StandardFolder::kPreferences).Path();
  return std::make_unique<FileKeychain>(data + "/Truvane Keychain", prefs + "/Truvane Keychain Key");
}

std::string FileKeychain::Description() const {
  return "file \"" + storePath_ + "\"";
}

std::string FileKeychain::Problem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

Status FileKeychain::Load(Value& items) {
  problem_.clear();
  const auto refuse = [&](const std::string& why) {
    problem_ = "The keychain file \"" + storePath_ + "\" " + why +
               ". It is left as it is; what it holds cannot be used until it can be read.";
    return kNotAvailable;
  };
  Bytes key;
  const ReadOutcome keyRead = ReadWholeFile(keyPath_, kKeySize, key);
  Bytes sealed;
  const ReadOutcome storeRead = ReadWholeFile(storePath_, kMaxStoreSize, sealed);
  if (storeRead == ReadOutcome::kMissing) {
    items = EmptyItems();
    return kNoErr;
  }
  if (storeRead != ReadOutcome::kOk) return refuse("could not be read (not a regular file, or too large)");
  if (keyRead == ReadOutcome::kMissing) return refuse("has lost its key file \"" + keyPath_ + "\"");
  if (keyRead != ReadOutcome::kOk || key.size() != kKeySize)
    return refuse("has a key file \"" + keyPath_ + "\" that could not be read");
  const auto plain = Open(key, sealed);
  if (!plain) return refuse("is damaged or was not made with its key file \"" + keyPath_ + "\"");
  auto parsed = values::ReadPropertyList(*plain);
  if (!parsed || !parsed->IsDictionary()) return refuse("is damaged");
  items = std::move(parsed).value();
  return kNoErr;
}

Status FileKeychain::Save(const Value& items) {
  Bytes key;
  const ReadOutcome keyRead = ReadWholeFile(keyPath_, kKeySize, key);
  if (keyRead == ReadOutcome::kFailed || (keyRead == ReadOutcome::kOk && key.size() != kKeySize))
    return kNotAvailable;
  if (keyRead == ReadOutcome::kMissing) {
    // Only reached with no store yet (Load refuses a store without its key).
    key.resize(kKeySize);
    if (RAND_bytes(key.data(), static_cast<int>(kKeySize)) != 1) return kNotAvailable;
    MakeParentFolder(keyPath_);
    if (!WriteFileAtomically(keyPath_, key)) return kNotAvailable;
  }
  auto plain = values::WritePropertyList(items, values::PlistFormat::kBinary);
  if (!plain) return kNotAvailable;
  auto sealed = Seal(key, plain.value());
  if (!sealed) return kNotAvailable;
  MakeParentFolder(storePath_);
  return WriteFileAtomically(storePath_, *sealed) ? kNoErr : kNotAvailable;
}

Status FileKeychain::AddGenericPassword(const std::string& service, const std::string& account,
                                        const Bytes& data) {
  std::lock_guard lock(mutex_);
  Value items;
  if (Status s = Load(items); s != kNoErr) return s;
  auto& list = List(items, "generic");
  if (FindGeneric(list, service, account) != list.end()) return kDuplicateItem;
  list.push_back(Value{{"service", service}, {"account", account}, {"data", values::Data{data}}});
  return Save(items);
}

Status FileKeychain::FindGenericPassword(const std::string& service, const std::string& account,
                                         Bytes& data) {
  std::lock_guard lock(mutex_);
  Value items;
  if (Status s = Load(items); s != kNoErr) return s;
  auto& list = List(items, "generic");
  auto it = FindGeneric(list, service, account);
  if (it == list.end()) return kItemNotFound;
  data.clear();
  it->GetData("data", data);
  return kNoErr;
}

Status FileKeychain::ReplaceGenericPassword(const std::string& service, const std::string& account,
                                            const Bytes& data) {
  std::lock_guard lock(mutex_);
  Value items;
  if (Status s = Load(items); s != kNoErr) return s;
  auto& list = List(items, "generic");
  auto it = FindGeneric(list, service, account);
  if (it == list.end()) return kItemNotFound;
  it->Put("data", values::Data{data});
  return Save(items);
}

Status FileKeychain::DeleteGenericPassword(const std::string& service, const std::string& account) {
  std::lock_guard lock(mutex_);
  Value items;
  if (Status s = Load(items); s != kNoErr) return s;
  auto& list = List(items, "generic");
  auto it = FindGeneric(list, service, account);
  if (it == list.end()) return kItemNotFound;
  list.erase(it);
  return Save(items);
}

Status FileKeychain::AddInternetPassword(const InternetPassword& item) {
  std::lock_guard lock(mutex_);
  Value items;
  if (Status s = Load(items); s != kNoErr) return s;
  auto& list = List(items, "internet");
  for (const Value& v : list) {
    if (SameInternetItem(InternetFromValue(v), item)) return kDuplicateItem;
  }
  list.push_back(InternetToValue(item));
  return Save(items);
}

Status FileKeychain::FindInternetPasswords(const InternetQuery& query, std::vector<InternetPassword>& found) {
  std::lock_guard lock(mutex_);
  found.clear();
  Value items;
  if (Status s = Load(items); s != kNoErr) return s;
  for (const Value& v : List(items, "internet")) {
    InternetPassword item = InternetFromValue(v);
    if (item.server != query.server || item.protocol != query.protocol) continue;
    if (query.account && item.account != *query.account) continue;
    if (query.port && item.port != *query.port) continue;
    if (query.authenticationType && item.authenticationType != *query.authenticationType) continue;
    found.push_back(std::move(item));
  }
  return found.empty() ? kItemNotFound : kNoErr;
}

}  // namespace keychain
