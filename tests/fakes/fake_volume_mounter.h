#pragma once
// A volume mounter for tests: volumes are local folders, mounts complete on the next pass
// of the loop given, and every call is recorded.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/services/volume_mounter.h"
#include "platform/runtime/run_loop.h"

namespace fakes {

class FakeVolumeMounter final : public engine::VolumeMounter {
 public:
  struct Call {
    std::string url;
    std::string user;
    std::string password;
  };

  // afp://host/<volume>/... mounts `folder`.
  void AddVolume(const std::string& volume, const std::string& folder) { volumes_[volume] = folder; }

  // Scripted outcomes: a status returned at once (non-zero), or one given at completion.
  int fail_at_once = 0;
  int complete_with = 0;
  // Mounted volumes whose root cannot be found.
  bool lose_root = false;

  std::vector<Call> calls;
  int mounted = 0;  // mounts alive now
  int unmounted = 0;

  std::unique_ptr<engine::VolumeMount> MountServerVolume(const values::Url& url, const std::string& user,
                                                         const std::string& password,
                                                         std::shared_ptr<runtime::RunLoop> loop,
                                                         Completion done, int& status) override {
    calls.push_back({url.String(), user, password});
    if (fail_at_once != 0) {
      status = fail_at_once;
      return nullptr;
    }
    const std::string strict = url.StrictPath();
    const std::string volume = strict.substr(0, strict.find('/'));
    auto it = volumes_.find(volume);
    const int result = complete_with != 0 ? complete_with : (it == volumes_.end() ? -5016 : 0);
    auto mount =
        std::make_unique<Mount>(*this, result == 0 && !lose_root && it != volumes_.end() ? it->second : "");
    std::weak_ptr<bool> alive = mount->alive;
    loop->Perform([alive, done, result] {
      if (!alive.expired()) done(result);
    });
    if (result == 0) ++mounted;
    mount->counted = result == 0;
    status = 0;
    return mount;
  }

 private:
  struct Mount final : engine::VolumeMount {
    Mount(FakeVolumeMounter& owner, std::string root) : owner(owner), root(std::move(root)) {}
    ~Mount() override {
      if (counted) {
        --owner.mounted;
        ++owner.unmounted;
      }
    }
    std::string RootPath() const override { return root; }
    int VolumeId() const override { return -101; }
    FakeVolumeMounter& owner;
    std::string root;
    bool counted = false;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
  };

  std::map<std::string, std::string> volumes_;
};

}  // namespace fakes
