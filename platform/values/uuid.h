#pragma once
// Universally unique identifiers: 16 bytes, written as the platform writes them, in upper
// case with hyphens: "68753A44-4D6F-1226-9C60-0050E4C00067".

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace values {

struct Uuid {
  std::array<std::uint8_t, 16> bytes{};

  // A new random (version 4) identifier.
  static Uuid Generate();
  // Reads the 36-character form in either case; nullopt for anything else.
  static std::optional<Uuid> Parse(std::string_view text);
  static Uuid FromBytes(const std::uint8_t (&raw)[16]);

  std::string ToString() const;  // upper case
  bool IsNull() const;
  bool operator==(const Uuid& other) const = default;
  auto operator<=>(const Uuid& other) const = default;
};

// The text of a new identifier.
inline std::string NewUuidString() {
  return Uuid::Generate().ToString();
}

}  // namespace values
