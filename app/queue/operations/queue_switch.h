#pragma once
// The queue's on/off switch (the scheduler starts queued downloads only while it is on) and
// the upload queue's twin. A start asked for before the queue is loaded is only recorded;
// start-up honours it once the queue is ready.

namespace queue {

extern bool gQueueRunning;
extern bool gQueueStartPending;
// Set by every start; the main window's toggle clears it; the scripting suite's add-URL
// handler reads it.
extern bool gQueueRestartAllowed;
// Set by start-up once the launch events are taken.
extern bool gQueueReady;

extern bool gUploadQueueRunning;
extern bool gUploadQueueStartPending;
extern bool gUploadQueueReady;

inline constexpr const char kQueueStartedMessage[] = "Queue started";
inline constexpr const char kQueueStoppedMessage[] = "Queue stopped";

void StartQueue();
// With force, or with "Downloads stop with queue" on, the running downloads stop too and
// go back to the head of the queue when their tasks report the stop.
void StopQueue(bool force);
void StartUploadQueue();
// With stopRunning the running uploads go back into their waiting order.
void StopUploadQueue(bool stopRunning);

}  // namespace queue
