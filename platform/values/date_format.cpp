#include "platform/values/date_format.h"

#include <unicode/datefmt.h>
#include <unicode/gregocal.h>
#include <unicode/smpdtfmt.h>

#include <cstdlib>
#include <mutex>

namespace values {

namespace {

std::mutex gLocaleLock;
std::string& LocaleSlot() {
  static std::string locale = "en_US";
  return locale;
}

icu::DateFormat::EStyle ToIcu(DateStyle style) {
  switch (style) {
    case DateStyle::kNone:
      return icu::DateFormat::kNone;
    case DateStyle::kShort:
      return icu::DateFormat::kShort;
    case DateStyle::kMedium:
      return icu::DateFormat::kMedium;
    case DateStyle::kLong:
      return icu::DateFormat::kLong;
    case DateStyle::kFull:
      return icu::DateFormat::kFull;
  }
  return icu::DateFormat::kNone;
}

icu::UnicodeString ToIcu(std::string_view s) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::string ToUtf8(const icu::UnicodeString& s) {
  std::string out;
  s.toUTF8String(out);
  return out;
}

// Proleptic Gregorian calendar in the zone, so that formats agree with date_time.h.
bool UseGregorian(icu::DateFormat& format, const TimeZone& zone, const icu::Locale& locale) {
  UErrorCode status = U_ZERO_ERROR;
  auto cal = std::make_unique<icu::GregorianCalendar>(zone.icu(), locale, status);
  if (U_FAILURE(status)) return false;
  cal->setGregorianChange(U_DATE_MIN, status);
  format.adoptCalendar(cal.release());
  return true;
}

}  // namespace

std::string DisplayLocale() {
  std::lock_guard guard(gLocaleLock);
  return LocaleSlot();
}

void SetDisplayLocale(std::string locale) {
  std::lock_guard guard(gLocaleLock);
  LocaleSlot() = std::move(locale);
}

std::string EnvironmentLocale() {
  for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') continue;
    std::string value(v);
    // "de_DE.UTF-8@euro" -> "de_DE"
    const std::size_t cut = value.find_first_of(".@");
    if (cut != std::string::npos) value.resize(cut);
    if (value == "C" || value == "POSIX" || value.empty()) return "en_US";
    return value;
  }
  return "en_US";
}

struct DateFormatter::Impl {
  mutable std::mutex lock;
  std::unique_ptr<icu::DateFormat> format;
};

DateFormatter::DateFormatter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DateFormatter::~DateFormatter() = default;
DateFormatter::DateFormatter(DateFormatter&&) noexcept = default;
DateFormatter& DateFormatter::operator=(DateFormatter&&) noexcept = default;

std::optional<DateFormatter> DateFormatter::WithStyles(DateStyle date, DateStyle time,
                                                       const std::string& locale, const TimeZone& zone) {
  const icu::Locale loc(locale.c_str());
  std::unique_ptr<icu::DateFormat> format(
      icu::DateFormat::createDateTimeInstance(ToIcu(date), ToIcu(time), loc));
  if (!format || !UseGregorian(*format, zone, loc)) return std::nullopt;
  format->setLenient(false);
  auto impl = std::make_unique<Impl>();
  impl->format = std::move(format);
  return DateFormatter(std::move(impl));
}

std::optional<DateFormatter> DateFormatter::WithPattern(std::string_view pattern, const std::string& locale,
                                                        const TimeZone& zone) {
  const icu::Locale loc(locale.c_str());
  UErrorCode status = U_ZERO_ERROR;
  auto format = std::make_unique<icu::SimpleDateFormat>(ToIcu(pattern), loc, status);
  if (U_FAILURE(status) || !UseGregorian(*format, zone, loc)) return std::nullopt;
  format->setLenient(false);
  auto impl = std::make_unique<Impl>();
  impl->format = std::move(format);
  return DateFormatter(std::move(impl));
}

void DateFormatter::SetLenient(bool lenient) {
  std::lock_guard guard(impl_->lock);
  impl_->format->setLenient(lenient);
}

std::string DateFormatter::Pattern() const {
  std::lock_guard guard(impl_->lock);
  icu::UnicodeString pattern;
  if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(impl_->format.get())) simple->toPattern(pattern);
  return ToUtf8(pattern);
}

std::string DateFormatter::Format(AbsoluteTime t) const {
  icu::UnicodeString text;
  {
    std::lock_guard guard(impl_->lock);
    impl_->format->format((t + kAbsoluteTimeIntervalSince1970) * 1000.0, text);
  }
  text.findAndReplace(icu::UnicodeString(static_cast<UChar>(0x202F)),
                      icu::UnicodeString(static_cast<UChar>(' ')));
  text.findAndReplace(icu::UnicodeString(static_cast<UChar>(0x2009)),
                      icu::UnicodeString(static_cast<UChar>(' ')));
  return ToUtf8(text);
}

std::optional<AbsoluteTime> DateFormatter::Parse(std::string_view text) const {
  const icu::UnicodeString source = ToIcu(text);
  icu::ParsePosition pos(0);
  UDate ms;
  {
    std::lock_guard guard(impl_->lock);
    ms = impl_->format->parse(source, pos);
  }
  if (pos.getErrorIndex() >= 0 || pos.getIndex() == 0) return std::nullopt;
  return ms / 1000.0 - kAbsoluteTimeIntervalSince1970;
}

}  // namespace values
