#pragma once
// A main list that keeps its rows as a tree in memory: rows under a container, the target,
// the selection. Enough to see what a filler or the remote browser put where.

#include <algorithm>
#include <map>
#include <vector>

#include "app/ui/services/main_list_browser.h"

namespace fakes {

class FakeMainListBrowser : public ui::NoMainListBrowser {
 public:
  void RemoveAllRows() override { children.clear(); }
  void AddRows(const std::vector<ui::MainListItem>& items, const ui::MainListItem* container) override {
    auto& list = children[Key(container)];
    for (const auto& item : items) {
      if (!item.record) continue;
      if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
    }
  }
  std::vector<ui::MainListItem> Rows(const ui::MainListItem* container) override {
    auto it = children.find(Key(container));
    return it == children.end() ? std::vector<ui::MainListItem>{} : it->second;
  }
  void RemoveRows(const std::vector<ui::MainListItem>& rows) override {
    for (auto& [key, list] : children)
      std::erase_if(list, [&](const ui::MainListItem& r) {
        return std::find(rows.begin(), rows.end(), r) != rows.end();
      });
  }
  void SetTarget(const ui::MainListItem* row) override { target = row ? row->id() : 0; }
  std::vector<ui::MainListItem> SelectedRows() override { return selected; }
  void UpdateColumn(std::uint32_t property) override { updatedColumns.push_back(property); }

  std::uintptr_t Key(const ui::MainListItem* container) const { return container ? container->id() : target; }

  std::map<std::uintptr_t, std::vector<ui::MainListItem>> children;
  std::uintptr_t target = 0;
  std::vector<ui::MainListItem> selected;
  std::vector<std::uint32_t> updatedColumns;
};

}  // namespace fakes
