#include "app/ui/sharing_windows/peer_row_selection.h"

#include "app/ui/main_window/main_window.h"
#include "app/ui/source_list/source_list.h"

namespace ui {

bool SelectSourceListRow(std::uint32_t identifier) {
  SourceList* list = GetSourceList();
  if (!list) return false;
  RowRef row = list->list().GetRowByIdentifier(identifier);
  if (!row) return false;
  list->list().SelectRow(row);
  return true;
}

}  // namespace ui
