#include "app/util/text/url_display_name.h"

namespace util {

std::string CopyURLDisplayName(const values::Url& url) {
  if (std::optional<std::string> last = url.LastPathComponent()) return *last;
  const std::string path = url.Path();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace util
