#include "platform/values/plist_binary.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/values/plist_text.h"

namespace values {

namespace {

constexpr std::size_t kTrailerSize = 32;

// Object markers (high nibble).
enum Marker : std::uint8_t {
  kMarkerSimple = 0x0,  // 0x00 null, 0x08 false, 0x09 true
  kMarkerInt = 0x1,
  kMarkerReal = 0x2,
  kMarkerDate = 0x3,
  kMarkerData = 0x4,
  kMarkerAscii = 0x5,
  kMarkerUtf16 = 0x6,
  kMarkerUid = 0x8,
  kMarkerArray = 0xA,
  kMarkerSet = 0xC,
  kMarkerDict = 0xD,
};

// Bytes needed for an unsigned value, as 1, 2, 4 or 8.
int WidthFor(std::uint64_t v) {
  if (v <= 0xFF) return 1;
  if (v <= 0xFFFF) return 2;
  if (v <= 0xFFFFFFFF) return 4;
  return 8;
}

void AppendBigEndian(Bytes& out, std::uint64_t v, int width) {
  for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint64_t ReadBigEndian(const std::uint8_t* p, int width) {
  std::uint64_t v = 0;
  for (int i = 0; i < width; ++i) v = (v << 8) | p[i];
  return v;
}

// ---- Writer ----

class BinaryWriter {
 public:
  std::string error;

  // Adds `v` and everything under it; returns its object number.
  std::optional<std::uint64_t> Add(const Value& v, int depth) {
    if (depth > kMaxPlistDepth)
      return Fail("nesting deeper than " + std::to_string(kMaxPlistDepth) + " levels");
    switch (v.type()) {
      case Type::kNull:
        return Fail("null cannot be stored in a property list");
      case Type::kBool:
        return AddScalar({static_cast<std::uint8_t>(*v.AsBool() ? 0x09 : 0x08)});
      case Type::kNumber:
        return AddScalar(EncodeNumber(*v.AsNumber()));
      case Type::kString: {
        auto encoded = EncodeString(*v.AsString());
        if (!encoded) return std::nullopt;
        return AddScalar(std::move(*encoded));
      }
      case Type::kDate: {
        Bytes b{static_cast<std::uint8_t>(kMarkerDate << 4 | 3)};
        AppendBigEndian(b, std::bit_cast<std::uint64_t>(v.AsDate()->seconds), 8);
        return AddScalar(std::move(b));
      }
      case Type::kData: {
        const Bytes& bytes = v.AsData()->bytes;
        Bytes b = Header(kMarkerData, bytes.size());
        b.insert(b.end(), bytes.begin(), bytes.end());
        return AddScalar(std::move(b));
      }
      case Type::kArray:
        return AddSequence(kMarkerArray, *v.AsArray(), depth);
      case Type::kSet:
        return AddSequence(kMarkerSet, v.AsSet()->members, depth);
      case Type::kDictionary: {
        if (auto uid = GetUid(v)) {
          Bytes b;
          const int width = WidthFor(*uid);
          b.push_back(static_cast<std::uint8_t>(kMarkerUid << 4 | (width - 1)));
          AppendBigEndian(b, *uid, width);
          return AddScalar(std::move(b));
        }
        return AddDictionary(*v.AsDictionary(), depth);
      }
    }
    return Fail("unknown value type");
  }

  Bytes Finish() {
    const std::uint64_t count = objects_.size();
    const int refWidth = WidthFor(count - 1);
    Bytes out(kBinaryPlistSignature.begin(), kBinaryPlistSignature.end());
    std::vector<std::uint64_t> offsets;
    offsets.reserve(objects_.size());
    for (const auto& object : objects_) {
      offsets.push_back(out.size());
      out.insert(out.end(), object.bytes.begin(), object.bytes.end());
      for (auto ref : object.refs) AppendBigEndian(out, ref, refWidth);
    }
    const std::uint64_t tableOffset = out.size();
    const int offsetWidth = WidthFor(offsets.empty() ? 0 : offsets.back());
    for (auto offset : offsets) AppendBigEndian(out, offset, offsetWidth);
    out.insert(out.end(), 6, 0);
    out.push_back(static_cast<std::uint8_t>(offsetWidth));
    out.push_back(static_cast<std::uint8_t>(refWidth));
    AppendBigEndian(out, count, 8);
    AppendBigEndian(out, 0, 8);  // the top object is always the first
    AppendBigEndian(out, tableOffset, 8);
    return out;
  }

 private:
  struct Object {
    Bytes bytes;  // the marker and everything up to the references
    std::vector<std::uint64_t> refs;
  };
  std::vector<Object> objects_;
  std::unordered_map<std::string, std::uint64_t> scalars_;  // encoded bytes -> object

  std::nullopt_t Fail(std::string message) {
    if (error.empty()) error = std::move(message);
    return std::nullopt;
  }

  std::uint64_t AddScalar(Bytes encoded) {
    std::string key(encoded.begin(), encoded.end());
    auto [it, added] = scalars_.try_emplace(std::move(key), objects_.size());
    if (added) objects_.push_back({std::move(encoded), {}});
    return it->second;
  }

  static Bytes Header(std::uint8_t marker, std::uint64_t count) {
    Bytes b;
    if (count < 15) {
      b.push_back(static_cast<std::uint8_t>(marker << 4 | count));
    } else {
      b.push_back(static_cast<std::uint8_t>(marker << 4 | 0xF));
      const int width = WidthFor(count);
      b.push_back(
          static_cast<std::uint8_t>(kMarkerInt << 4 | std::countr_zero(static_cast<unsigned>(width))));
      AppendBigEndian(b, count, width);
    }
    return b;
  }

  // Non-negative integers take the fewest of 1, 2, 4 or 8 bytes; negative ones 8 bytes
  // (two's complement); values above INT64_MAX 16 bytes, the upper half zero.
  static Bytes EncodeNumber(const Number& n) {
    Bytes b;
    switch (n.kind) {
      case Number::Kind::kFloat32:
        b.push_back(kMarkerReal << 4 | 2);
        AppendBigEndian(b, std::bit_cast<std::uint32_t>(static_cast<float>(n.d)), 4);
        return b;
      case Number::Kind::kFloat64:
        b.push_back(kMarkerReal << 4 | 3);
        AppendBigEndian(b, std::bit_cast<std::uint64_t>(n.d), 8);
        return b;
      case Number::Kind::kUInt64:
        b.push_back(kMarkerInt << 4 | 4);
        AppendBigEndian(b, 0, 8);
        AppendBigEndian(b, n.u, 8);
        return b;
      default: {
        const int width = n.i < 0 ? 8 : WidthFor(static_cast<std::uint64_t>(n.i));
        b.push_back(
            static_cast<std::uint8_t>(kMarkerInt << 4 | std::countr_zero(static_cast<unsigned>(width))));
        AppendBigEndian(b, static_cast<std::uint64_t>(n.i), width);
        return b;
      }
    }
  }

  // ASCII strings are stored as bytes, all others as UTF-16 big-endian.
  std::optional<Bytes> EncodeString(const std::string& s) {
    const bool ascii =
        std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
      Bytes b = Header(kMarkerAscii, s.size());
      b.insert(b.end(), s.begin(), s.end());
      return b;
    }
    auto units = plist_text::Utf8ToUtf16(s);
    if (!units) return Fail("string is not valid UTF-8");
    Bytes b = Header(kMarkerUtf16, units->size());
    for (char16_t unit : *units) AppendBigEndian(b, unit, 2);
    return b;
  }

  std::optional<std::uint64_t> AddSequence(std::uint8_t marker, const Array& items, int depth) {
    const std::uint64_t index = objects_.size();
    objects_.push_back({Header(marker, items.size()), {}});
    std::vector<std::uint64_t> refs;
    refs.reserve(items.size());
    for (const auto& item : items) {
      auto ref = Add(item, depth + 1);
      if (!ref) return std::nullopt;
      refs.push_back(*ref);
    }
    objects_[index].refs = std::move(refs);
    return index;
  }

  std::optional<std::uint64_t> AddDictionary(const Dictionary& dict, int depth) {
    const std::uint64_t index = objects_.size();
    objects_.push_back({Header(kMarkerDict, dict.size()), {}});
    std::vector<std::uint64_t> refs(dict.size() * 2);
    std::size_t i = 0;
    for (const auto& [key, value] : dict) {
      auto encodedKey = EncodeString(key);
      if (!encodedKey) return std::nullopt;
      refs[i] = AddScalar(std::move(*encodedKey));
      auto ref = Add(value, depth + 1);
      if (!ref) return std::nullopt;
      refs[dict.size() + i] = *ref;
      ++i;
    }
    objects_[index].refs = std::move(refs);
    return index;
  }
};

// ---- Reader ----

class BinaryReader {
 public:
  explicit BinaryReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::string error;

