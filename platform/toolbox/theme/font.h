#pragma once
// Fonts and text measuring. The windows name fonts by their theme role (system, small
// system, emphasised, label, mini) rather than by family, so the look follows the one
// "fontSize" preference and the desktop's fonts. Measuring and truncation use the same
// font engine as drawing, so a truncated text always fits where it is drawn.
//
// Measuring needs the application object (fonts come from the window system); see
// application.h.

#include <functional>
#include <string>

#include "platform/toolbox/drawing/geometry.h"

namespace toolbox {

struct Font {
  std::string family;  // "" = the desktop's default family
  double size = 13;    // points
  bool bold = false;
  bool italic = false;
  bool operator==(const Font&) const = default;
};

enum class ThemeFont {
  kSystem,            // window text, buttons
  kEmphasizedSystem,  // bold window text
  kSmallSystem,       // lists, small controls
  kSmallEmphasized,
  kLabel,  // labels under icons, column contents
  kMini,   // the smallest controls
};

// The base size of kSystem (default 13); the other sizes follow it.
void SetThemeFontBaseSize(double points);
Font GetThemeFont(ThemeFont which);

// The "fontSize" preference, which sets the lists' text: 1 the system font, 2 (the
// default) the small system font. Other values read as 2, as the preference reader
// does. The settings store calls the setter when it loads or changes the preference;
// the observer (one, the main list's owner) hears of a change.
void SetFontSizePreference(int value);
int FontSizePreference();
ThemeFont ListThemeFont();
void SetFontSizeObserver(std::function<void(int)> observer);

enum class Truncation { kNone, kEnd, kMiddle };
enum class TextAlignment { kLeft, kCenter, kRight };

struct TextStyle {
  Font font = GetThemeFont(ThemeFont::kSystem);
  Color color = Color::Black();
  TextAlignment alignment = TextAlignment::kLeft;
  // kNone wraps at word breaks; the others draw one line, cut with an ellipsis.
  Truncation truncation = Truncation::kNone;
  bool center_vertically = false;
};

// Width of the text on one line and the height of a line.
Size MeasureText(const std::string& text, const Font& font);
// The size of the text laid out in `width`, wrapped at word breaks (and at line ends).
Size MeasureWrappedText(const std::string& text, const Font& font, double width);
// The text cut to fit `width` with an ellipsis ("…") at the end or in the middle; the
// text itself when it fits.
std::string TruncateText(const std::string& text, const Font& font, double width, Truncation mode);
double LineHeight(const Font& font);

}  // namespace toolbox
