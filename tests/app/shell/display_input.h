#pragma once
// Working the program's windows on a virtual X display as a person would: where a window
// stands, pointer clicks and typed keys (XTest), and finding a menu that popped up and its
// item lines in a grab of the screen.

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/app/shell/virtual_display.h"
#include "tests/support/temp_home.h"

namespace programtest {

struct ScreenBox {
  int x = 0, y = 0, width = 0, height = 0;
  int CenterX() const { return x + width / 2; }
  int CenterY() const { return y + height / 2; }
};

// The mapped window with this title, in screen coordinates; none when it is not shown.
inline std::optional<ScreenBox> FindWindowBox(const std::string& display, const std::string& title) {
  std::string out;
  const std::string command = "timeout 5 xwininfo -display " + display + " -name '" + title + "' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  ::pclose(pipe);
  if (out.find("Map State: IsViewable") == std::string::npos) return std::nullopt;
  auto field = [&](const std::string& name) -> std::optional<int> {
    const auto at = out.find(name);
    if (at == std::string::npos) return std::nullopt;
    return std::atoi(out.c_str() + at + name.size());
  };
  const auto x = field("Absolute upper-left X:"), y = field("Absolute upper-left Y:"), w = field("Width:"),
             h = field("Height:");
  if (!x || !y || !w || !h) return std::nullopt;
  return ScreenBox{*x, *y, *w, *h};
}

// Runs input actions in order through XTest, each one of:
//   "click:X,Y" (left button), "rclick:X,Y" (right button), "key:Control_L+a" (one chord),
//   "type:text" (letters, digits, blanks and the punctuation of URLs, one key each).
// False when the display could not be reached.
inline bool ActOnDisplay(const std::string& display, const std::vector<std::string>& actions) {
  const std::string dir = testsupport::MakeTempDir("xinput");
  const std::string script = dir + "/act.py";
  testsupport::WriteFile(script, R"(import ctypes, sys, time
x11 = ctypes.CDLL("libX11.so.6"); xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p; x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XStringToKeysym.restype = ctypes.c_ulong; x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]; x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
d = x11.XOpenDisplay(sys.argv[1].encode())
if not d: sys.exit(2)
x11.XKeycodeToKeysym.restype = ctypes.c_ulong; x11.XKeycodeToKeysym.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int]
PUNCTUATION = {" ": "space", ".": "period", ":": "colon", "/": "slash", "-": "minus", "_": "underscore",
               "?": "question", "=": "equal", "&": "ampersand", "~": "asciitilde", "%": "percent"}
def chord(keys):
    codes = [x11.XKeysymToKeycode(d, x11.XStringToKeysym(k.encode())) for k in keys]
    for c in codes: xtst.XTestFakeKeyEvent(d, c, 1, 0)
    for c in reversed(codes): xtst.XTestFakeKeyEvent(d, c, 0, 0)
    x11.XFlush(d); time.sleep(0.03)
for line in open(sys.argv[2]).read().splitlines():
    kind, _, arg = line.partition(":")
    if kind in ("click", "rclick"):
        x, y = (int(v) for v in arg.split(","))
        button = 1 if kind == "click" else 3
        xtst.XTestFakeMotionEvent(d, -1, x, y, 0); x11.XFlush(d); time.sleep(0.1)
        xtst.XTestFakeButtonEvent(d, button, 1, 0); x11.XFlush(d); time.sleep(0.05)
        xtst.XTestFakeButtonEvent(d, button, 0, 0); x11.XFlush(d); time.sleep(0.1)
    elif kind == "key":
        chord(arg.split("+"))
    elif kind == "type":
        for ch in arg:
            name = PUNCTUATION.get(ch, ch)
            sym = x11.XStringToKeysym(name.encode())
            code = x11.XKeysymToKeycode(d, sym)
            # A character on a key's shifted level (":", "_", capitals) needs Shift.
            chord(["Shift_L", name] if x11.XKeycodeToKeysym(d, code, 0) != sym else [name])
x11.XCloseDisplay(d)
)");
  std::string list;
  for (const std::string& a : actions) list += a + "\n";
  testsupport::WriteFile(dir + "/actions", list);
  // Python alone can take well over ten seconds to start on a loaded machine.
  const std::string command = "timeout 60 python3 '" + script + "' " + display + " '" + dir + "/actions'";
  return std::system(command.c_str()) == 0;
}

inline int Luminance(const std::array<int, 3>& p) {
  return (299 * p[0] + 587 * p[1] + 114 * p[2]) / 1000;
}

// The box of the pixels that differ between two grabs of the screen within `reach` of a
// point: where a menu popped up near the click that opened it. None when nothing changed.
inline std::optional<ScreenBox> ChangedBoxNear(const ScreenImage& before, const ScreenImage& after, int px,
                                               int py, int reach) {
  if (before.width != after.width || before.height != after.height) return std::nullopt;
  int left = after.width, top = after.height, right = -1, bottom = -1;
  for (int y = std::max(0, py - reach); y < std::min(after.height, py + reach); ++y)
    for (int x = std::max(0, px - reach); x < std::min(after.width, px + reach); ++x) {
      const auto i =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(after.width) + static_cast<std::size_t>(x);
      const auto& a = before.rgb[i];
      const auto& b = after.rgb[i];
      if (std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) > 30) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  if (right < 0) return std::nullopt;
  return ScreenBox{left, top, right - left + 1, bottom - top + 1};
}

// The lines of text inside a box (a menu's items, enabled or dimmed), top to bottom: runs
// of pixel rows holding pixels much darker than the box's background. Thin runs (separator
// lines) are left out.
inline std::vector<ScreenBox> TextLinesIn(const ScreenImage& image, const ScreenBox& box) {
  std::vector<ScreenBox> lines;
  // The background: the most common luminance along the box's inner left edge.
  std::array<int, 256> counts{};
  for (int y = box.y; y < box.y + box.height; ++y)
    ++counts[static_cast<std::size_t>(
        Luminance(image.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                            static_cast<std::size_t>(box.x + std::min(3, box.width - 1))]))];
  const int background = static_cast<int>(std::max_element(counts.begin(), counts.end()) - counts.begin());
  int start = -1;
  for (int y = box.y; y <= box.y + box.height; ++y) {
    bool ink = false;
    if (y < box.y + box.height)
      for (int x = box.x + 4; x < box.x + box.width - 4 && !ink; ++x)
        ink = background -
                  Luminance(image.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                                      static_cast<std::size_t>(x)]) >
              60;
    if (ink && start < 0) start = y;
    if (!ink && start >= 0) {
      if (y - start >= 5) lines.push_back({box.x, start, box.width, y - start});
      start = -1;
    }
  }
  return lines;
}

// Rows of the screen inside a box that hold at least `minimum` pixels of this colour:
// where a list draws its selection.
inline std::optional<ScreenBox> ColourBandIn(const ScreenImage& image, const ScreenBox& box,
                                             std::array<int, 3> colour, int minimum) {
  int top = -1, bottom = -1;
  for (int y = box.y; y < box.y + box.height; ++y) {
    int count = 0;
    for (int x = box.x; x < box.x + box.width; ++x) {
      const auto& p = image.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                                static_cast<std::size_t>(x)];
      if (std::abs(p[0] - colour[0]) <= 6 && std::abs(p[1] - colour[1]) <= 6 &&
          std::abs(p[2] - colour[2]) <= 6)
        ++count;
    }
    if (count >= minimum) {
      if (top < 0) top = y;
      bottom = y;
    }
  }
  if (top < 0) return std::nullopt;
  return ScreenBox{box.x, top, box.width, bottom - top + 1};
}

}  // namespace programtest