  std::optional<Value> Read() {
    if (data_.size() < kBinaryPlistSignature.size() + 1 + 1 + kTrailerSize) return Fail("file too short");
    if (std::memcmp(data_.data(), kBinaryPlistSignature.data(), kBinaryPlistSignature.size()) != 0) {
      return Fail("not a binary property list");
    }
    const std::uint8_t* trailer = data_.data() + data_.size() - kTrailerSize;
    offsetWidth_ = trailer[6];
    refWidth_ = trailer[7];
    count_ = ReadBigEndian(trailer + 8, 8);
    const std::uint64_t top = ReadBigEndian(trailer + 16, 8);
    tableOffset_ = ReadBigEndian(trailer + 24, 8);
    if (offsetWidth_ < 1 || offsetWidth_ > 8) return Fail("bad offset size in trailer");
    if (refWidth_ < 1 || refWidth_ > 8) return Fail("bad reference size in trailer");
    if (count_ == 0) return Fail("no objects");
    if (top >= count_) return Fail("top object out of range");
    const std::uint64_t tableSpace = data_.size() - kTrailerSize;
    if (tableOffset_ <= kBinaryPlistSignature.size() || tableOffset_ > tableSpace) {
      return Fail("offset table out of range");
    }
    if (count_ > (tableSpace - tableOffset_) / offsetWidth_)
      return Fail("offset table runs past the trailer");
    // count_ is now below the file size, so these are bounded by it.
    onPath_.assign(count_, false);
    visited_.assign(count_, false);
    revisitBudget_ = data_.size() * 4 + (1u << 16);
    return ReadObject(top, 1);
  }

