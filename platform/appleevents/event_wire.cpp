#include "platform/appleevents/event_wire.h"

namespace appleevents {
namespace {

constexpr std::string_view kMagic = "TRAE";
constexpr unsigned char kVersion = 1;
constexpr unsigned char kShapeScalar = 0, kShapeList = 1, kShapeRecord = 2;
// The smallest encoded descriptor: type, shape and a zero length or count.
constexpr std::size_t kMinDescriptorBytes = 9;

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutDescriptor(std::string& out, const Descriptor& d) {
  PutU32(out, d.type());
  if (d.IsList()) {
    out.push_back(static_cast<char>(kShapeList));
    PutU32(out, static_cast<std::uint32_t>(d.Items().size()));
    for (const auto& item : d.Items()) PutDescriptor(out, item);
  } else if (d.IsRecord()) {
    out.push_back(static_cast<char>(kShapeRecord));
    PutU32(out, static_cast<std::uint32_t>(d.Fields().size()));
    for (const auto& [key, value] : d.Fields()) {
      PutU32(out, key);
      PutDescriptor(out, value);
    }
  } else {
    out.push_back(static_cast<char>(kShapeScalar));
    PutU32(out, static_cast<std::uint32_t>(d.data().size()));
    out += d.data();
  }
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t Remaining() const { return bytes_.size() - pos_; }
  bool AtEnd() const { return pos_ == bytes_.size(); }

  bool U8(unsigned char& v) {
    if (Remaining() < 1) return false;
    v = static_cast<unsigned char>(bytes_[pos_++]);
    return true;
  }
  bool U32(std::uint32_t& v) {
    if (Remaining() < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes_[pos_++]);
    return true;
  }
  bool Bytes(std::size_t n, std::string_view& v) {
    if (Remaining() < n) return false;
    v = bytes_.substr(pos_, n);
    pos_ += n;
    return true;
  }

  Status Descriptor(appleevents::Descriptor& out, int depth) {
    if (depth > kMaxNesting) return kMessageTooLarge;
    std::uint32_t type = 0, n = 0;
    unsigned char shape = 0;
    if (!U32(type) || !U8(shape) || !U32(n)) return kCorruptData;
    switch (shape) {
      case kShapeScalar: {
        std::string_view data;
        if (!Bytes(n, data)) return kCorruptData;
        out = appleevents::Descriptor::FromData(type, std::string(data));
        return kNoErr;
      }
      case kShapeList: {
        // Checked before the loop, so a forged count costs nothing.
        if (n > Remaining() / kMinDescriptorBytes) return kCorruptData;
        out = appleevents::Descriptor::List();
        for (std::uint32_t i = 0; i < n; ++i) {
          appleevents::Descriptor item;
          if (Status s = Descriptor(item, depth + 1); s != kNoErr) return s;
          out.Append(std::move(item));
        }
        // A list keeps its own type word only as 'list'.
        if (type != types::kList) return kCorruptData;
        return kNoErr;
      }
      case kShapeRecord: {
        if (n > kMaxRecordFields) return kMessageTooLarge;
        if (n > Remaining() / (kMinDescriptorBytes + 4)) return kCorruptData;
        out = appleevents::Descriptor::Record(type);
        for (std::uint32_t i = 0; i < n; ++i) {
          std::uint32_t key = 0;
          if (!U32(key)) return kCorruptData;
          appleevents::Descriptor value;
          if (Status s = Descriptor(value, depth + 1); s != kNoErr) return s;
          if (out.Find(key)) return kCorruptData;  // one value per keyword
          out.Put(key, std::move(value));
        }
        return kNoErr;
      }
      default:
        return kCorruptData;
    }
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string EncodeDescriptor(const Descriptor& desc) {
  std::string out;
  PutDescriptor(out, desc);
  return out;
}

Status DecodeDescriptor(std::string_view bytes, Descriptor& out) {
  if (bytes.size() > kMaxMessageBytes) return kMessageTooLarge;
  Reader r(bytes);
  if (Status s = r.Descriptor(out, 0); s != kNoErr) return s;
  return r.AtEnd() ? kNoErr : kCorruptData;
}

std::string EncodeEvent(const AppleEvent& event, bool wants_reply) {
  std::string out(kMagic);
  out.push_back(static_cast<char>(kVersion));
  out.push_back(static_cast<char>(wants_reply ? 1 : 0));
  PutU32(out, event.event_class());
  PutU32(out, event.event_id());
  PutDescriptor(out, event.Attributes());
  PutDescriptor(out, event.Parameters());
  return out;
}

Status DecodeEvent(std::string_view bytes, WireEvent& out) {
  if (bytes.size() > kMaxMessageBytes) return kMessageTooLarge;
  Reader r(bytes);
  std::string_view magic;
  unsigned char version = 0, flags = 0;
  std::uint32_t event_class = 0, event_id = 0;
  if (!r.Bytes(4, magic) || magic != kMagic || !r.U8(version) || version != kVersion || !r.U8(flags) ||
      !r.U32(event_class) || !r.U32(event_id)) {
    return kCorruptData;
  }
  Descriptor attributes, params;
  if (Status s = r.Descriptor(attributes, 1); s != kNoErr) return s;
  if (Status s = r.Descriptor(params, 1); s != kNoErr) return s;
  if (!r.AtEnd() || !attributes.IsRecord() || !params.IsRecord()) return kCorruptData;
  AppleEvent event(event_class, event_id);
  for (auto& [key, value] : attributes.Fields()) event.PutAttribute(key, value);
  for (auto& [key, value] : params.Fields()) event.PutParam(key, value);
  out.event = std::move(event);
  out.wants_reply = (flags & 1) != 0;
  return kNoErr;
}

std::string FrameMessage(std::string_view message) {
  std::string out;
  out.reserve(message.size() + 4);
  PutU32(out, static_cast<std::uint32_t>(message.size()));
  out += message;
  return out;
}

Status DecodeFrame(std::string_view received, std::size_t& used, WireEvent& out) {
  used = 0;
  if (received.size() < 4) return kNoErr;
  std::uint32_t len = 0;
  for (int i = 0; i < 4; ++i) len = (len << 8) | static_cast<unsigned char>(received[i]);
  // Refused before the body arrives, so a lying length never makes us buffer it.
  if (len > kMaxMessageBytes) return kMessageTooLarge;
  if (received.size() - 4 < std::size_t{len}) return kNoErr;
  if (Status s = DecodeEvent(received.substr(4, len), out); s != kNoErr) return s;
  used = 4 + std::size_t{len};
  return kNoErr;
}

}  // namespace appleevents
