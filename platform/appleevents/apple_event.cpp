#include "platform/appleevents/apple_event.h"

#include "platform/appleevents/coercion.h"

namespace appleevents {

AppleEvent::AppleEvent(values::FourCharCode event_class, values::FourCharCode event_id)
    : class_(event_class), id_(event_id) {}

Status AppleEvent::GetParam(AEKeyword key, DescType desired, Descriptor& out) const {
  const Descriptor* d = params_.Find(key);
  if (!d) return kDescNotFound;
  return Coerce(*d, desired, out);
}

Status AppleEvent::GetAttribute(AEKeyword key, DescType desired, Descriptor& out) const {
  const Descriptor* d = attributes_.Find(key);
  if (!d) return kDescNotFound;
  return Coerce(*d, desired, out);
}

void AppleEvent::SetError(Status code, const std::string& message) {
  params_.Put(keys::kErrorNumber, Descriptor::SInt32(code));
  if (!message.empty()) params_.Put(keys::kErrorString, Descriptor::Text(message));
}

Status AppleEvent::ErrorNumber() const {
  Descriptor d;
  if (GetParam(keys::kErrorNumber, types::kSInt32, d) != kNoErr) return kNoErr;
  return static_cast<Status>(*d.IntegerValue());
}

std::string AppleEvent::ErrorString() const {
  Descriptor d;
  if (GetParam(keys::kErrorString, types::kUtf8, d) != kNoErr) return {};
  return d.data();
}

std::string DescribeEvent(const AppleEvent& event) {
  return "'" + values::FourCCString(event.event_class()) + "'/'" + values::FourCCString(event.event_id()) +
         "' " + DescribeDescriptor(event.Parameters());
}

}  // namespace appleevents
