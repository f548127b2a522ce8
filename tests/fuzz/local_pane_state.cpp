// The local-files pane's stored column state ("browser_db_settings") as the preferences
// file gives it: any property list applied to a pane. Nothing may crash, the Name column
// stays, no column comes or goes, and the state read back applies to the same columns.

#include <algorithm>
#include <memory>

#include "app/ui/local_pane/file_browser.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/windows/window.h"
#include "platform/values/plist.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

ui::FileBrowser& Pane() {
  static std::shared_ptr<toolbox::Window> window = [] {
    toolbox::Application::Shared();
    toolbox::WindowSpec desc;
    desc.content = {0, 0, 400, 200};
    return toolbox::Window::Create(desc);
  }();
  static ui::FileBrowser& pane = []() -> ui::FileBrowser& {
    toolbox::ControlSpec desc;
    desc.bounds = {0, 0, 400, 200};
    static ui::FileBrowser made(*window, desc, std::string("/"));
    return made;
  }();
  return pane;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto value = values::ReadPropertyList(values::Bytes(data, data + size));
  if (!value.ok()) return 0;
  ui::FileBrowser& pane = Pane();
  auto columns = pane.list().Columns();
  std::sort(columns.begin(), columns.end());
  pane.ApplyUserState(*value);
  auto after = pane.list().Columns();
  std::sort(after.begin(), after.end());
  TRUVANE_FUZZ_CHECK(after == columns);
  TRUVANE_FUZZ_CHECK(pane.list().HasColumn(ui::kFBColName));
  const values::Value state(pane.CopyUserState());
  pane.ApplyUserState(state);
  TRUVANE_FUZZ_CHECK(values::Value(pane.CopyUserState()) == state);
  return 0;
}
