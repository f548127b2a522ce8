#include "platform/toolbox/services/modifiers.h"

#include <QGuiApplication>

namespace toolbox {
namespace {
std::function<unsigned()>& Source() {
  static std::function<unsigned()> source;
  return source;
}

unsigned FromKeyboard() {
  if (!QGuiApplication::instance()) return 0;
  const Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
  unsigned out = 0;
  if (m & Qt::ShiftModifier) out |= kModifierShift;
  if (m & Qt::MetaModifier) out |= kModifierControl;
  if (m & Qt::AltModifier) out |= kModifierOption;
  if (m & Qt::ControlModifier) out |= kModifierCommand;
  return out;
}
}  // namespace

unsigned GetCurrentKeyModifiers() {
  return Source() ? Source()() : FromKeyboard();
}
bool IsOptionKeyDown() {
  return (GetCurrentKeyModifiers() & kModifierOption) != 0;
}
void SetKeyModifiersSource(std::function<unsigned()> source) {
  Source() = std::move(source);
}

}  // namespace toolbox
