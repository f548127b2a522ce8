#include "app/util/sound_bridges.h"

#include "platform/desktop/sound_player.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/main_thread.h"

namespace util {

bool PlayingSounds::Play(bool enabled, const std::string& path) {
  if (!enabled || path.empty()) return false;
  // The end may be told on the player's thread before Play returns; handing it to the
  // main thread keeps the count's rise ahead of its fall.
  std::weak_ptr<State> weak = state_;
  const bool started = desktop::GetSoundPlayer().Play(path, [weak] {
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

PlayingSounds& GetPlayingSounds() {
  static PlayingSounds sounds([] { runtime::QuitApplicationEventLoop(); });
  return sounds;
}

int GetPlayingSoundCount() {
  return GetPlayingSounds().Count();
}

void SetQuitAfterSounds() {
  GetPlayingSounds().SetQuitAfterSounds();
}

}  // namespace util
