#include "app/util/text/string_list.h"

#include <algorithm>
#include <cstdint>

namespace util {

void AppendStringToSTRListHandle(values::Bytes& list, std::string_view text) {
  if (list.size() < 2) list.assign(2, 0);
  const std::uint16_t count = static_cast<std::uint16_t>((list[0] << 8) | list[1]) + 1;
  list[0] = static_cast<std::uint8_t>(count >> 8);
  list[1] = static_cast<std::uint8_t>(count & 0xFF);
  const std::size_t length = std::min<std::size_t>(text.size(), 255);
  list.push_back(static_cast<std::uint8_t>(length));
  list.insert(list.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

}  // namespace util
