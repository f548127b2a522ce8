#pragma once
// Records what was asked of the desktop's workspace; copies and trashing succeed unless
// told otherwise, and touch nothing on disk.

#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/workspace.h"

namespace fakes {

class FakeWorkspace : public desktop::Workspace {
 public:
  struct Recycle {
    std::string folder;
    std::vector<std::string> names;
    bool operator==(const Recycle&) const = default;
  };
  std::vector<std::string> opened;
  std::vector<std::string> mailed;  // mailto: URLs
  std::vector<std::string> revealed;
  std::vector<std::pair<std::string, std::string>> copies;
  std::vector<Recycle> recycles;
  bool succeed = true;
  bool display = true;

  bool OpenURL(const std::string& url) override {
    opened.push_back(url);
    return succeed;
  }
  bool OpenFile(const std::string& path) override {
    opened.push_back(path);
    return succeed;
  }
  bool ComposeMail(const std::string& mailto_url) override {
    mailed.push_back(mailto_url);
    return succeed;
  }
  bool RevealItem(const std::string& path) override {
    revealed.push_back(path);
    return succeed;
  }
  bool CopyItem(const std::string& path, const std::string& folder) override {
    copies.emplace_back(path, folder);
    return succeed;
  }
  bool RecycleItems(const std::string& folder, const std::vector<std::string>& names) override {
    recycles.push_back({folder, names});
    return succeed;
  }
  bool HasDisplay() const override { return display; }
};

class ScopedFakeWorkspace {
 public:
  ScopedFakeWorkspace() {
    auto fake = std::make_unique<FakeWorkspace>();
    fake_ = fake.get();
    previous_ = desktop::WorkspaceSlot::Set(std::move(fake));
  }
  ~ScopedFakeWorkspace() { desktop::WorkspaceSlot::Set(std::move(previous_)); }
  FakeWorkspace* operator->() { return fake_; }

 private:
  FakeWorkspace* fake_;
  std::unique_ptr<desktop::Workspace> previous_;
};

}  // namespace fakes
