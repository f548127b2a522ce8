#include "platform/values/uuid.h"

#include <uuid/uuid.h>

#include <cstring>

namespace values {

Uuid Uuid::Generate() {
  uuid_t raw;
  uuid_generate_random(raw);
  Uuid out;
  std::memcpy(out.bytes.data(), raw, sizeof raw);
  return out;
}

std::optional<Uuid> Uuid::Parse(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  char buf[37];
  std::memcpy(buf, text.data(), 36);
  buf[36] = '\0';
  uuid_t raw;
  if (uuid_parse(buf, raw) != 0) return std::nullopt;
  Uuid out;
  std::memcpy(out.bytes.data(), raw, sizeof raw);
  return out;
}

Uuid Uuid::FromBytes(const std::uint8_t (&raw)[16]) {
  Uuid out;
  std::memcpy(out.bytes.data(), raw, 16);
  return out;
}

std::string Uuid::ToString() const {
  uuid_t raw;
  std::memcpy(raw, bytes.data(), sizeof raw);
  char buf[37];
  uuid_unparse_upper(raw, buf);
  return std::string(buf, 36);
}

bool Uuid::IsNull() const {
  for (auto b : bytes) {
    if (b) return false;
  }
  return true;
}

}  // namespace values
