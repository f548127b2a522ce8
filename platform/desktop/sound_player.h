#pragma once
// Playing a sound file, with word when it has finished.
//
// The Linux default plays through the first player program it finds on PATH (paplay,
// pw-play, aplay), started without a shell. A file that cannot be read, or a machine with
// no player, plays nothing and says so. The finish callback comes on a thread of the
// player's; callers hand it on to the thread they need.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace desktop {

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // True when playing started; `on_finished` is then called exactly once.
  virtual bool Play(const std::string& path, std::function<void()> on_finished) = 0;
};

class CommandSoundPlayer : public SoundPlayer {
 public:
  // Candidate player programs, tried in order; each is run as `program <path>`.
  explicit CommandSoundPlayer(std::vector<std::string> programs = {"paplay", "pw-play", "aplay"});
  bool Play(const std::string& path, std::function<void()> on_finished) override;

 private:
  std::vector<std::string> programs_;
};

using SoundPlayerSlot = runtime::ServiceSlot<SoundPlayer, CommandSoundPlayer>;

}  // namespace desktop
