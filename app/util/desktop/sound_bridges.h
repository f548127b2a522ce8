#pragma once
// The finish sounds ("a download has finished", "the queue has finished") and the
// count of sounds still playing, which shut-down waits on.
//
// Each sound plays through the desktop's sound player. The player says when a sound has
// ended on a thread of its own; the end is handed to the main thread, where the count
// lives, so the count only changes there. When the count falls to 0 while the
// quit-after-sounds flag is set, the application event loop is told to quit: shut-down
// sets the flag after its main loop has returned, and runs the loop again while sounds
// still play, so the last sound is heard to its end.
//
// `PlayingSounds` holds that state; the free functions use the process's one instance.
// Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace util {

class PlayingSounds {
 public:
  // `quit` is called when the last sound ends after quitting was asked for.
  explicit PlayingSounds(std::function<void()> quit) : state_(std::make_shared<State>()) {
    state_->quit = std::move(quit);
  }

  // Plays the sound file when `enabled` and `path` is not empty; true when playing started.
  bool Play(bool enabled, const std::string& path);
  // The two finish sounds, by their user-defaults settings (see the free functions).
  bool PlayDownloadSound();
  bool PlayQueueSound();
  int Count() const { return state_->count; }
  void SetQuitAfterSounds() { state_->quit_after_sounds = true; }
  bool QuitAfterSounds() const { return state_->quit_after_sounds; }

 private:
  // Shared with the end callbacks of the sounds, so that a sound ending after its
  // PlayingSounds has gone finds nothing rather than freed memory.
  struct State {
    std::function<void()> quit;
    int count = 0;
    bool quit_after_sounds = false;
  };
  static void DidFinishPlaying(State& state);

  std::shared_ptr<State> state_;
};

// The process's sounds; the quit ends the application event loop.
PlayingSounds& GetPlayingSounds();

// The download-finished sound: "playsound1" and the path in "download sound".
bool PlayDownloadSound();
// The queue-finished sound: "playsoundall" and the path in "queue sound".
bool PlayQueueSound();
// Sounds still playing.
int GetPlayingSoundCount();
// Asks for the application event loop to end when the last playing sound ends.
void SetQuitAfterSounds();

}  // namespace util
