#include "platform/runtime/event.h"

#include <algorithm>
#include <type_traits>

#include "platform/runtime/event_target.h"

namespace runtime {

void Event::Set(FourCharCode code, EventParameter value) {
  for (auto& [c, v] : params_) {
    if (c == code) {
      v = std::move(value);
      return;
    }
  }
  params_.emplace_back(code, std::move(value));
}

void Event::SetPostTarget(std::shared_ptr<EventTarget> target) {
  SetObject(kParamPostTarget, std::move(target));
}

bool Event::Remove(FourCharCode code) {
  return std::erase_if(params_, [code](auto& p) { return p.first == code; }) > 0;
}

std::vector<FourCharCode> Event::ParameterCodes() const {
  std::vector<FourCharCode> codes;
  for (auto& [c, v] : params_) codes.push_back(c);
  return codes;
}

const EventParameter* Event::FindParameter(FourCharCode code) const {
  for (auto& [c, v] : params_) {
    if (c == code) return &v;
  }
  return nullptr;
}

std::optional<std::int64_t> Event::GetInteger(FourCharCode code) const {
  const EventParameter* p = FindParameter(code);
  if (!p) return std::nullopt;
  return std::visit(
      [](auto& v) -> std::optional<std::int64_t> {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_integral_v<T>) return static_cast<std::int64_t>(v);
        return std::nullopt;
      },
      *p);
}

std::optional<double> Event::GetReal(FourCharCode code) const {
  const EventParameter* p = FindParameter(code);
  if (!p) return std::nullopt;
  return std::visit(
      [](auto& v) -> std::optional<double> {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_arithmetic_v<T> && !std::is_same_v<T, bool>) return static_cast<double>(v);
        return std::nullopt;
      },
      *p);
}

std::shared_ptr<EventTarget> Event::GetPostTarget() const {
  return GetObject<EventTarget>(kParamPostTarget);
}

}  // namespace runtime
