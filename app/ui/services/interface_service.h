#pragma once
// What the settings store asks of the main window and views: the simple or advanced
// interface, and help tags on or off.
//
// The views register their implementation at start-up with InterfaceServiceSlot::Set. The
// default records the two choices and changes nothing on screen (there is none yet).

#include <memory>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace ui {

class InterfaceService {
 public:
  virtual ~InterfaceService() = default;
  // Simple (true) or advanced (false) interface: rebuilds the menus and shows or hides
  // the advanced controls when the mode changes.
  virtual void SetSimpleMode(bool simple) = 0;
  // Help tags (tool tips) on or off for the whole application.
  virtual void SetHelpTagsEnabled(bool enabled) = 0;
};

class DefaultInterfaceService : public InterfaceService {
 public:
  void SetSimpleMode(bool simple) override { simple_ = simple; }
  void SetHelpTagsEnabled(bool enabled) override { helpTags_ = enabled; }
  bool simpleMode() const { return simple_; }
  bool helpTagsEnabled() const { return helpTags_; }

 private:
  bool simple_ = false;
  bool helpTags_ = true;
};

using InterfaceServiceSlot = runtime::ServiceSlot<InterfaceService, DefaultInterfaceService>;

}  // namespace ui
