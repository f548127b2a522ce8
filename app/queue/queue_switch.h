#pragma once
// The queue's on/off switch (the scheduler starts queued downloads only while it is on) and
// the upload queue's twin. A start asked for before the queue is loaded is only recorded;
// start-up honours it once the queue is ready.
//
// Minimal stand-in until the queue operations land: the flags and a start and stop that
// only flip them (no running download is stopped, nothing is shown). The queue's own
// switch replaces this header whole, with the same names.

namespace queue {

inline bool gQueueRunning = false;
inline bool gQueueStartPending = false;
// Set by every start; the main window's toggle clears it; the scripting suite's add-URL
// handler reads it.
inline bool gQueueRestartAllowed = false;
// Set by start-up once the launch events are taken.
inline bool gQueueReady = false;

inline bool gUploadQueueRunning = false;
inline bool gUploadQueueStartPending = false;
inline bool gUploadQueueReady = false;

inline void StartQueue() {
  gQueueRestartAllowed = true;
  if (!gQueueReady) {
    gQueueStartPending = true;
    return;
  }
  gQueueRunning = true;
}
inline void StopQueue(bool /*force*/) {
  gQueueRunning = false;
}
inline void StartUploadQueue() {
  if (!gUploadQueueReady) {
    gUploadQueueStartPending = true;
    return;
  }
  gUploadQueueRunning = true;
}
inline void StopUploadQueue(bool /*stopRunning*/) {
  gUploadQueueRunning = false;
}

}  // namespace queue
