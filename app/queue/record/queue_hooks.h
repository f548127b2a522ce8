#pragma once
// Calls the queue core makes into its own later pieces (smart folders, history, displayed
// views) and into the shell's message window. Each hook does nothing until its owner installs it at start-up,
// so the core runs - and is tested - without them; tests install recording ones.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/runtime/hook_slot.h"
#include "platform/values/url.h"

namespace queue {

struct QueueHooks {
  // A download's searchable attributes changed (DownloadAttributeChangeBits).
  std::function<void(const WrapperRef&, std::uint32_t bits)> noteElementChanged;
  // The download leaves its history day (the day loses its row when it is left empty).
  std::function<void(const WrapperRef&)> removeFromHistory;
  // The message window for a failure the user must see (the caller has logged it: use
  // ShowQueueMessage).
  std::function<void(const std::string& text)> showMessage;
  // The stored-password cipher. Without it, enciphered credentials can be neither written
  // nor read (as when the cipher's key is unavailable).
  std::function<std::optional<values::Bytes>(const std::string& plain)> encipherCredential;
  // Nothing when the value cannot be deciphered.
  std::function<std::optional<std::string>(const values::Bytes& enciphered)> decipherCredential;
  // Whether the cipher's key is lost for this run (none to be had, or made anew so that
  // nothing stored before deciphers): a load then reads no further credentials and says
  // so once, instead of leaving each value out on its own.
  std::function<bool()> storedPasswordKeyFailed;
  // Stores the credentials in the keychain for the URL's host (the URL's scheme and port
  // say which logins they serve).
  std::function<void(const values::Url& url, const std::string& user, const std::string& password)>
      storeCredentials;
};

using QueueHooksSlot = runtime::HookSlot<QueueHooks>;

// Logs a failure to the transfer log as an error and, unless the user chose the error log
// only, shows it in the message window.
void ReportQueueFailure(const std::string& text);

// Logs the message to the transfer log as an error and shows it in the message window:
// a message reaches the log even where no window can show it.
void ShowQueueMessage(const std::string& text);

}  // namespace queue
