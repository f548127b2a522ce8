#pragma once
// A virtual X display for the tests that run the program's windows on a real X server
// (Xvfb), and what can be read of the screen from outside the program.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <zlib.h>

#include "tests/app/shell/program_process.h"
#include "tests/support/temp_home.h"

namespace programtest {

// An Xvfb server on a display number it chooses itself; killed with the object.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      const int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) ::dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "1280x800x24",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    // Xvfb writes the display number once it accepts clients; bounded by a poll.
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
      char c;
      const ssize_t n = ::read(fds[0], &c, 1);
      if (n == 1)
        number += c;
      else if (n == 0)
        break;
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(fds[0]);
    if (number.find('\n') != std::string::npos) display_ = ":" + number.substr(0, number.find('\n'));
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// The names of the top-level windows on the display.
inline std::string WindowTree(const std::string& display) {
  std::string out;
  const std::string command = "timeout 5 xwininfo -display " + display + " -root -tree 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  ::pclose(pipe);
  return out;
}

// The screen's pixels as xwd dumps the root window (ZPixmap, 24 or 32 bits a pixel).
struct ScreenImage {
  int width = 0, height = 0;
  std::vector<std::array<int, 3>> rgb;  // row by row
};

inline std::optional<ScreenImage> GrabScreen(const std::string& display) {
  const std::string command = "timeout 10 xwd -silent -root -display " + display + " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string dump;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) dump.append(buf, n);
  ::pclose(pipe);
  auto card = [&](std::size_t index) -> std::uint32_t {
    const auto* b = reinterpret_cast<const unsigned char*>(dump.data()) + 4 * index;
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
  };
  if (dump.size() < 100) return std::nullopt;
  const std::uint32_t headerSize = card(0), format = card(2), width = card(4), height = card(5),
                      byteOrder = card(7), bitsPerPixel = card(11), bytesPerLine = card(12),
                      redMask = card(14), greenMask = card(15), blueMask = card(16), colours = card(19);
  if (format != 2 || (bitsPerPixel != 32 && bitsPerPixel != 24) || width == 0 || height == 0)
    return std::nullopt;
  const std::size_t start = headerSize + 12 * std::size_t{colours};
  if (dump.size() < start + std::size_t{bytesPerLine} * height) return std::nullopt;
  auto channel = [](std::uint32_t pixel, std::uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    return static_cast<int>((pixel & mask) >> shift);
  };
  ScreenImage image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.rgb.reserve(std::size_t{width} * height);
  const std::size_t bytes = bitsPerPixel / 8;
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const auto* p = reinterpret_cast<const unsigned char*>(dump.data()) + start +
                      std::size_t{y} * bytesPerLine + std::size_t{x} * bytes;
      std::uint32_t pixel = 0;
      for (std::size_t i = 0; i < bytes; ++i)
        pixel |= std::uint32_t{p[i]} << (byteOrder == 0 ? 8 * i : 8 * (bytes - 1 - i));
      image.rgb.push_back({channel(pixel, redMask), channel(pixel, greenMask), channel(pixel, blueMask)});
    }
  return image;
}

// Writes the screen as an RGB PNG at `path`, for a person to look at; false when it cannot.
inline bool SaveScreenPng(const ScreenImage& image, const std::string& path) {
  std::string raw;
  raw.reserve(static_cast<std::size_t>(image.height) * (3 * static_cast<std::size_t>(image.width) + 1));
  for (int y = 0; y < image.height; ++y) {
    raw += '\0';  // no filter
    for (int x = 0; x < image.width; ++x)
      for (int c : image.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                             static_cast<std::size_t>(x)])
        raw += static_cast<char>(c);
  }
  uLongf packedSize = compressBound(raw.size());
  std::string packed(packedSize, '\0');
  if (compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
               reinterpret_cast<const Bytef*>(raw.data()), raw.size()) != Z_OK)
    return false;
  packed.resize(packedSize);
  auto be = [](std::uint32_t n) {
    return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                       static_cast<char>(n)};
  };
  auto chunk = [&](const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    return be(static_cast<std::uint32_t>(data.size())) + body + be(crc);
  };
  const std::string header = be(static_cast<std::uint32_t>(image.width)) +
                             be(static_cast<std::uint32_t>(image.height)) + std::string("\x08\x02\0\0\0", 5);
  const std::string png =
      std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", packed) + chunk("IEND", "");
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  const bool ok = std::fwrite(png.data(), 1, png.size(), out) == png.size();
  return std::fclose(out) == 0 && ok;
}

// Keeps a grab of the screen under TRUVANE_SCREENSHOT_DIR, when it is set.
inline void KeepScreen(const std::string& display, const std::string& name) {
  const char* dir = std::getenv("TRUVANE_SCREENSHOT_DIR");
  if (!dir) return;
  if (auto screen = GrabScreen(display)) SaveScreenPng(*screen, std::string(dir) + "/" + name + ".png");
}

// Pixels within `tolerance` of the colour on every channel.
inline int CountPixelsNear(const ScreenImage& image, std::array<int, 3> colour, int tolerance) {
  int count = 0;
  for (const auto& p : image.rgb)
    if (std::abs(p[0] - colour[0]) <= tolerance && std::abs(p[1] - colour[1]) <= tolerance &&
        std::abs(p[2] - colour[2]) <= tolerance)
      ++count;
  return count;
}

// Presses `keys` ("Control_L+1") on the display through the XTest extension, as a user's
// keyboard would; false when that could not be done.
inline bool PressKeys(const std::string& display, const std::string& keys) {
  const std::string script = testsupport::MakeTempDir("xtest") + "/press.py";
  testsupport::WriteFile(script, R"(import ctypes, sys
x11 = ctypes.CDLL("libX11.so.6"); xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p; x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XStringToKeysym.restype = ctypes.c_ulong; x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]; x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
d = x11.XOpenDisplay(sys.argv[1].encode())
if not d: sys.exit(2)
codes = [x11.XKeysymToKeycode(d, x11.XStringToKeysym(k.encode())) for k in sys.argv[2].split("+")]
for c in codes: xtst.XTestFakeKeyEvent(d, c, 1, 0)
for c in reversed(codes): xtst.XTestFakeKeyEvent(d, c, 0, 0)
x11.XFlush(d); x11.XCloseDisplay(d)
)");
  // Python alone can take well over ten seconds to start on a loaded machine.
  const std::string command = "timeout 60 python3 '" + script + "' " + display + " '" + keys + "'";
  return std::system(command.c_str()) == 0;
}

}  // namespace programtest
