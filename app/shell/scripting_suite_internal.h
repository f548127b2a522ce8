#pragma once
// Shared by the scripting suite's handler files.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/appleevents/apple_event.h"
#include "platform/appleevents/coercion.h"
#include "platform/appleevents/handler_table.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/values/fourcc.h"

namespace shell::scripting {

inline constexpr values::FourCharCode kSuiteClass = values::FourCC("TrES");
inline constexpr appleevents::AEKeyword kDirect = appleevents::keys::kDirectObject;

// The parameter as a uint32 through coercion; nothing when missing or not convertible.
std::optional<std::uint32_t> UInt32Param(const appleevents::AppleEvent& event, appleevents::AEKeyword key);
// A text from an event. A text holding a control character other than tab, line feed
// and carriage return is refused (nothing): no name, URL or cookie holds one, and kept it
// would reach a download's record and the queue file.
std::optional<std::string> TextOf(const appleevents::Descriptor& desc);
std::optional<std::string> TextParam(const appleevents::AppleEvent& event, appleevents::AEKeyword key);
std::optional<bool> BoolParam(const appleevents::AppleEvent& event, appleevents::AEKeyword key);

inline void Reply(appleevents::AppleEvent& reply, appleevents::Descriptor value) {
  reply.PutParam(kDirect, std::move(value));
}

// Queues every visible file below the folder for the file-hosting service.
files::Status EnqueueFolderForUpload(const files::FileRef& folder);

void InstallQueueHandlers(appleevents::HandlerTable& table);
void InstallHandOffHandlers(appleevents::HandlerTable& table);
void InstallSharingHandlers(appleevents::HandlerTable& table);

}  // namespace shell::scripting
