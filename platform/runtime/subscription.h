#pragma once
// A registration that ends when its owner lets it go: an observer stays registered for
// as long as its `Subscription` lives (or until `Cancel`).

#include <functional>
#include <utility>

namespace runtime {

class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  ~Subscription() { Cancel(); }
  Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      Cancel();
      cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;

  void Cancel() {
    if (auto c = std::exchange(cancel_, nullptr)) c();
  }
  bool IsActive() const { return cancel_ != nullptr; }

 private:
  std::function<void()> cancel_;
};

}  // namespace runtime
