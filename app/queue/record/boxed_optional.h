#pragma once
// An optional value kept on the heap, for a large member that most records leave empty
// (a download's finished-file URL: a queue of a hundred thousand downloads would carry a
// quarter of a kilobyte each for it, nearly always unused). It reads like std::optional;
// copies copy the value.

#include <memory>
#include <optional>
#include <utility>

namespace queue {

template <class T>
class BoxedOptional {
 public:
  BoxedOptional() = default;
  BoxedOptional(std::nullopt_t) {}
  BoxedOptional(const T& value) : box_(std::make_unique<T>(value)) {}
  BoxedOptional(T&& value) : box_(std::make_unique<T>(std::move(value))) {}
  BoxedOptional(std::optional<T> value) {
    if (value) box_ = std::make_unique<T>(std::move(*value));
  }
  BoxedOptional(const BoxedOptional& other) : box_(other.box_ ? std::make_unique<T>(*other.box_) : nullptr) {}
  BoxedOptional(BoxedOptional&&) noexcept = default;
  BoxedOptional& operator=(const BoxedOptional& other) {
    if (this != &other) box_ = other.box_ ? std::make_unique<T>(*other.box_) : nullptr;
    return *this;
  }
  BoxedOptional& operator=(BoxedOptional&&) noexcept = default;
  BoxedOptional& operator=(std::nullopt_t) {
    box_.reset();
    return *this;
  }

  bool has_value() const { return box_ != nullptr; }
  explicit operator bool() const { return has_value(); }
  const T& operator*() const { return *box_; }
  T& operator*() { return *box_; }
  const T* operator->() const { return box_.get(); }
  T* operator->() { return box_.get(); }
  void reset() { box_.reset(); }

 private:
  std::unique_ptr<T> box_;
};

}  // namespace queue
