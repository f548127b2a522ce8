#pragma once
// Events: what threads send each other and what handlers receive. An event has a class
// and a kind (the class a four-character code such as 'TRDc', the kind a number within
// it), the up-time it was made at, and parameters keyed by four-character codes.
//
// A parameter keeps its exact C++ type: a 32-bit unsigned UID stays a uint32_t, a float
// stays a float, so the receiver reads what the sender meant. Exact reads (`Find<T>`,
// `Get<T>`, `GetParameter`) fail on another type; `GetInteger` and `GetReal` accept any
// numeric width for readers that only want the number. Strings are UTF-8; file
// references are paths; arrays, dictionaries and other property-list data are
// values::Value; objects (an event queue, an event target, a certificate) travel as
// typed shared handles.
//
// Events are shared (`EventRef`): posting hands one to another thread, which then owns
// the only reference. An event is not meant to be changed by two threads at once.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/runtime/clock.h"
#include "platform/runtime/object_handle.h"
#include "platform/runtime/status.h"
#include "platform/values/fourcc.h"
#include "platform/values/value.h"

namespace runtime {

using values::FourCharCode;

class EventTarget;

// A file or folder named by its path.
struct FileRef {
  std::string path;
  bool operator==(const FileRef&) const = default;
};

using EventParameter = std::variant<bool, std::int8_t, std::uint8_t, std::int16_t, std::uint16_t,
                                    std::int32_t, std::uint32_t, std::int64_t, std::uint64_t, float, double,
                                    std::string, values::Data, values::Value, FileRef, ObjectHandle>;

// The parameter that names the target a queued event is dispatched to.
inline constexpr FourCharCode kParamPostTarget = values::FourCC("ptrg");
// The parameter of a command's or a line of text's main datum.
inline constexpr FourCharCode kParamDirectObject = values::FourCC("----");

class Event {
 public:
  Event(FourCharCode event_class, std::uint32_t kind) : class_(event_class), kind_(kind), time_(UpTime()) {}
  static std::shared_ptr<Event> Create(FourCharCode event_class, std::uint32_t kind) {
    return std::make_shared<Event>(event_class, kind);
  }

  FourCharCode event_class() const { return class_; }
  std::uint32_t kind() const { return kind_; }
  Nanoseconds time() const { return time_; }
  bool Is(FourCharCode event_class, std::uint32_t kind) const {
    return class_ == event_class && kind_ == kind;
  }

  // Setting a parameter replaces one of the same code. The typed setters exist so that a
  // literal never lands in the wrong alternative (a "text" would otherwise become a bool).
  void Set(FourCharCode code, EventParameter value);
  void SetBool(FourCharCode code, bool v) { Set(code, v); }
  void SetInt16(FourCharCode code, std::int16_t v) { Set(code, v); }
  void SetInt32(FourCharCode code, std::int32_t v) { Set(code, v); }
  void SetUInt32(FourCharCode code, std::uint32_t v) { Set(code, v); }
  void SetInt64(FourCharCode code, std::int64_t v) { Set(code, v); }
  void SetFloat(FourCharCode code, float v) { Set(code, v); }
  void SetDouble(FourCharCode code, double v) { Set(code, v); }
  void SetString(FourCharCode code, std::string v) { Set(code, std::move(v)); }
  void SetData(FourCharCode code, values::Bytes v) { Set(code, values::Data{std::move(v)}); }
  void SetValue(FourCharCode code, values::Value v) { Set(code, std::move(v)); }
  void SetFileRef(FourCharCode code, std::string path) { Set(code, FileRef{std::move(path)}); }
  template <class T>
  void SetObject(FourCharCode code, std::shared_ptr<T> object) {
    Set(code, ObjectHandle::Of(std::move(object)));
  }
  void SetPostTarget(std::shared_ptr<EventTarget> target);

  bool Has(FourCharCode code) const { return FindParameter(code) != nullptr; }
  bool Remove(FourCharCode code);
  std::vector<FourCharCode> ParameterCodes() const;
  const EventParameter* FindParameter(FourCharCode code) const;

  // The parameter when it has exactly type T.
  template <class T>
  const T* Find(FourCharCode code) const {
    const EventParameter* p = FindParameter(code);
    return p ? std::get_if<T>(p) : nullptr;
  }
  template <class T>
  std::optional<T> Get(FourCharCode code) const {
    const T* p = Find<T>(code);
    return p ? std::optional<T>(*p) : std::nullopt;
  }
  // kEventParameterNotFoundErr when missing, kWrongParameterTypeErr when of another type.
  template <class T>
  Status GetParameter(FourCharCode code, T& out) const {
    const EventParameter* p = FindParameter(code);
    if (!p) return kEventParameterNotFoundErr;
    const T* v = std::get_if<T>(p);
    if (!v) return kWrongParameterTypeErr;
    out = *v;
    return kNoErr;
  }
  // Any integer or boolean parameter, widened.
  std::optional<std::int64_t> GetInteger(FourCharCode code) const;
  // Any numeric parameter, as a double.
  std::optional<double> GetReal(FourCharCode code) const;
  // The object when the parameter holds one of type T.
  template <class T>
  std::shared_ptr<T> GetObject(FourCharCode code) const {
    const ObjectHandle* h = Find<ObjectHandle>(code);
    return h ? h->As<T>() : nullptr;
  }
  std::shared_ptr<EventTarget> GetPostTarget() const;

 private:
  FourCharCode class_;
  std::uint32_t kind_;
  Nanoseconds time_;
  std::vector<std::pair<FourCharCode, EventParameter>> params_;
};

using EventRef = std::shared_ptr<Event>;

}  // namespace runtime
