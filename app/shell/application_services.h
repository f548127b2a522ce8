#pragma once
// The application's two services, offered to other programs: "addurl" adds a download for
// every line of a text (the selection in another program), "sendfile" sends files to the
// file-hosting service (a folder: every visible file below it).
//
// Here they arrive as the Apple event 'serv'/'perf' on the application's socket, which a
// desktop entry, a file-manager action or a shell script sends with truvane-send:
//   truvane-send --launch serv perf ----:TEXT=addurl "TEXT:utf8=$(xclip -o)"
//   truvane-send --launch serv perf ----:TEXT=sendfile file:fsrf=/path/a file:fsrf=/path/b
// The event handler turns it into the application's 'serv' 4 event, whose handler
// (PerformService) does the work on the main thread.
//
// The user's clipboard is left alone: the text comes with the request.

#include <string>
#include <vector>

#include "platform/appleevents/handler_table.h"
#include "platform/runtime/event.h"
#include "platform/runtime/status.h"

namespace shell {

inline constexpr values::FourCharCode kEventClassService = values::FourCC("serv");
inline constexpr std::uint32_t kEventServicePerform = 4;
inline constexpr values::FourCharCode kServiceMessageParam = values::FourCC("svmg");  // string
inline constexpr values::FourCharCode kServiceTextParam = values::FourCC("TEXT");     // string
inline constexpr values::FourCharCode kServiceFilesParam = values::FourCC("file");    // array of paths

// The lines of the text that become downloads: trimmed, longer than one character.
std::vector<std::string> ServiceURLLines(const std::string& text);

// 'serv' 4: noErr for "addurl"; "sendfile" and anything else answer eventNotHandledErr
// ("sendfile" after queuing its files).
runtime::Status PerformService(const runtime::Event& event);

// The Apple event 'serv'/'perf' that carries a service request to the running program.
void InstallServiceEventHandler(appleevents::HandlerTable& table);

}  // namespace shell
