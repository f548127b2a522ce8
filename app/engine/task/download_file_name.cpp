#include "app/engine/task/download_file_name.h"

namespace engine {

std::optional<std::string> SanitizeServerFileName(std::string_view proposed) {
  const auto slash = proposed.find_last_of("/\\");
  if (slash != std::string_view::npos) proposed.remove_prefix(slash + 1);
  // Blanks around a quoted header value are not part of the name.
  while (!proposed.empty() && (proposed.front() == ' ' || proposed.front() == '\t'))
    proposed.remove_prefix(1);
  while (!proposed.empty() && (proposed.back() == ' ' || proposed.back() == '\t')) proposed.remove_suffix(1);
  while (!proposed.empty() && proposed.front() == '.') proposed.remove_prefix(1);
  std::string name;
  name.reserve(proposed.size());
  for (char c : proposed) {
    const auto u = static_cast<unsigned char>(c);
    name.push_back(u < 0x20 || u == 0x7f ? '_' : c);
  }
  if (name.size() > kMaxFileNameBytes) {
    std::size_t cut = kMaxFileNameBytes;
    // Back off over UTF-8 continuation bytes so no character is cut in half.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  return name;
}

}  // namespace engine
