#include "app/util/desktop/sound_bridges.h"

#include <optional>
#include <string_view>

#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/desktop/sound_player.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/main_thread.h"

namespace util {

namespace {}  // namespace

bool PlayingSounds::Play(bool enabled, const std::string& path) {
  if (!enabled || path.empty()) return false;
  // The end may be told on the player's thread before Play returns; handing it to the
  // main thread keeps the count's rise ahead of its fall.
  std::weak_ptr<State> weak = state_;
  const bool started = desktop::SoundPlayerSlot::Get().Play(path, [weak] {
    runtime::PerformOnMainThread([weak] {
      if (std::shared_ptr<State> state = weak.lock()) DidFinishPlaying(*state);
    });
  });
  if (started) ++state_->count;
  return started;
}

void PlayingSounds::DidFinishPlaying(State& state) {
  if (state.count > 0) --state.count;
  if (state.count == 0 && state.quit_after_sounds && state.quit) state.quit();
}

bool PlayingSounds::PlayDownloadSound() {
  return Play(ReadSetting(kPlayDownloadSoundKey), ReadSetting(kDownloadSoundKey));
}

bool PlayingSounds::PlayQueueSound() {
  return Play(ReadSetting(kPlayQueueSoundKey), ReadSetting(kQueueSoundKey));
}

PlayingSounds& GetPlayingSounds() {
  static PlayingSounds sounds([] { runtime::QuitApplicationEventLoop(); });
  return sounds;
}

bool PlayDownloadSound() {
  return GetPlayingSounds().PlayDownloadSound();
}

bool PlayQueueSound() {
  return GetPlayingSounds().PlayQueueSound();
}

int GetPlayingSoundCount() {
  return GetPlayingSounds().Count();
}

void SetQuitAfterSounds() {
  GetPlayingSounds().SetQuitAfterSounds();
}

}  // namespace util
