#include "app/queue/record/url_passwords.h"

#include "app/engine/urls/url_list.h"
#include "app/queue/record/queue_hooks.h"
#include "app/util/settings/setting_keys.h"

namespace queue {
namespace {

// The URL's text without its password component (":password" before the "@"), and the
// password as written in the URL (still percent-escaped, so it goes back byte for byte).
bool SplitPassword(const std::string& text, std::string& without, std::string& password) {
  auto url = values::Url::Create(text);
  if (!url) return false;
  const auto range = url->ComponentRange(values::UrlComponent::kPassword);
  if (!range.present || range.outerOffset == values::UrlComponentRange::kNowhere) return false;
  password = text.substr(range.offset, range.length);
  without = text.substr(0, range.outerOffset) + text.substr(range.outerOffset + range.outerLength);
  return true;
}

std::optional<std::string> JoinPassword(const std::string& without, const std::string& password) {
  auto url = values::Url::Create(without);
  if (!url) return std::nullopt;
  const auto user = url->ComponentRange(values::UrlComponent::kUser);
  if (!user.present) return std::nullopt;
  const std::size_t at = user.offset + user.length;
  std::string text = without.substr(0, at) + ":" + password + without.substr(at);
  if (!values::Url::Create(text)) return std::nullopt;
  return text;
}

}  // namespace

values::Array URLListForStoring(const values::Array& entries, bool* withheld) {
  values::Array out = engine::URLListCopyWithURLStrings(entries);
  if (!util::ReadSetting(util::kEncryptQueueKey)) return out;
  auto& encipher = QueueHooksSlot::Get().encipherCredential;
  for (values::Value& entry : out) {
    std::string text, without, password;
    // An entry whose URL holds no password keeps the enciphered one it was read with and
    // could not decipher (its key out of this run's reach), to be read again later.
    if (entry.GetString(engine::kEntryURL, text) != values::Lookup::kOk) continue;
    if (!SplitPassword(text, without, password)) continue;
    entry.Erase(kEntryEncipheredURLPassword);
    entry.Put(engine::kEntryURL, without);
    std::optional<values::Bytes> enciphered;
    if (encipher && !password.empty()) enciphered = encipher(password);
    if (enciphered) {
      entry.Put(kEntryEncipheredURLPassword, values::Data{*enciphered});
    } else if (!password.empty() && withheld) {
      *withheld = true;
    }
  }
  return out;
}

values::Array URLListFromStored(const values::Array& entries, bool* undecipherable) {
  return URLListFromStored(values::Array(entries), undecipherable);
}

values::Array URLListFromStored(values::Array&& entries, bool* undecipherable, bool tryDecipher) {
  values::Array out = std::move(entries);
  auto& decipher = QueueHooksSlot::Get().decipherCredential;
  for (values::Value& entry : out) {
    if (const values::Value* stored = entry.Find(kEntryEncipheredURLPassword)) {
      std::optional<std::string> password;
      std::string text;
      if (tryDecipher && stored->AsData() && decipher &&
          entry.GetString(engine::kEntryURL, text) == values::Lookup::kOk) {
        if (auto plain = decipher(stored->AsData()->bytes)) password = JoinPassword(text, *plain);
      }
      if (password) {
        entry.Put(engine::kEntryURL, *password);
        entry.Erase(kEntryEncipheredURLPassword);
      } else if (undecipherable) {
        *undecipherable = true;
      }
    }
    // An entry whose URL does not parse loses it (URLListCopyWithURLObjects' rule).
    if (entry.Find(engine::kEntryURL) && !engine::EntryURL(entry)) entry.Erase(engine::kEntryURL);
  }
  return out;
}

}  // namespace queue