 private:
  std::span<const std::uint8_t> data_;
  int offsetWidth_ = 0;
  int refWidth_ = 0;
  std::uint64_t count_ = 0;
  std::uint64_t tableOffset_ = 0;  // objects lie before it
  std::vector<bool> onPath_;       // containers being read, for cycle detection
  std::vector<bool> visited_;      // containers read at least once
  // References that containers read more than once may still add. Without sharing, the
  // values produced are bounded by the references in the file; a few shared containers
  // that refer to each other could otherwise demand 2^depth values.
  std::uint64_t revisitBudget_ = 0;

  std::nullopt_t Fail(std::string message) {
    if (error.empty()) error = std::move(message);
    return std::nullopt;
  }

  std::optional<Value> FailAt(std::uint64_t offset, const std::string& message) {
    return Fail(message + " (object at offset " + std::to_string(offset) + ")");
  }

  // Whether `length` bytes from `at` lie inside the object area.
  bool Fits(std::uint64_t at, std::uint64_t length) const {
    return at <= tableOffset_ && length <= tableOffset_ - at;
  }

  // A size or count: the low nibble, or when it is 15 an integer object that follows.
  bool ReadCount(std::uint64_t& at, std::uint8_t marker, std::uint64_t& count) {
    count = marker & 0x0F;
    if (count != 0x0F) return true;
    if (!Fits(at, 1)) return false;
    const std::uint8_t intMarker = data_[at];
    if (intMarker >> 4 != kMarkerInt || (intMarker & 0x0F) > 3) return false;
    const int width = 1 << (intMarker & 0x0F);
    if (!Fits(at + 1, static_cast<std::uint64_t>(width))) return false;
    count = ReadBigEndian(data_.data() + at + 1, width);
    at += 1 + width;
    return true;
  }

