// Settings from the stored domain: each key's stored value converted to its setting's
// type, else its default, then the setting's clamp.

#include <cmath>
#include <limits>
#include <type_traits>

#include "app/util/settings/settings_codec.h"
#include "app/util/settings/settings_key_table.h"
#include "platform/prefs/value_conversions.h"

namespace util {

namespace {

using values::Value;

const Value* Find(const values::Dictionary& domain, std::string_view key) {
  auto it = domain.find(key);
  return it == domain.end() ? nullptr : &it->second;
}

// Stored values convert as every preference read does (value_conversions.h): Booleans
// also from numbers and from "yes"/"no" text, numbers also from Booleans and decimal text,
// since preference files are edited by hand and by other programs.
std::optional<bool> BoolSetting(const Value* v) {
  if (v == nullptr) return std::nullopt;
  return prefs::BoolFromValue(*v);
}

template <typename Int>
std::optional<Int> FitInteger(std::int64_t v) {
  if (v < std::numeric_limits<Int>::min() || v > std::numeric_limits<Int>::max()) return std::nullopt;
  return static_cast<Int>(v);
}

// An integer setting takes a value that fits its width; reals are cut toward zero. A
// value that does not fit is no value of this setting: wrapping it would turn a port of
// 70000 into some other port.
template <typename Int>
std::optional<Int> IntegerSetting(const Value* v) {
  if (v == nullptr) return std::nullopt;
  if (!v->IsNumber()) {
    const std::optional<std::int64_t> converted = prefs::IntegerFromValue(*v);
    return converted ? FitInteger<Int>(*converted) : std::nullopt;
  }
  const values::Number& n = *v->AsNumber();
  if (n.IsReal()) {
    const double d = std::trunc(n.AsDouble());
    if (!(d >= static_cast<double>(std::numeric_limits<Int>::min()) &&
          d <= static_cast<double>(std::numeric_limits<Int>::max()))) {
      return std::nullopt;
    }
    return static_cast<Int>(d);
  }
  if (n.kind == values::Number::Kind::kUInt64) return std::nullopt;  // above INT64_MAX
  return FitInteger<Int>(n.i);
}

std::optional<float> FloatSetting(const Value* v) {
  if (v == nullptr) return std::nullopt;
  const std::optional<double> d = prefs::DoubleFromValue(*v);
  if (!d || std::isnan(*d)) return std::nullopt;
  return static_cast<float>(*d);
}

std::optional<std::string> StringSetting(const Value* v) {
  if (v == nullptr || !v->IsString()) return std::nullopt;
  return *v->AsString();
}

template <typename T>
void ReadInto(const Value* stored, T& out, const T& fallback) {
  std::optional<T> v;
  if constexpr (std::is_same_v<T, bool>) {
    v = BoolSetting(stored);
  } else if constexpr (std::is_same_v<T, float>) {
    v = FloatSetting(stored);
  } else if constexpr (std::is_same_v<T, std::string>) {
    v = StringSetting(stored);
  } else if constexpr (std::is_same_v<T, std::uint16_t>) {
    // An unsigned 16-bit setting stored in the signed form: -25536 is port 40000. Written
    // by hand or by another program it may also be the unsigned number itself.
    if (const std::optional<std::int32_t> wide = IntegerSetting<std::int32_t>(stored);
        wide && *wide >= std::numeric_limits<std::int16_t>::min() && *wide <= std::numeric_limits<T>::max()) {
      v = static_cast<T>(*wide < 0 ? *wide + 65536 : *wide);
    }
  } else {
    v = IntegerSetting<T>(stored);
  }
  out = v ? *v : fallback;
}

void ReadPlainKeys(const values::Dictionary& domain, Settings& s, bool reload) {
  static const Settings defaults;
  for (const SettingsKey& row : kPlainSettingsKeys) {
    if (reload && (row.flags & kStartUpOnlyKey)) continue;
    const Value* stored = Find(domain, row.key);
    std::visit([&](auto member) { ReadInto(stored, s.*member, defaults.*member); }, row.field);
  }
}

MainWindowSettings ReadMainWindow(const Value* stored) {
  MainWindowSettings w;
  if (stored == nullptr || !stored->IsDictionary()) return w;
  const MainWindowSettings defaults;
  ReadInto(stored->Find("xpos"), w.xpos, defaults.xpos);
  ReadInto(stored->Find("ypos"), w.ypos, defaults.ypos);
  ReadInto(stored->Find("xsize"), w.xsize, defaults.xsize);
  ReadInto(stored->Find("ysize"), w.ysize, defaults.ysize);
  ReadInto(stored->Find("windowAlpha"), w.windowAlpha, defaults.windowAlpha);
  return w;
}

BandwidthWindowSettings ReadBandwidthWindow(const Value* stored) {
  BandwidthWindowSettings w;
  if (stored == nullptr || !stored->IsDictionary()) return w;
  const BandwidthWindowSettings defaults;
  ReadInto(stored->Find("xpos"), w.xpos, defaults.xpos);
  ReadInto(stored->Find("ypos"), w.ypos, defaults.ypos);
  ReadInto(stored->Find("width"), w.width, defaults.width);
  ReadInto(stored->Find("height"), w.height, defaults.height);
  ReadInto(stored->Find("windowAlpha"), w.windowAlpha, defaults.windowAlpha);
  return w;
}

SettingsColor ReadColor(const Value* stored, const SettingsColor& fallback) {
  SettingsColor c = fallback;
  if (stored == nullptr || !DictionaryToColor(*stored, c.rgb, c.alpha)) return fallback;
  return c;
}

std::vector<std::string> ReadStrings(const Value* stored) {
  std::vector<std::string> out;
  if (stored == nullptr || !stored->IsArray()) return out;
  for (const Value& v : *stored->AsArray()) {
    if (const std::string* s = v.AsString()) out.push_back(*s);
  }
  return out;
}

}  // namespace

std::string UserAgentForType(std::int32_t type) {
  switch (type) {
    case 1:
      return "Truvane/" + std::to_string(kTruvaneBuildNumber);
    case 2:
      return "Mozilla/4.5 (compatible; iCab 2.9.8; Macintosh; U; PPC; Mac OS X)";
    case 3:
      return "Mozilla/4.0 (compatible; MSIE 5.22; Mac_PowerPC)";
    case 4:
      return "Mozilla/5.0 (Macintosh; U; Intel Mac OS X; en-US; rv:1.8.1.6) Gecko/20070725 Firefox/2.0.0.6";
    case 5:
      return "Mozilla/5.0 (Macintosh; U; PPC Mac OS X; en-US) AppleWebKit/125.4 (KHTML, like Gecko, Safari) "
             "OmniWeb/v563.34";
    case 6:
      return "Mozilla/4.0 (compatible; MSIE 5.0; Macintosh; PPC) Opera 6.0 ";  // the trailing blank is part
                                                                               // of it
    default:
      return std::string(kDefaultUserAgent);
  }
}

Settings ReadSettings(const SettingsSources& sources, const Settings& previous, bool reload,
                      const BandwidthAgreement& agreed) {
  const values::Dictionary& domain = sources.domain;
  const Settings defaults;
  Settings s = previous;
  ReadPlainKeys(domain, s, reload);

  // Plug-ins go system-wide only when the user asked for it: installing for all users
  // needs the administrator, so the stored choice stands on every system.
  s.systemPlug = BoolSetting(sources.systemPlug).value_or(false);

  // A domain limited to no download (or fewer) would keep its downloads queued for ever.
  if (s.maxDomainDownloads < 1) s.maxDomainDownloads = 1;
  s.domainLimits = [&] {
    const Value* stored = Find(domain, "domainLimits");
    return stored != nullptr ? DomainLimitsFromDictionary(*stored) : DomainLimits{};
  }();

  if (s.fontSize != 1 && s.fontSize != 2) s.fontSize = 2;

  // The User-Agent always follows its type; "User agent" only records the string last in
  // use, for the plug-ins and older readers.
  s.userAgent = UserAgentForType(s.userAgentType);

  s.blackList = ReadStrings(Find(domain, "blackList"));

  if (!reload) {
    const Value* certs = Find(domain, "saved certs");
    s.savedCerts = certs != nullptr ? *certs : Value();
    const Value* certTypes = Find(domain, "saved cert types");
    s.savedCertTypes = certTypes != nullptr ? *certTypes : Value();
    const Value* searches = Find(domain, "recentSearches");
    s.recentSearches = searches != nullptr && searches->IsArray() ? *searches->AsArray() : values::Array{};
    s.mainWindow = ReadMainWindow(Find(domain, "main window settings"));
    s.bandwidthWindow = ReadBandwidthWindow(Find(domain, "bandwidth window settings"));
    // Absent: the advanced interface.
    s.advancedMode = BoolSetting(Find(domain, "advanced_mode")).value_or(true);
  }

  s.downloadBandwidth =
      ChooseBandwidthLimit(domain, kDownloadBandwidthKeys, reload ? agreed.download : std::nullopt);
  s.uploadBandwidth =
      ChooseBandwidthLimit(domain, kUploadBandwidthKeys, reload ? agreed.upload : std::nullopt);
  s.serverSendBandwidth = ReadBandwidthLimit(domain, kServerSendBandwidthKey);
  s.serverReceiveBandwidth = ReadBandwidthLimit(domain, kServerReceiveBandwidthKey);

  s.shareFiles = s.maxDownloads > 0;
  s.allowUploads = s.maxUploads > 0;

  s.dockFore = ReadColor(Find(domain, "dockForRGBA"), defaults.dockFore);
  s.dockBack = ReadColor(Find(domain, "dockBackRGBA"), defaults.dockBack);
  s.miniBack = ReadColor(Find(domain, "miniBackRGBA"), defaults.miniBack);

  if (sources.prefBool) {
    s.confirmRemovals = sources.prefBool("confirm removals");
    s.enablePFSupport = sources.prefBool("Enable PF support");
    s.hideHiddenFiles = sources.prefBool("hideHiddenFiles");
  }
  s.fileManagerSignature = s.enablePFSupport ? values::FourCC("PFdR") : values::FourCC("MACS");
  return s;
}

}  // namespace util
