#include "platform/desktop/sound_player.h"

#include <unistd.h>

#include "platform/desktop/process_launcher.h"

namespace desktop {

CommandSoundPlayer::CommandSoundPlayer(std::vector<std::string> programs) : programs_(std::move(programs)) {}

bool CommandSoundPlayer::Play(const std::string& path, std::function<void()> on_finished) {
  if (path.empty() || access(path.c_str(), R_OK) != 0) return false;
  for (const std::string& program : programs_) {
    if (!IsProgramOnPath(program)) continue;
    auto finished = std::move(on_finished);
    return LaunchDetached({program, path}, [finished = std::move(finished)](int) {
      if (finished) finished();
    });
  }
  return false;
}

}  // namespace desktop
