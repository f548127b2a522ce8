#include "app/ui/views/resource_images.h"

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/toolbox/drawing/drawing_context.h"
#include "platform/toolbox/theme/icons.h"

namespace ui {

namespace {

using toolbox::Color;
using toolbox::DrawingContext;
using toolbox::Gradient;
using toolbox::Image;
using toolbox::Point;
using toolbox::Rect;

using Painter = std::function<void(DrawingContext&)>;

Image Draw(int w, int h, const Painter& paint) {
  return Image::Render(w, h, toolbox::Origin::kTopLeft, paint);
}

void VerticalGradient(DrawingContext& ctx, const Rect& r, Color top, Color bottom) {
  ctx.SaveGState();
  ctx.ClipToRect(r);
  ctx.DrawLinearGradient(Gradient{{{0, top}, {1, bottom}}}, {r.x, r.y}, {r.x, r.Bottom()});
  ctx.RestoreGState();
}

// ---- the filter bar: a light strip, buttons as rounded pills ----

void PillPart(DrawingContext& ctx, int part, Color top, Color bottom, Color edge) {
  // part: 0 left cap, 1 centre, 2 right cap; the pill is 17 high, the caps 14 wide.
  const double h = 17, r = 8;
  ctx.SaveGState();
  ctx.BeginPath();
  if (part == 0)
    ctx.AddRoundedRect({0.5, 0.5, 14 + r, h - 1}, r);
  else if (part == 2)
    ctx.AddRoundedRect({-r, 0.5, 14 + r - 0.5, h - 1}, r);
  else
    ctx.AddRect({0, 0.5, 14, h - 1});
  ctx.ClipToPath();
  ctx.DrawLinearGradient(Gradient{{{0, top}, {1, bottom}}}, {0, 0}, {0, h});
  ctx.RestoreGState();
  ctx.SetStrokeColor(edge);
  ctx.SetLineWidth(1);
  ctx.BeginPath();
  if (part == 0)
    ctx.AddRoundedRect({0.5, 0.5, 14 + r, h - 1}, r);
  else if (part == 2)
    ctx.AddRoundedRect({-r, 0.5, 14 + r - 0.5, h - 1}, r);
  else {
    ctx.StrokeLine({0, 0.5}, {14, 0.5});
    ctx.StrokeLine({0, h - 0.5}, {14, h - 0.5});
    return;
  }
  ctx.StrokePath();
}

struct PillColors {
  Color top, bottom, edge;
};
constexpr PillColors kSelectedPill{Color::FromBytes(120, 130, 145), Color::FromBytes(92, 102, 118),
                                   Color::FromBytes(78, 86, 100)};
constexpr PillColors kRolloverPill{Color::FromBytes(165, 172, 182), Color::FromBytes(140, 148, 160),
                                   Color::FromBytes(125, 132, 145)};
constexpr PillColors kPressedPill{Color::FromBytes(82, 90, 104), Color::FromBytes(62, 70, 84),
                                  Color::FromBytes(50, 56, 68)};

// ---- icons, 16 x 16 ----

void Folder(DrawingContext& ctx, Color body, Color tab) {
  ctx.SetFillColor(tab);
  ctx.BeginPath();
  ctx.AddRoundedRect({1, 2.5, 6.5, 3}, 1);
  ctx.FillPath();
  ctx.SetFillColor(body);
  ctx.BeginPath();
  ctx.AddRoundedRect({1, 4, 14, 10}, 1.5);
  ctx.FillPath();
  ctx.SetFillColor(Color{1, 1, 1, 0.25});
  ctx.FillRect({1.5, 5, 13, 1});
}

// A white rim keeps the disc apart from a selection's highlight behind it.
void Circle(DrawingContext& ctx, Color fill) {
  ctx.SetFillColor(Color::White());
  ctx.FillEllipseInRect({0.5, 0.5, 15, 15});
  ctx.SetFillColor(fill);
  ctx.FillEllipseInRect({1.5, 1.5, 13, 13});
}

void Arrow(DrawingContext& ctx, bool down, Color c) {
  ctx.SetFillColor(c);
  ctx.BeginPath();
  if (down) {
    ctx.MoveToPoint(6.5, 3.5);
    ctx.AddLineToPoint(9.5, 3.5);
    ctx.AddLineToPoint(9.5, 8);
    ctx.AddLineToPoint(12, 8);
    ctx.AddLineToPoint(8, 12.5);
    ctx.AddLineToPoint(4, 8);
    ctx.AddLineToPoint(6.5, 8);
  } else {
    ctx.MoveToPoint(6.5, 12.5);
    ctx.AddLineToPoint(9.5, 12.5);
    ctx.AddLineToPoint(9.5, 8);
    ctx.AddLineToPoint(12, 8);
    ctx.AddLineToPoint(8, 3.5);
    ctx.AddLineToPoint(4, 8);
    ctx.AddLineToPoint(6.5, 8);
  }
  ctx.ClosePath();
  ctx.FillPath();
}

void Computer(DrawingContext& ctx, Color screen) {
  ctx.SetFillColor(Color::FromBytes(90, 96, 106));
  ctx.BeginPath();
  ctx.AddRoundedRect({1, 2, 14, 10}, 1.5);
  ctx.FillPath();
  ctx.SetFillColor(screen);
  ctx.FillRect({2.5, 3.5, 11, 7});
  ctx.SetFillColor(Color::FromBytes(90, 96, 106));
  ctx.FillRect({6, 12, 4, 2});
  ctx.FillRect({4, 13.5, 8, 1.5});
}

void Server(DrawingContext& ctx, Color led) {
  for (int i = 0; i < 3; ++i) {
    const double y = 1.5 + i * 4.5;
    ctx.SetFillColor(Color::FromBytes(110, 116, 126));
    ctx.BeginPath();
    ctx.AddRoundedRect({2, y, 12, 4}, 1);
    ctx.FillPath();
    ctx.SetFillColor(led);
    ctx.FillRect({11, y + 1.5, 1.5, 1});
  }
}

void Globe(DrawingContext& ctx, Color fill) {
  Circle(ctx, fill);
  ctx.SetStrokeColor(Color{1, 1, 1, 0.8});
  ctx.SetLineWidth(1);
  ctx.BeginPath();
  ctx.AddEllipseInRect({5, 1.5, 6, 13});
  ctx.StrokePath();
  ctx.StrokeLine({1.5, 8}, {14.5, 8});
  ctx.StrokeLine({8, 1.5}, {8, 14.5});
}

void Lock(DrawingContext& ctx) {
  ctx.SetStrokeColor(Color::FromBytes(120, 120, 120));
  ctx.SetLineWidth(1.6);
  ctx.BeginPath();
  ctx.AddRoundedRect({5, 2.5, 6, 8}, 3);
  ctx.StrokePath();
  ctx.SetFillColor(Color::FromBytes(214, 168, 46));
  ctx.BeginPath();
  ctx.AddRoundedRect({3, 7, 10, 8}, 1.5);
  ctx.FillPath();
  ctx.SetFillColor(Color::FromBytes(120, 84, 10));
  ctx.FillRect({7.25, 9.5, 1.5, 3});
}

void Eject(DrawingContext& ctx, Color c) {
  ctx.SetFillColor(c);
  ctx.BeginPath();
  ctx.MoveToPoint(8, 3);
  ctx.AddLineToPoint(13, 9);
  ctx.AddLineToPoint(3, 9);
  ctx.ClosePath();
  ctx.FillPath();
  ctx.FillRect({3, 11, 10, 2});
}

void Gear(DrawingContext& ctx, Color c) {
  ctx.SetFillColor(c);
  for (int i = 0; i < 8; ++i) {
    const double a = i * M_PI / 4;
    const double cx = 8 + std::cos(a) * 5.5, cy = 8 + std::sin(a) * 5.5;
    ctx.FillEllipseInRect({cx - 1.8, cy - 1.8, 3.6, 3.6});
  }
  ctx.FillEllipseInRect({2.5, 2.5, 11, 11});
  ctx.SetFillColor(Color::White());
  ctx.FillEllipseInRect({5.5, 5.5, 5, 5});
}

void Gauge(DrawingContext& ctx, Color c) {
  ctx.SetStrokeColor(c);
  ctx.SetLineWidth(2);
  ctx.SetLineCap(toolbox::LineCap::kRound);
  ctx.BeginPath();
  ctx.MoveToPoint(2.5, 12);
  ctx.AddCurveToPoint(0.5, 4, 15.5, 4, 13.5, 12);
  ctx.StrokePath();
  ctx.StrokeLine({8, 12}, {11.5, 6});
  ctx.SetFillColor(c);
  ctx.FillEllipseInRect({6.5, 10.5, 3, 3});
}

void Clock(DrawingContext& ctx) {
  Circle(ctx, Color::FromBytes(96, 110, 128));
  ctx.SetFillColor(Color::White());
  ctx.FillEllipseInRect({2.5, 2.5, 11, 11});
  ctx.SetStrokeColor(Color::FromBytes(60, 66, 76));
  ctx.SetLineWidth(1.3);
  ctx.SetLineCap(toolbox::LineCap::kRound);
  ctx.StrokeLine({8, 8}, {8, 4.5});
  ctx.StrokeLine({8, 8}, {10.5, 9.5});
}

void Magnifier(DrawingContext& ctx) {
  ctx.SetStrokeColor(Color::White());
  ctx.SetLineWidth(1.5);
  ctx.BeginPath();
  ctx.AddEllipseInRect({5.5, 6, 5, 5});
  ctx.StrokePath();
  ctx.SetLineCap(toolbox::LineCap::kRound);
  ctx.StrokeLine({10, 10.5}, {12, 12.5});
}

void Letters(DrawingContext& ctx, const char* text, Color c) {
  toolbox::TextStyle style;
  style.font = toolbox::Font{"", 6.5, true, false};
  style.color = c;
  style.alignment = toolbox::TextAlignment::kCenter;
  style.truncation = toolbox::Truncation::kNone;
  style.center_vertically = true;
  ctx.DrawText(text, {0, 4, 16, 9}, style);
}

void Grip(DrawingContext& ctx) {
  ctx.SetStrokeColor(Color::FromBytes(120, 120, 120));
  ctx.SetLineWidth(1);
  for (double x : {1.5, 3.5, 5.5}) ctx.StrokeLine({x, 0}, {x, 9});
}

// The program's own icon, 64 x 64: an arrow coming down into a tray on a blue tile (the
// tray icon, every window's icon and the .desktop file's SVG show the same picture).
void ProgramIcon(DrawingContext& ctx) {
  ctx.SaveGState();
  ctx.BeginPath();
  ctx.AddRoundedRect({2, 2, 60, 60}, 13);
  ctx.ClipToPath();
  ctx.DrawLinearGradient(Gradient{{{0, Color::FromBytes(84, 156, 232)}, {1, Color::FromBytes(30, 92, 178)}}},
                         {0, 2}, {0, 62});
  ctx.RestoreGState();
  ctx.SetFillColor(Color::White());
  ctx.BeginPath();
  ctx.MoveToPoint(26, 10);
  ctx.AddLineToPoint(38, 10);
  ctx.AddLineToPoint(38, 28);
  ctx.AddLineToPoint(48, 28);
  ctx.AddLineToPoint(32, 44);
  ctx.AddLineToPoint(16, 28);
  ctx.AddLineToPoint(26, 28);
  ctx.ClosePath();
  ctx.FillPath();
  ctx.BeginPath();
  ctx.AddRoundedRect({12, 48, 40, 6}, 3);
  ctx.FillPath();
}

struct Drawing {
  int width;
  int height;
  Painter paint;
};

// The program's own images by resource name.
const std::map<std::string, Drawing>& Drawings() {
  static const std::map<std::string, Drawing> drawings = [] {
    std::map<std::string, Drawing> d;
    const Color barTop = Color::FromBytes(246, 246, 246), barBottom = Color::FromBytes(226, 226, 226);
    d["search_bar_background"] = {4, 25, [=](DrawingContext& ctx) {
                                    VerticalGradient(ctx, {0, 0, 4, 25}, barTop, barBottom);
                                    ctx.SetFillColor(Color::FromBytes(180, 180, 180));
                                    ctx.FillRect({0, 24, 4, 1});
                                  }};
    const std::pair<const char*, PillColors> sets[] = {
        {"button", kSelectedPill}, {"rollover", kRolloverPill}, {"pressed", kPressedPill}};
    const std::pair<const char*, int> parts[] = {{"left", 0}, {"centre", 1}, {"right", 2}};
    for (const auto& [set, colors] : sets)
      for (const auto& [part, index] : parts)
        d[std::string("search_bar_") + set + "_" + part] = {
            14, 17, [colors = colors, index = index](DrawingContext& ctx) {
              PillPart(ctx, index, colors.top, colors.bottom, colors.edge);
            }};
    d["chevron"] = {14, 13, [](DrawingContext& ctx) {
                      ctx.SetStrokeColor(Color::FromBytes(70, 70, 70));
                      ctx.SetLineWidth(1.5);
                      for (double x : {3.0, 8.0}) {
                        ctx.BeginPath();
                        ctx.MoveToPoint(x, 3);
                        ctx.AddLineToPoint(x + 3.5, 6.5);
                        ctx.AddLineToPoint(x, 10);
                        ctx.StrokePath();
                      }
                    }};
    d["split_background"] = {7, 8, [](DrawingContext& ctx) {
                               ctx.SetFillColor(Color::FromBytes(232, 232, 232));
                               ctx.FillRect({0, 0, 7, 8});
                               ctx.SetFillColor(Color::FromBytes(170, 170, 170));
                               ctx.FillRect({0, 0, 1, 8});
                               ctx.FillRect({6, 0, 1, 8});
                             }};
    d["split_splitter"] = {3, 10, [](DrawingContext& ctx) {
                             ctx.SetFillColor(Color::FromBytes(140, 140, 140));
                             for (double y : {1.0, 4.5, 8.0}) ctx.FillEllipseInRect({0, y, 3, 2});
                           }};
    // Icons.
    const Color blue = Color::FromBytes(62, 126, 205), green = Color::FromBytes(74, 160, 84);
    const Color folderBlue = Color::FromBytes(110, 156, 210), folderTab = Color::FromBytes(84, 128, 184);
    d["truvane"] = {64, 64, [](DrawingContext& ctx) { ProgramIcon(ctx); }};
    d["MyDL"] = {16, 16, [=](DrawingContext& ctx) {
                   Circle(ctx, blue);
                   Arrow(ctx, true, Color::White());
                 }};
    d["mYUl"] = {16, 16, [=](DrawingContext& ctx) {
                   Circle(ctx, green);
                   Arrow(ctx, false, Color::White());
                 }};
    d["RfIc"] = {16, 16, [](DrawingContext& ctx) {
                   ctx.SetFillColor(Color::FromBytes(200, 130, 50));
                   ctx.BeginPath();
                   ctx.AddRoundedRect({1, 8, 14, 7}, 1.5);
                   ctx.FillPath();
                   Arrow(ctx, true, Color::FromBytes(120, 70, 20));
                 }};
    d["Hist"] = {16, 16, [](DrawingContext& ctx) { Clock(ctx); }};
    d["MySe"] = {16, 16, [](DrawingContext& ctx) { Server(ctx, Color::FromBytes(120, 220, 120)); }};
    d["folder"] = {16, 16, [=](DrawingContext& ctx) { Folder(ctx, folderBlue, folderTab); }};
    d["shared_folder"] = {16, 16, [=](DrawingContext& ctx) {
                            Folder(ctx, folderBlue, folderTab);
                            ctx.SetFillColor(Color::White());
                            ctx.FillEllipseInRect({6.5, 6.5, 3, 3});
                            ctx.FillEllipseInRect({5, 10, 6, 3.5});
                          }};
    d["smart_folder"] = {16, 16, [](DrawingContext& ctx) {
                           Folder(ctx, Color::FromBytes(140, 120, 200), Color::FromBytes(110, 92, 170));
                           Magnifier(ctx);
                         }};
    // The tray icon's badge rows: a dark pill per kind, the white text drawn over it.
    const auto badge = [](Color c) {
      return Drawing{128, 32, [c](DrawingContext& ctx) {
                       ctx.SetFillColor(c);
                       ctx.BeginPath();
                       ctx.AddRoundedRect({2, 1, 124, 30}, 14);
                       ctx.FillPath();
                     }};
    };
    d["badge_background_down"] = badge(Color::FromBytes(30, 90, 200, 230));
    d["badge_background_up"] = badge(Color::FromBytes(30, 150, 60, 230));
    d["badge_background_received"] = badge(Color::FromBytes(200, 110, 20, 230));
    d["Band"] = {16, 16, [](DrawingContext& ctx) { Gauge(ctx, Color::FromBytes(70, 70, 70)); }};
    d["action"] = {16, 16, [](DrawingContext& ctx) { Gear(ctx, Color::FromBytes(80, 80, 80)); }};
    d["Divi"] = {7, 9, [](DrawingContext& ctx) { Grip(ctx); }};
    d["FTP_"] = {16, 16, [=](DrawingContext& ctx) {
                   Server(ctx, Color::FromBytes(120, 220, 120));
                   Letters(ctx, "FTP", Color::White());
                 }};
    d["FTPS"] = {16, 16, [=](DrawingContext& ctx) {
                   Server(ctx, Color::FromBytes(230, 190, 60));
                   Letters(ctx, "FTPS", Color::White());
                 }};
    d["Rndv"] = {16, 16, [](DrawingContext& ctx) { Computer(ctx, Color::FromBytes(120, 180, 240)); }};
    d["Remo"] = {16, 16, [](DrawingContext& ctx) { Computer(ctx, Color::FromBytes(150, 200, 140)); }};
    d["SecI"] = {16, 16, [](DrawingContext& ctx) { Lock(ctx); }};
    d["eject"] = {16, 16, [](DrawingContext& ctx) { Eject(ctx, Color::FromBytes(110, 110, 110)); }};
    d["eject_pressed"] = {16, 16, [](DrawingContext& ctx) { Eject(ctx, Color::FromBytes(40, 40, 40)); }};
    d["computer"] = {16, 16, [](DrawingContext& ctx) { Computer(ctx, Color::FromBytes(100, 150, 220)); }};
    d["server"] = {16, 16, [](DrawingContext& ctx) { Globe(ctx, Color::FromBytes(70, 130, 190)); }};
    d["idisk"] = {16, 16, [](DrawingContext& ctx) { Globe(ctx, Color::FromBytes(90, 160, 220)); }};
    d["public_idisk"] = {16, 16, [](DrawingContext& ctx) { Globe(ctx, Color::FromBytes(90, 180, 120)); }};
    return d;
  }();
  return drawings;
}

struct IconEntry {
  values::FourCharCode creator;
  values::FourCharCode type;
  const char* resource;
};

const IconEntry kIcons[] = {
    {kAppCreator, kAppCreator, "truvane"},
    {kAppCreator, values::FourCC("MyDL"), "MyDL"},
    {kAppCreator, values::FourCC("mYUl"), "mYUl"},
    {kAppCreator, values::FourCC("RfIc"), "RfIc"},
    {kAppCreator, values::FourCC("Hist"), "Hist"},
    {kAppCreator, values::FourCC("MySe"), "MySe"},
    {kAppCreator, kIconFolder, "folder"},
    {kAppCreator, kIconSharedFolder, "shared_folder"},
    {kAppCreator, kIconSmartFolder, "smart_folder"},
    {kAppCreator, values::FourCC("Band"), "Band"},
    {kAppCreator, kIconAction, "action"},
    {kAppCreator, values::FourCC("Divi"), "Divi"},
    {kAppCreator, values::FourCC("FTP_"), "FTP_"},
    {kAppCreator, values::FourCC("FTPS"), "FTPS"},
    {kAppCreator, values::FourCC("Rndv"), "Rndv"},
    {kAppCreator, values::FourCC("Remo"), "Remo"},
    {kAppCreator, values::FourCC("SecI"), "SecI"},
    {kAppCreator, values::FourCC("Ejec"), "eject"},
    {kAppCreator, values::FourCC("EjeP"), "eject_pressed"},
    {kSystemCreator, values::FourCC("root"), "computer"},
    {kSystemCreator, values::FourCC("srvr"), "server"},
    {kSystemCreator, values::FourCC("idsk"), "idisk"},
    {kSystemCreator, values::FourCC("udsk"), "public_idisk"},
};

}  // namespace

std::optional<toolbox::Image> CreateImageFromResource(const std::string& name) {
  const std::string path = toolbox::ResourcePath(name + ".png");
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) return Image::LoadPng(path);
  const auto& drawings = Drawings();
  const auto it = drawings.find(name);
  if (it == drawings.end()) return std::nullopt;
  return Draw(it->second.width, it->second.height, it->second.paint);
}

void RegisterWindowIcons() {
  for (const IconEntry& icon : kIcons) {
    if (toolbox::FindIcon(icon.creator, icon.type)) continue;
    if (auto image = CreateImageFromResource(icon.resource))
      toolbox::RegisterIcon(icon.creator, icon.type, *image);
  }
}

std::optional<toolbox::Image> GetIcon(values::FourCharCode creator, values::FourCharCode type) {
  static const bool registered = (RegisterWindowIcons(), true);
  (void)registered;
  return toolbox::FindIcon(creator, type);
}

}  // namespace ui
