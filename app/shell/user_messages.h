#pragma once
// Where the queue's messages and log lines go in the running program.
//
// A message for the user (the queue's `showMessage`: a refused URL, a download that is
// still active, a queue that cannot be cleared) is always written to the transfer log (by
// the queue, ShowQueueMessage) and shown in the message window when there is a display;
// headless, the log is where it is found. While an Apple event is handled, the messages it causes are also
// collected, so a handler that refuses its input can say why in its error reply ('errs') instead of an answer
// that only says "nothing was added".
//
// The queue's log lines (through the main list's `LogMessageToGlobalLog`) go to the
// engine's global log, in every mode: the global log hides passwords and keeps the file,
// where standard error would lose both.
//
// Main thread only.

#include <string>
#include <vector>

namespace shell {

// The queue's message window (the queue has logged the message): shown when a display is
// there; collected by the innermost MessageCapture, if any.
void ShowUserMessage(const std::string& text);

// Collects the messages shown while it lives (nested captures: the innermost one).
class MessageCapture {
 public:
  MessageCapture();
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  // The messages collected since the last call.
  std::vector<std::string> Take();

 private:
  friend void ShowUserMessage(const std::string& text);
  std::vector<std::string> messages_;
  MessageCapture* outer_;
};

// Start-up: installs the queue's message hook and the main list's log on the global log.
void InstallUserMessages();

}  // namespace shell
