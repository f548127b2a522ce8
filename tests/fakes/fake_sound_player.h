#pragma once
// Records the sounds asked for and holds each started sound's end until the test calls
// Finish. Play succeeds unless told otherwise.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/sound_player.h"

namespace fakes {

class FakeSoundPlayer : public desktop::SoundPlayer {
 public:
  std::vector<std::string> played;  // every path asked for, started or not
  bool start = true;

  bool Play(const std::string& path, std::function<void()> on_finished) override {
    played.push_back(path);
    if (!start) return false;
    endings_.push_back(std::move(on_finished));
    return true;
  }
  // Ends the i-th started sound (each once).
  void Finish(std::size_t i) {
    if (auto end = std::exchange(endings_.at(i), nullptr)) end();
  }

 private:
  std::vector<std::function<void()>> endings_;
};

class ScopedFakeSoundPlayer {
 public:
  ScopedFakeSoundPlayer() {
    auto fake = std::make_unique<FakeSoundPlayer>();
    fake_ = fake.get();
    previous_ = desktop::SoundPlayerSlot::Set(std::move(fake));
  }
  ~ScopedFakeSoundPlayer() { desktop::SoundPlayerSlot::Set(std::move(previous_)); }
  FakeSoundPlayer* operator->() { return fake_; }

 private:
  FakeSoundPlayer* fake_;
  std::unique_ptr<desktop::SoundPlayer> previous_;
};

}  // namespace fakes