  std::optional<Value> ReadObject(std::uint64_t ref, int depth) {
    if (depth > kMaxPlistDepth)
      return Fail("nesting deeper than " + std::to_string(kMaxPlistDepth) + " levels");
    if (ref >= count_) return Fail("object reference out of range");
    const std::uint64_t offset =
        ReadBigEndian(data_.data() + tableOffset_ + ref * offsetWidth_, offsetWidth_);
    if (offset < kBinaryPlistSignature.size() || offset >= tableOffset_)
      return Fail("object offset out of range");

    const std::uint8_t marker = data_[offset];
    const std::uint8_t low = marker & 0x0F;
    std::uint64_t at = offset + 1;
    switch (marker >> 4) {
      case kMarkerSimple:
        if (marker == 0x00) return Value();
        if (marker == 0x08) return Value(false);
        if (marker == 0x09) return Value(true);
        return FailAt(offset, "unknown object marker");
      case kMarkerInt:
        return ReadInteger(offset, low);
      case kMarkerReal: {
        if (low != 2 && low != 3) return FailAt(offset, "bad real size");
        const int width = 1 << low;
        if (!Fits(at, static_cast<std::uint64_t>(width))) return FailAt(offset, "real runs past the objects");
        const std::uint64_t bits = ReadBigEndian(data_.data() + at, width);
        if (low == 2) return Value(Number::Float32(std::bit_cast<float>(static_cast<std::uint32_t>(bits))));
        return Value(Number::Float64(std::bit_cast<double>(bits)));
      }
      case kMarkerDate:
        if (low != 3) return FailAt(offset, "bad date size");
        if (!Fits(at, 8)) return FailAt(offset, "date runs past the objects");
        return Value(Date{std::bit_cast<double>(ReadBigEndian(data_.data() + at, 8))});
      case kMarkerData: {
        std::uint64_t length;
        if (!ReadCount(at, marker, length) || !Fits(at, length))
          return FailAt(offset, "data runs past the objects");
        return Value(Data{Bytes(data_.begin() + static_cast<std::ptrdiff_t>(at),
                                data_.begin() + static_cast<std::ptrdiff_t>(at + length))});
      }
      case kMarkerAscii: {
        std::uint64_t length;
        if (!ReadCount(at, marker, length) || !Fits(at, length))
          return FailAt(offset, "string runs past the objects");
        std::string s(reinterpret_cast<const char*>(data_.data() + at), length);
        for (char c : s) {
          if (static_cast<unsigned char>(c) >= 0x80)
            return FailAt(offset, "non-ASCII byte in an ASCII string");
        }
        return Value(std::move(s));
      }
      case kMarkerUtf16: {
        std::uint64_t length;
        if (!ReadCount(at, marker, length) || length > tableOffset_ / 2 || !Fits(at, length * 2)) {
          return FailAt(offset, "string runs past the objects");
        }
        std::u16string units(length, u'\0');
        for (std::uint64_t i = 0; i < length; ++i) {
          units[i] = static_cast<char16_t>(ReadBigEndian(data_.data() + at + 2 * i, 2));
        }
        return Value(plist_text::Utf16ToUtf8(units));
      }
      case kMarkerUid: {
        const int width = low + 1;
        if (width > 8 || !Fits(at, static_cast<std::uint64_t>(width))) return FailAt(offset, "bad UID");
        const std::uint64_t uid = ReadBigEndian(data_.data() + at, width);
        if (uid > std::numeric_limits<std::uint32_t>::max()) return FailAt(offset, "UID out of range");
        return MakeUid(static_cast<std::uint32_t>(uid));
      }
      case kMarkerArray:
      case kMarkerSet:
      case kMarkerDict:
        return ReadContainer(ref, offset, depth);
      default:
        return FailAt(offset, "unknown object marker");
    }
  }

