#pragma once
// An Apple event: an event class and id, keyword parameters ('----' is the direct
// parameter) and attributes (facts about the event rather than its arguments, such as
// the return id). A reply is an event of class 'aevt', id 'ansr', whose direct
// parameter carries the answer; a failed event puts its result code in 'errn' (long)
// and, when there is one, a message in 'errs' (TEXT).

#include <string>

#include "platform/appleevents/ae_status.h"
#include "platform/appleevents/descriptor.h"

namespace appleevents {

namespace keys {
inline constexpr AEKeyword kDirectObject = values::FourCC("----");
inline constexpr AEKeyword kErrorNumber = values::FourCC("errn");
inline constexpr AEKeyword kErrorString = values::FourCC("errs");
inline constexpr AEKeyword kReturnID = values::FourCC("rtid");
}  // namespace keys

inline constexpr values::FourCharCode kCoreEventClass = values::FourCC("aevt");
inline constexpr values::FourCharCode kAnswerEventID = values::FourCC("ansr");

class AppleEvent {
 public:
  AppleEvent() : AppleEvent(0, 0) {}
  AppleEvent(values::FourCharCode event_class, values::FourCharCode event_id);
  static AppleEvent MakeReply() { return AppleEvent(kCoreEventClass, kAnswerEventID); }

  values::FourCharCode event_class() const { return class_; }
  values::FourCharCode event_id() const { return id_; }

  const Descriptor& Parameters() const { return params_; }
  const Descriptor& Attributes() const { return attributes_; }
  bool HasParam(AEKeyword key) const { return params_.Find(key) != nullptr; }
  void PutParam(AEKeyword key, Descriptor value) { params_.Put(key, std::move(value)); }
  void PutAttribute(AEKeyword key, Descriptor value) { attributes_.Put(key, std::move(value)); }
  // kDescNotFound when missing; the coercion's result when it cannot be had as
  // `desired` ('****' takes it as it is).
  Status GetParam(AEKeyword key, DescType desired, Descriptor& out) const;
  Status GetAttribute(AEKeyword key, DescType desired, Descriptor& out) const;

  // Reply helpers: the result code in 'errn' (0 when none is there) and 'errs'.
  void SetError(Status code, const std::string& message = {});
  Status ErrorNumber() const;
  std::string ErrorString() const;

  friend bool operator==(const AppleEvent& a, const AppleEvent& b) = default;

 private:
  values::FourCharCode class_;
  values::FourCharCode id_;
  Descriptor params_ = Descriptor::Record();
  Descriptor attributes_ = Descriptor::Record();
};

std::string DescribeEvent(const AppleEvent& event);

}  // namespace appleevents
