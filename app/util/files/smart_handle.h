#pragma once
// SmartHandle: an object that owns a copy of some bytes, for code that hands alias records
// and other byte blocks around by shared ownership (a browser node and the download it
// started both hold one). The bytes live as long as the last owner.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/values/value.h"

class SmartHandle {
 public:
  // A new shared object holding a copy of the bytes.
  static std::shared_ptr<SmartHandle> HandleWithPointer(const void* bytes, std::size_t length) {
    return std::make_shared<SmartHandle>(bytes, length);
  }

  // Copies the bytes (none when `bytes` is null).
  SmartHandle(const void* bytes, std::size_t length) {
    if (bytes && length) {
      data_.resize(length);
      std::memcpy(data_.data(), bytes, length);
    }
  }
  explicit SmartHandle(values::Bytes bytes) : data_(std::move(bytes)) {}

  const values::Bytes& Data() const { return data_; }

 private:
  values::Bytes data_;
};