  // 1, 2 and 4 bytes are unsigned, 8 bytes signed, 16 bytes signed 128-bit (only the
  // values that fit 64 bits, signed or unsigned, are accepted).
  std::optional<Value> ReadInteger(std::uint64_t offset, std::uint8_t low) {
    if (low > 4) return FailAt(offset, "bad integer size");
    const int width = 1 << low;
    if (!Fits(offset + 1, static_cast<std::uint64_t>(width)))
      return FailAt(offset, "integer runs past the objects");
    const std::uint8_t* p = data_.data() + offset + 1;
    if (width < 8) return Value(Number::Int64(static_cast<std::int64_t>(ReadBigEndian(p, width))));
    if (width == 8) return Value(Number::Int64(static_cast<std::int64_t>(ReadBigEndian(p, 8))));
    const std::uint64_t high = ReadBigEndian(p, 8), lowWord = ReadBigEndian(p + 8, 8);
    if (high == 0) return Value(Number::UInt64(lowWord));
    if (high == ~std::uint64_t{0} && (lowWord >> 63) != 0) {
      return Value(Number::Int64(static_cast<std::int64_t>(lowWord)));
    }
    return FailAt(offset, "integer beyond 64 bits");
  }

  std::optional<Value> ReadContainer(std::uint64_t ref, std::uint64_t offset, int depth) {
    const std::uint8_t marker = data_[offset];
    const bool dict = marker >> 4 == kMarkerDict;
    std::uint64_t at = offset + 1;
    std::uint64_t count;
    if (!ReadCount(at, marker, count)) return FailAt(offset, "bad count");
    const std::uint64_t refsPerEntry = dict ? 2 : 1;
    if (count > tableOffset_ / refsPerEntry / static_cast<std::uint64_t>(refWidth_) ||
        !Fits(at, count * refsPerEntry * static_cast<std::uint64_t>(refWidth_))) {
      return FailAt(offset, "references run past the objects");
    }
    if (onPath_[ref]) return FailAt(offset, "reference cycle");
    if (visited_[ref]) {
      const std::uint64_t cost = count * refsPerEntry + 1;
      if (cost > revisitBudget_) return Fail("shared references expand into too many values");
      revisitBudget_ -= cost;
    }
    visited_[ref] = true;
    onPath_[ref] = true;
    auto refAt = [&](std::uint64_t i) { return ReadBigEndian(data_.data() + at + i * refWidth_, refWidth_); };
    std::optional<Value> result;
    if (dict) {
      Dictionary entries;
      for (std::uint64_t i = 0; i < count; ++i) {
        auto key = ReadObject(refAt(i), depth + 1);
        if (!key) return std::nullopt;
        if (!key->IsString()) return FailAt(offset, "dictionary key is not a string");
        auto value = ReadObject(refAt(count + i), depth + 1);
        if (!value) return std::nullopt;
        entries.insert_or_assign(std::move(*key->AsString()), std::move(*value));
      }
      result = Value(std::move(entries));
    } else {
      const bool set = marker >> 4 == kMarkerSet;
      // Set members are told apart by reference, not by comparing values (quadratic in
      // a hostile file): a file that stores equal members as separate objects keeps them.
      std::unordered_set<std::uint64_t> seen;
      Array items;
      items.reserve(count);
      for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t itemRef = refAt(i);
        if (set && !seen.insert(itemRef).second) continue;
        auto item = ReadObject(itemRef, depth + 1);
        if (!item) return std::nullopt;
        items.push_back(std::move(*item));
      }
      if (set) {
        result = Value(Set{std::move(items)});
      } else {
        result = Value(std::move(items));
      }
    }
    onPath_[ref] = false;
    return result;
  }
};

}  // namespace

PlistResult<Bytes> WriteBinaryPropertyList(const Value& value) {
  BinaryWriter writer;
  if (!writer.Add(value, 1)) return PlistResult<Bytes>::Failure(std::move(writer.error));
  return writer.Finish();
}

PlistResult<Value> ReadBinaryPropertyList(std::span<const std::uint8_t> bytes) {
  BinaryReader reader(bytes);
  auto value = reader.Read();
  if (!value) return PlistResult<Value>::Failure("bad binary property list: " + reader.error);
  return std::move(*value);
}

}  // namespace values
