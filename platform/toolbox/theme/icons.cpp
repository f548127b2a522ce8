#include "platform/toolbox/theme/icons.h"

#include <unistd.h>
#include <QIcon>
#include <QMimeDatabase>
#include <QPixmap>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/toolbox/drawing/drawing_context.h"
#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"

namespace toolbox {
namespace {

struct Registry {
  std::mutex mutex;
  std::string resource_folder;
  std::map<std::pair<values::FourCharCode, values::FourCharCode>, Image> icons;
};

Registry& GetRegistry() {
  static Registry registry;
  return registry;
}

std::string ProgramFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

// A sheet of paper with a folded corner, or a folder tab: what shows when the theme
// has nothing.
Image DrawFallback(int size, bool folder) {
  return Image::Render(size, size, Origin::kTopLeft, [&](DrawingContext& ctx) {
    const double s = size;
    ctx.SetStrokeColor(Color::FromBytes(110, 110, 110));
    ctx.SetLineWidth(1);
    if (folder) {
      ctx.SetFillColor(Color::FromBytes(120, 160, 215));
      ctx.AddRoundedRect({s * 0.08, s * 0.18, s * 0.4, s * 0.2}, s * 0.05);
      ctx.FillPath();
      ctx.AddRoundedRect({s * 0.08, s * 0.26, s * 0.84, s * 0.6}, s * 0.06);
      ctx.FillPath();
      return;
    }
    const double l = s * 0.2, t = s * 0.08, r = s * 0.8, b = s * 0.92, fold = s * 0.2;
    ctx.SetFillColor(Color::White());
    ctx.MoveToPoint(l + 0.5, t + 0.5);
    ctx.AddLineToPoint(r - fold, t + 0.5);
    ctx.AddLineToPoint(r - 0.5, t + fold);
    ctx.AddLineToPoint(r - 0.5, b - 0.5);
    ctx.AddLineToPoint(l + 0.5, b - 0.5);
    ctx.ClosePath();
    ctx.FillPath();
    ctx.MoveToPoint(l + 0.5, t + 0.5);
    ctx.AddLineToPoint(r - fold, t + 0.5);
    ctx.AddLineToPoint(r - 0.5, t + fold);
    ctx.AddLineToPoint(r - 0.5, b - 0.5);
    ctx.AddLineToPoint(l + 0.5, b - 0.5);
    ctx.ClosePath();
    ctx.StrokePath();
  });
}

Image FromTheme(const QString& name, int size) {
  const QIcon icon = QIcon::fromTheme(name);
  if (icon.isNull()) return Image();
  return FromQImage(icon.pixmap(size, size).toImage());
}

}  // namespace

std::string ResourceFolder() {
  Registry& r = GetRegistry();
  std::lock_guard lock(r.mutex);
  if (!r.resource_folder.empty()) return r.resource_folder;
  if (const char* env = std::getenv("TRUVANE_RESOURCES"); env && *env) return env;
  return (std::filesystem::path(ProgramFolder()).parent_path() / "share" / "truvane").string();
}

void SetResourceFolder(std::string folder) {
  Registry& r = GetRegistry();
  std::lock_guard lock(r.mutex);
  r.resource_folder = std::move(folder);
}

std::string ResourcePath(const std::string& name) {
  return (std::filesystem::path(ResourceFolder()) / name).string();
}

std::optional<Image> RegisterIconResource(values::FourCharCode creator, values::FourCharCode type,
                                          const std::string& resource_name) {
  const bool is_path = !resource_name.empty() && resource_name[0] == '/' && resource_name.ends_with(".png");
  auto image = Image::LoadPng(is_path ? resource_name : ResourcePath(resource_name + ".png"));
  if (!image) return std::nullopt;
  RegisterIcon(creator, type, *image);
  return image;
}

void RegisterIcon(values::FourCharCode creator, values::FourCharCode type, Image image) {
  Registry& r = GetRegistry();
  std::lock_guard lock(r.mutex);
  r.icons[{creator, type}] = std::move(image);
}

std::optional<Image> FindIcon(values::FourCharCode creator, values::FourCharCode type) {
  Registry& r = GetRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.icons.find({creator, type});
  if (it == r.icons.end()) return std::nullopt;
  return it->second;
}

Image IconForFileExtension(const std::string& extension, int size) {
  static QMimeDatabase database;
  const QMimeType type = extension.empty() ? database.mimeTypeForName("application/octet-stream")
                                           : database.mimeTypeForFile("x." + ToQString(extension),
                                                                      QMimeDatabase::MatchExtension);
  Image image = FromTheme(type.iconName(), size);
  if (image.IsNull()) image = FromTheme(type.genericIconName(), size);
  if (image.IsNull()) image = DrawFallback(size, false);
  return image;
}

Image IconForFolder(int size) {
  Image image = FromTheme("folder", size);
  return image.IsNull() ? DrawFallback(size, true) : image;
}

}  // namespace toolbox
