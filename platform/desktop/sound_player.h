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

inline std::unique_ptr<SoundPlayer>& SoundPlayerSlot() {
  static std::unique_ptr<SoundPlayer> slot = std::make_unique<CommandSoundPlayer>();
  return slot;
}
inline SoundPlayer& GetSoundPlayer() {
  return *SoundPlayerSlot();
}
// Installs `player` (the command player when null) and returns the previous one.
inline std::unique_ptr<SoundPlayer> SetSoundPlayer(std::unique_ptr<SoundPlayer> player) {
  if (!player) player = std::make_unique<CommandSoundPlayer>();
  return std::exchange(SoundPlayerSlot(), std::move(player));
}

}  // namespace desktop
