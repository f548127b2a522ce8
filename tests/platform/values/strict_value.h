#pragma once
// Value equality that also compares number kinds and the exact bits of reals (NaN equals
// NaN, -0.0 differs from 0.0), for checking what survives a property-list round trip.

#include <bit>
#include <cstdint>

#include "platform/values/value.h"

namespace testsupport {

inline bool StrictEqual(const values::Value& a, const values::Value& b) {
  using values::Type;
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Type::kNumber: {
      const auto &x = *a.AsNumber(), &y = *b.AsNumber();
      if (x.kind != y.kind) return false;
      if (x.IsReal()) return std::bit_cast<std::uint64_t>(x.d) == std::bit_cast<std::uint64_t>(y.d);
      return x.i == y.i && x.u == y.u;
    }
    case Type::kDate:
      return std::bit_cast<std::uint64_t>(a.AsDate()->seconds) ==
             std::bit_cast<std::uint64_t>(b.AsDate()->seconds);
    case Type::kArray:
    case Type::kSet: {
      const auto& x = a.IsArray() ? *a.AsArray() : a.AsSet()->members;
      const auto& y = b.IsArray() ? *b.AsArray() : b.AsSet()->members;
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) {
        if (!StrictEqual(x[i], y[i])) return false;
      }
      return true;
    }
    case Type::kDictionary: {
      const auto &x = *a.AsDictionary(), &y = *b.AsDictionary();
      if (x.size() != y.size()) return false;
      for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
        if (i->first != j->first || !StrictEqual(i->second, j->second)) return false;
      }
      return true;
    }
    default:
      return a == b;
  }
}

}  // namespace testsupport
