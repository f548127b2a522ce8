#include "app/sharing/fileserver/file_server_events.h"

#include <utility>

#include "platform/runtime/event_queue.h"
#include "platform/runtime/event_target.h"

namespace sharing {

void PostFileServerEvent(runtime::EventRef event) {
  const std::uint32_t kind = event->kind();
  const bool low = event->event_class() == kFileServerEventClass &&
                   (kind == kFileServerSendEnded || kind == kFileServerReceptionEnded ||
                    kind == kFileServerReceptionProgress);
  event->SetPostTarget(runtime::EventTarget::Application());
  runtime::EventQueue::Main()->Post(std::move(event),
                                    low ? runtime::EventPriority::kLow : runtime::EventPriority::kStandard);
}

}  // namespace sharing
