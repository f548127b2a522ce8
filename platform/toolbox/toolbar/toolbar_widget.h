#pragma once
// The Qt row that shows a toolbar in its window; internal to the toolbox (Window uses it).

class QWidget;

namespace toolbox {

class Toolbar;
class Window;

// A new row of `toolbar`'s items under `parent`; buttons send their commands from `window`.
QWidget* BuildToolbarWidget(Toolbar& toolbar, Window& window, QWidget* parent);

}  // namespace toolbox
