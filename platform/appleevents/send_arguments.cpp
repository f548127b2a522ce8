#include "platform/appleevents/send_arguments.h"

#include <charconv>
#include <cmath>
#include <map>

#include "platform/appleevents/coercion.h"

namespace appleevents {
namespace {

bool ParseCode(const std::string& s, values::FourCharCode& out) {
  if (s.size() != 4) return false;
  out = values::FourCCFromBytes(static_cast<unsigned char>(s[0]), static_cast<unsigned char>(s[1]),
                                static_cast<unsigned char>(s[2]), static_cast<unsigned char>(s[3]));
  return true;
}

// The value as the named type; the text goes through the same coercions a handler's
// read would, so "12" as magn is the number 12 and "x" as magn is refused here.
bool MakeValue(const std::string& type, const std::string& value, Descriptor& out) {
  static const std::map<std::string, DescType> kTypes = {
      {"TEXT", types::kText},   {"utf8", types::kUtf8},   {"magn", types::kUInt32},  {"long", types::kSInt32},
      {"shor", types::kSInt16}, {"comp", types::kSInt64}, {"bool", types::kBoolean}, {"fsrf", types::kFSRef},
  };
  auto it = kTypes.find(type);
  if (it == kTypes.end()) return false;
  if (it->second == types::kFSRef) {
    // The path as given: the receiver, not the sender, decides whether it exists.
    if (value.empty() || value.front() != '/') return false;
    out = Descriptor::FileRef(value);
    return true;
  }
  if (it->second == types::kBoolean) {
    if (value == "true" || value == "1")
      out = Descriptor::Boolean(true);
    else if (value == "false" || value == "0")
      out = Descriptor::Boolean(false);
    else
      return false;
    return true;
  }
  return Coerce(Descriptor::Utf8(value), it->second, out) == kNoErr;
}

}  // namespace

SendCommand ParseSendArguments(const std::vector<std::string>& args, std::string& error) {
  SendCommand cmd;
  error.clear();
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    if (args[i] == "--launch") {
      cmd.launch = true;
    } else if (args[i] == "--timeout") {
      double seconds = 0;
      if (i + 1 >= args.size()) {
        error = "--timeout needs a number of seconds";
        return cmd;
      }
      const std::string& v = args[++i];
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
      if (ec != std::errc() || end != v.data() + v.size() || !(seconds > 0) || seconds > 86400) {
        error = "bad time-out: " + v;
        return cmd;
      }
      cmd.timeout = std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
    } else if (args[i] == "--") {
      ++i;
      break;
    } else {
      break;
    }
  }
  values::FourCharCode event_class = 0, event_id = 0;
  if (args.size() - i < 2) {
    error = "usage: truvane-send [--launch] [--timeout SECONDS] CLASS ID [KEY:TYPE=VALUE ...]";
    return cmd;
  }
  if (!ParseCode(args[i], event_class) || !ParseCode(args[i + 1], event_id)) {
    error = "the event class and id are four characters each: '" + args[i] + "' '" + args[i + 1] + "'";
    return cmd;
  }
  cmd.event = AppleEvent(event_class, event_id);
  std::map<AEKeyword, std::vector<Descriptor>> values_by_key;
  std::vector<AEKeyword> order;
  for (i += 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    // The key is the first four bytes, so a key may itself hold ':' or '='.
    AEKeyword key = 0;
    const auto eq = a.find('=', 5);
    if (a.size() < 6 || a[4] != ':' || eq == std::string::npos || !ParseCode(a.substr(0, 4), key)) {
      error = "a parameter is KEY:TYPE=VALUE: " + a;
      return cmd;
    }
    const std::string type = a.substr(5, eq - 5);
    Descriptor value;
    if (!MakeValue(type, a.substr(eq + 1), value)) {
      error = "not a " + type + " value: " + a;
      return cmd;
    }
    if (!values_by_key.count(key)) order.push_back(key);
    values_by_key[key].push_back(std::move(value));
  }
  for (AEKeyword key : order) {
    auto& list = values_by_key[key];
    cmd.event.PutParam(key, list.size() == 1 ? std::move(list.front()) : Descriptor::List(std::move(list)));
  }
  return cmd;
}

std::string FormatReplyValue(const Descriptor& value) {
  if (value.IsNull()) return {};
  if (value.IsList()) {
    std::string out;
    for (const auto& item : value.Items()) {
      std::string line = FormatReplyValue(item);
      out += line.empty() ? "\n" : line;
    }
    return out;
  }
  if (auto b = value.BoolValue()) return *b ? "true\n" : "false\n";
  std::string text;
  if (GetText(value, text) == kNoErr) return text + "\n";
  return DescribeDescriptor(value) + "\n";
}

}  // namespace appleevents
