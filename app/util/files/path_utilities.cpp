#include "app/util/files/path_utilities.h"

namespace util {

SplitPath SplitPathAtLastSlash(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {std::string(), std::string(path)};
  return {std::string(path.substr(0, slash)), std::string(path.substr(slash + 1))};
}

std::string CopyPathByAppendingComponent(std::string_view base, std::string_view component) {
  if (component.empty()) return std::string(base);
  const bool base_slash = !base.empty() && base.back() == '/';
  const bool component_slash = component.front() == '/';
  std::string out(base);
  if (!base_slash && !component_slash) {
    out += '/';
  } else if (base_slash && component_slash) {
    component.remove_prefix(1);
  }
  out += component;
  return out;
}

std::optional<std::string> CopyPathRelativeToBase(std::optional<std::string_view> base,
                                                  std::optional<std::string_view> path) {
  if (!base || !path || *base == *path) return std::nullopt;
  if (path->substr(0, base->size()) != *base) return std::nullopt;
  std::size_t skip = base->size();
  if (base->empty() || base->back() != '/') {
    // "/ab" is not inside "/a": the base must end on a component boundary.
    if ((*path)[skip] != '/') return std::nullopt;
    ++skip;
  }
  return std::string(path->substr(skip));
}

}  // namespace util
