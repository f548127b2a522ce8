#include <gtest/gtest.h>

#include <limits>

#include "platform/appleevents/apple_event.h"
#include "platform/appleevents/coercion.h"
#include "platform/appleevents/event_wire.h"
#include "platform/appleevents/handler_table.h"
#include "tests/support/temp_home.h"

namespace appleevents {
namespace {

using values::FourCC;

Descriptor Nested(int depth) {
  Descriptor d = Descriptor::SInt32(1);
  for (int i = 0; i < depth; ++i) d = Descriptor::List({d});
  return d;
}

TEST(DescriptorWire, EveryTypeRoundTrips) {
  Descriptor record = Descriptor::Record();
  record.Put(FourCC("name"), Descriptor::Utf8("Zoë"));
  record.Put(FourCC("size"), Descriptor::SInt64(-5));
  const Descriptor cases[] = {
      Descriptor(),
      Descriptor::Text("a\r\nb"),
      Descriptor::Utf8("日本"),
      Descriptor::UInt32(0xFFFFFFFFu),
      Descriptor::SInt32(-2),
      Descriptor::SInt16(-32768),
      Descriptor::SInt64(std::numeric_limits<std::int64_t>::min()),
      Descriptor::Float64(0.25),
      Descriptor::Boolean(true),
      Descriptor::FromData(types::kTrue, ""),
      Descriptor::FileRef("/tmp/a b"),
      Descriptor::FromData(types::kFileURL, "file:///tmp/a%20b"),
      Descriptor::TypeCode(FourCC("AEq ")),
      Descriptor::TypeCode(FourCC("yes "), types::kEnumerated),
      Descriptor::List({Descriptor::UInt32(1), Descriptor::Text("2"), Descriptor::List()}),
      record,
      Descriptor::FromData(FourCC("\xA9x y"), std::string("\0\1", 2)),
  };
  for (const auto& d : cases) {
    Descriptor back;
    ASSERT_EQ(DecodeDescriptor(EncodeDescriptor(d), back), kNoErr) << DescribeDescriptor(d);
    EXPECT_EQ(back, d) << DescribeDescriptor(d) << " came back as " << DescribeDescriptor(back);
  }
}

TEST(DescriptorWire, EventRoundTripsWithFlags) {
  AppleEvent event(FourCC("TrES"), FourCC("AUrl"));
  event.PutParam(keys::kDirectObject,
                 Descriptor::List({Descriptor::Text("http://a/"), Descriptor::Text("ftp://b/")}));
  event.PutParam(FourCC("Stqu"), Descriptor::Boolean(false));
  event.PutAttribute(keys::kReturnID, Descriptor::SInt32(7));
  for (bool wants_reply : {true, false}) {
    WireEvent back;
    ASSERT_EQ(DecodeEvent(EncodeEvent(event, wants_reply), back), kNoErr);
    EXPECT_EQ(back.event, event);
    EXPECT_EQ(back.wants_reply, wants_reply);
  }
}

TEST(DescriptorWire, HostileInputIsRefused) {
  AppleEvent event(FourCC("TrES"), FourCC("GSta"));
  event.PutParam(keys::kDirectObject, Descriptor::List({Descriptor::Text("x"), Descriptor::UInt32(3)}));
  const std::string good = EncodeEvent(event);
  // Every cut of a good message is corrupt, never a crash or a partial event.
  for (std::size_t n = 0; n < good.size(); ++n) {
    WireEvent out;
    EXPECT_EQ(DecodeEvent(std::string_view(good).substr(0, n), out), kCorruptData) << "cut at " << n;
  }
  WireEvent out;
  EXPECT_EQ(DecodeEvent(good + "x", out), kCorruptData);
  EXPECT_EQ(DecodeEvent("XXXX" + good.substr(4), out), kCorruptData);

  // A forged count or length larger than the message.
  std::string forged_list = EncodeDescriptor(Descriptor::List());
  forged_list.replace(5, 4, "\x7F\xFF\xFF\xFF", 4);
  Descriptor d;
  EXPECT_EQ(DecodeDescriptor(forged_list, d), kCorruptData);
  std::string forged_text = EncodeDescriptor(Descriptor::Text("abc"));
  forged_text.replace(5, 4, "\xFF\xFF\xFF\xFF", 4);
  EXPECT_EQ(DecodeDescriptor(forged_text, d), kCorruptData);
  EXPECT_EQ(DecodeDescriptor(std::string("TEXT\x07", 5) + std::string(4, '\0'), d),
            kCorruptData);  // bad shape

  // Nesting: the limit itself decodes, one more is refused.
  EXPECT_EQ(DecodeDescriptor(EncodeDescriptor(Nested(kMaxNesting)), d), kNoErr);
  EXPECT_EQ(DecodeDescriptor(EncodeDescriptor(Nested(kMaxNesting + 1)), d), kMessageTooLarge);
  std::string deep;  // written by hand: building it as descriptors would copy quadratically
  for (int i = 0; i < 100000; ++i) deep += std::string("list\x01\x00\x00\x00\x01", 9);
  deep += EncodeDescriptor(Descriptor());
  EXPECT_EQ(DecodeDescriptor(deep, d), kMessageTooLarge);

  EXPECT_EQ(DecodeDescriptor(std::string(kMaxMessageBytes + 1, '\0'), d), kMessageTooLarge);
  Descriptor wide = Descriptor::Record();
  for (std::uint32_t k = 0; k <= kMaxRecordFields; ++k) wide.Put(k, Descriptor());
  EXPECT_EQ(DecodeDescriptor(EncodeDescriptor(wide), d), kMessageTooLarge);
}

struct CoercionCase {
  const char* name;
  Descriptor from;
  DescType to;
  Status status;
  Descriptor expected;
};

TEST(Coercion, Table) {
  const std::string here = testsupport::MakeTempDir("coerce");
  const CoercionCase cases[] = {
      {"magn to TEXT is decimal", Descriptor::UInt32(4000000000u), types::kText, kNoErr,
       Descriptor::Text("4000000000")},
      {"long to utf8", Descriptor::SInt32(-42), types::kUtf8, kNoErr, Descriptor::Utf8("-42")},
      {"shor widens to long", Descriptor::SInt16(-3), types::kSInt32, kNoErr, Descriptor::SInt32(-3)},
      {"long fits shor", Descriptor::SInt32(32767), types::kSInt16, kNoErr, Descriptor::SInt16(32767)},
      {"long too big for shor", Descriptor::SInt32(32768), types::kSInt16, kCoercionFail, {}},
      {"negative never magn", Descriptor::SInt32(-1), types::kUInt32, kCoercionFail, {}},
      {"magn to comp", Descriptor::UInt32(0xFFFFFFFFu), types::kSInt64, kNoErr,
       Descriptor::SInt64(0xFFFFFFFFLL)},
      {"comp too big for magn", Descriptor::SInt64(1LL << 32), types::kUInt32, kCoercionFail, {}},
      {"comp to long", Descriptor::SInt64(-4), types::kSInt32, kNoErr, Descriptor::SInt32(-4)},
      {"whole doub to long", Descriptor::Float64(3.0), types::kSInt32, kNoErr, Descriptor::SInt32(3)},
      {"fractional doub not long", Descriptor::Float64(2.5), types::kSInt32, kCoercionFail, {}},
      {"doub to text", Descriptor::Float64(0.5), types::kText, kNoErr, Descriptor::Text("0.5")},
      {"text to magn", Descriptor::Text(" 17 "), types::kUInt32, kNoErr, Descriptor::UInt32(17)},
      {"text to doub", Descriptor::Text("1.5"), types::kFloat64, kNoErr, Descriptor::Float64(1.5)},
      {"word is no number", Descriptor::Text("12ab"), types::kSInt32, kCoercionFail, {}},
      {"empty is no number", Descriptor::Text(""), types::kSInt32, kCoercionFail, {}},
      {"TEXT to utf8 keeps bytes", Descriptor::Text("é"), types::kUtf8, kNoErr, Descriptor::Utf8("é")},
      {"utf8 to TEXT keeps bytes", Descriptor::Utf8("é"), types::kText, kNoErr, Descriptor::Text("é")},
      {"true to bool", Descriptor::FromData(types::kTrue, ""), types::kBoolean, kNoErr,
       Descriptor::Boolean(true)},
      {"bool to fals", Descriptor::Boolean(false), types::kFalse, kNoErr,
       Descriptor::FromData(types::kFalse, "")},
      {"bool to long", Descriptor::Boolean(true), types::kSInt32, kNoErr, Descriptor::SInt32(1)},
      {"long 0 to bool", Descriptor::SInt32(0), types::kBoolean, kNoErr, Descriptor::Boolean(false)},
      {"long 2 not bool", Descriptor::SInt32(2), types::kBoolean, kCoercionFail, {}},
      {"fsrf to TEXT is the path", Descriptor::FileRef(here), types::kText, kNoErr, Descriptor::Text(here)},
      {"existing path to fsrf", Descriptor::Text(here), types::kFSRef, kNoErr, Descriptor::FileRef(here)},
      {"missing path not fsrf", Descriptor::Text(here + "/none"), types::kFSRef, kFileNotFoundErr, {}},
      {"relative path not fsrf", Descriptor::Text("a/b"), types::kFSRef, kCoercionFail, {}},
      {"fsrf to furl", Descriptor::FileRef(here), types::kFileURL, kNoErr,
       Descriptor::FromData(types::kFileURL, "file://" + here + "/")},
      {"furl to fsrf", Descriptor::FromData(types::kFileURL, "file://" + here), types::kFSRef, kNoErr,
       Descriptor::FileRef(here)},
      {"type to enum", Descriptor::TypeCode(FourCC("AEq ")), types::kEnumerated, kNoErr,
       Descriptor::TypeCode(FourCC("AEq "), types::kEnumerated)},
      {"type to TEXT", Descriptor::TypeCode(FourCC("AEq ")), types::kText, kNoErr, Descriptor::Text("AEq ")},
      {"item to list", Descriptor::UInt32(5), types::kList, kNoErr,
       Descriptor::List({Descriptor::UInt32(5)})},
      {"one-item list to its item's type", Descriptor::List({Descriptor::UInt32(5)}), types::kText, kNoErr,
       Descriptor::Text("5")},
      {"two-item list no scalar",
       Descriptor::List({Descriptor::UInt32(5), Descriptor::UInt32(6)}),
       types::kUInt32,
       kCoercionFail,
       {}},
      {"null no text", Descriptor(), types::kText, kCoercionFail, {}},
      {"record no list", Descriptor::Record(), types::kList, kCoercionFail, {}},
      {"text no record", Descriptor::Text("x"), types::kRecord, kCoercionFail, {}},
      {"wild card takes as is", Descriptor::SInt16(9), types::kWildCard, kNoErr, Descriptor::SInt16(9)},
      {"short data is no number",
       Descriptor::FromData(types::kSInt32, "ab"),
       types::kText,
       kCoercionFail,
       {}},
  };
  for (const auto& c : cases) {
    Descriptor out;
    EXPECT_EQ(Coerce(c.from, c.to, out), c.status) << c.name;
    if (c.status == kNoErr) {
      EXPECT_EQ(out, c.expected) << c.name << ": " << DescribeDescriptor(out);
    }
  }
}

TEST(AppleEventParams, MissingAndUncoercibleParametersAreTold) {
  AppleEvent event(FourCC("TrES"), FourCC("JSta"));
  event.PutParam(keys::kDirectObject, Descriptor::Text("12"));
  event.PutParam(FourCC("Host"), Descriptor::Text("abc"));
  Descriptor out;
  EXPECT_EQ(event.GetParam(keys::kDirectObject, types::kUInt32, out), kNoErr);
  EXPECT_EQ(out, Descriptor::UInt32(12));
  EXPECT_EQ(event.GetParam(FourCC("Host"), types::kUInt32, out), kCoercionFail);
  EXPECT_EQ(event.GetParam(FourCC("Quid"), types::kUInt32, out), kDescNotFound);
  event.PutParam(keys::kDirectObject, Descriptor::UInt32(3));  // replaces
  EXPECT_EQ(event.Parameters().Count(), 2u);
}

TEST(HandlerTableDispatch, CallsTheHandlerAndReportsFailures) {
  HandlerTable table;
  table.Install(FourCC("TrES"), FourCC("GSta"), [](const AppleEvent&, AppleEvent& reply) {
    reply.PutParam(keys::kDirectObject, Descriptor::SInt16(2));
    return kNoErr;
  });
  table.Install(FourCC("TrES"), FourCC("Fail"), [](const AppleEvent&, AppleEvent&) { return kParamErr; });
  table.Install(FourCC("GURL"), types::kWildCard, [](const AppleEvent&, AppleEvent&) { return kNoErr; });

  AppleEvent reply = AppleEvent::MakeReply();
  EXPECT_EQ(table.Dispatch(AppleEvent(FourCC("TrES"), FourCC("GSta")), reply), kNoErr);
  EXPECT_EQ(*reply.Parameters().Find(keys::kDirectObject), Descriptor::SInt16(2));
  EXPECT_EQ(reply.ErrorNumber(), kNoErr);

  reply = AppleEvent::MakeReply();
  EXPECT_EQ(table.Dispatch(AppleEvent(FourCC("TrES"), FourCC("Fail")), reply), kParamErr);
  EXPECT_EQ(reply.ErrorNumber(), kParamErr);

  reply = AppleEvent::MakeReply();
  EXPECT_EQ(table.Dispatch(AppleEvent(FourCC("TrES"), FourCC("Nope")), reply), kEventNotHandled);
  EXPECT_EQ(reply.ErrorNumber(), kEventNotHandled);
  EXPECT_EQ(table.Dispatch(AppleEvent(FourCC("GURL"), FourCC("GURL")), reply), kNoErr);
  EXPECT_TRUE(table.Remove(FourCC("TrES"), FourCC("GSta")));
  EXPECT_EQ(table.Dispatch(AppleEvent(FourCC("TrES"), FourCC("GSta")), reply), kEventNotHandled);
}

}  // namespace
}  // namespace appleevents
