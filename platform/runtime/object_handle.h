#pragma once
// A shared reference to an object of any type that remembers the type, so that it can
// travel through untyped places (event parameters, notification objects) and be taken
// out only as what it is. Equality is identity.

#include <memory>
#include <typeinfo>

namespace runtime {

class ObjectHandle {
 public:
  ObjectHandle() = default;
  template <class T>
  static ObjectHandle Of(std::shared_ptr<T> object) {
    ObjectHandle h;
    h.type_ = object ? &typeid(T) : nullptr;
    h.object_ = std::const_pointer_cast<void>(std::static_pointer_cast<const void>(std::move(object)));
    return h;
  }

  // The object, or nullptr when the handle is empty or holds another type.
  template <class T>
  std::shared_ptr<T> As() const {
    if (!type_ || *type_ != typeid(T)) return nullptr;
    return std::static_pointer_cast<T>(object_);
  }
  template <class T>
  bool Holds() const {
    return type_ && *type_ == typeid(T);
  }

  bool IsEmpty() const { return !object_; }
  explicit operator bool() const { return object_ != nullptr; }
  const void* get() const { return object_.get(); }
  bool operator==(const ObjectHandle& other) const { return object_ == other.object_; }

 private:
  std::shared_ptr<void> object_;
  const std::type_info* type_ = nullptr;
};

}  // namespace runtime
