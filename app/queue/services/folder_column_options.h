#pragma once
// A view's column layout as its layout folder keeps it: up to 16 column property ids in
// display order, the list ending at the first 0, and the width of each slot in pixels
// (0: the width the column gets when it is added). Shared by the folders, which store it,
// and the main list, which saves and restores it.

#include <array>
#include <cstddef>
#include <cstdint>

namespace queue {

inline constexpr std::size_t kMaxFolderColumns = 16;

struct FolderColumnOptions {
  std::array<std::uint32_t, kMaxFolderColumns> props{};
  std::array<std::uint16_t, kMaxFolderColumns> sizes{};  // 0: automatic width
  bool operator==(const FolderColumnOptions&) const = default;
};

}  // namespace queue
