#include "app/util/text/byte_count.h"

#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace util {

std::string CopyByteCountString(std::int64_t byte_count) {
  if (byte_count < 0) return "--";
  if (byte_count < 1024)
    return values::Format(values::Localized("%ld bytes"), {static_cast<long>(byte_count)});
  if (byte_count < 1048576)
    return values::Format(values::Localized("%ld KB"), {static_cast<long>(byte_count / 1024)});
  const float count = static_cast<float>(byte_count);
  if (byte_count < 1073741824) {
    const float megabytes = count * (1.0f / 1048576.0f);
    return values::Format(values::Localized("%.1f MB"), {static_cast<double>(megabytes)});
  }
  const float gigabytes = count * (1.0f / 1073741824.0f);
  // A symbolic key: the English text is the fallback when no table supplies one.
  constexpr std::string_view kGigabyteKey = "kGigabyteFormat";
  std::string format = values::Localized(kGigabyteKey);
  if (format == kGigabyteKey) format = "%.2f GB";
  return values::Format(format, {static_cast<double>(gigabytes)});
}

}  // namespace util
