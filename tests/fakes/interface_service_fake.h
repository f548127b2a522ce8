#pragma once
// A recording InterfaceService.

#include <vector>

#include "app/ui/services/interface_service.h"

namespace ui {

class FakeInterfaceService : public InterfaceService {
 public:
  std::vector<bool> simpleModeCalls;
  std::vector<bool> helpTagCalls;

  void SetSimpleMode(bool simple) override { simpleModeCalls.push_back(simple); }
  void SetHelpTagsEnabled(bool enabled) override { helpTagCalls.push_back(enabled); }
};

}  // namespace ui
