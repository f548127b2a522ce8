#include "platform/values/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/values/date_time.h"

namespace values {
namespace {

struct FormatCase {
  const char* format;
  std::vector<FormatArg> args;  // literals and numbers only: FormatArg refers to its argument
  const char* expected;
};

void ExpectFormats(const std::vector<FormatCase>& cases) {
  for (const auto& c : cases) EXPECT_EQ(Format(c.format, c.args), c.expected) << "format: " << c.format;
}

TEST(FormatTest, IntegersAsPrintfWritesThem) {
  ExpectFormats({
      {"%d", {42}, "42"},
      {"%5d|", {42}, "   42|"},
      {"%-5d|", {42}, "42   |"},
      {"%05d", {-42}, "-0042"},
      {"%+d", {7}, "+7"},
      {"% d", {7}, " 7"},
      {"%i", {-3}, "-3"},
      {"%.2d:%.2d", {7, 5}, "07:05"},
      {"%.4d", {2024}, "2024"},
      {"%.2ld", {5L}, "05"},
      {"%d", {INT64_C(4294967297)}, "1"},  // %d takes the low 32 bits, as for a C int
      {"%ld", {INT64_C(4294967297)}, "4294967297"},
      {"%lld", {std::numeric_limits<std::int64_t>::min()}, "-9223372036854775808"},
      {"%qd", {std::numeric_limits<std::int64_t>::max()}, "9223372036854775807"},
      {"%llu", {std::numeric_limits<std::uint64_t>::max()}, "18446744073709551615"},
      {"%lu", {5UL}, "5"},
      {"%zu", {std::size_t{12}}, "12"},
      {"%u", {-1}, "4294967295"},
      {"%x", {255}, "ff"},
      {"%X", {255}, "FF"},
      {"%#x", {255}, "0xff"},
      {"%08X", {0xBEEF}, "0000BEEF"},
      {"%02X%02X", {10, 171}, "0AAB"},
      {"%.2X", {10}, "0A"},
      {"%x", {-1}, "ffffffff"},
      {"%llx", {-1}, "ffffffffffffffff"},
      {"%lx%lx", {0x1UL, 0xABCDEFUL}, "1abcdef"},
      {"%o", {8}, "10"},
      {"%04o", {0755}, "0755"},
      {"%hd", {65537}, "1"},
      {"%hhd", {255}, "-1"},
      {"%D", {INT64_C(5000000000)}, "5000000000"},
  });
}

TEST(FormatTest, RealsAsPrintfWritesThem) {
  ExpectFormats({
      {"%f", {1.5}, "1.500000"},
      {"%.1f K", {9.96}, "10.0 K"},
      {"%.0f K", {999.4}, "999 K"},
      {"%.1f MB", {1.5f}, "1.5 MB"},
      {"%.2f%%", {12.345678}, "12.35%"},
      {"%05.1f", {2.25}, "002.2"},
      {"%8.3f|", {-3.14159}, "  -3.142|"},
      {"%e", {12345.678}, "1.234568e+04"},
      {"%g", {0.0001}, "0.0001"},
      {"%g", {1e-5}, "1e-05"},
      {"%G", {1e-5}, "1E-05"},
      {"%.3g", {3.14159}, "3.14"},
      {"%.1lf", {2.75}, "2.8"},
      {"%.2lf", {1234.5}, "1234.50"},
  });
}

TEST(FormatTest, ObjectsAndTextWithWidths) {
  ExpectFormats({
      {"Download of %@ complete\r", {"a.zip"}, "Download of a.zip complete\r"},
      {"%-20@|", {"name"}, "name                |"},
      {"%20@|", {"name"}, "                name|"},
      {"Name: %-20@\tHost:%-20@\tUser:%-20@\tConnected:No\n",
       {"Server", "ftp.example.com", "anonymous"},
       "Name: Server              \tHost:ftp.example.com     \tUser:anonymous           \tConnected:No\n"},
      {"%-5@|", {"\u65E5\u672C"}, "\u65E5\u672C   |"},  // two units, three blanks
      {"%-4@|", {"\U0001F600"}, "\U0001F600  |"},       // a pair counts two
      {"%.1@|", {"\U0001F600x"}, "|"},                  // never half a pair
      {"%.3@", {"abcdef"}, "abc"},
      {"%s", {"text"}, "text"},
      {"%10s|", {"abc"}, "       abc|"},
      {"%-6s|", {"abc"}, "abc   |"},
      {"%.2s", {"abcdef"}, "ab"},
      {"%s %s", {"HTTP/1.1", "200"}, "HTTP/1.1 200"},
      {"%c%c%c%c%c%c%c%c%c", {'r', 'w', 'x', 'r', '-', 'x', 'r', '-', 'T'}, "rwxr-xr-T"},
      {"'%c%c%c%c'", {0x53, 0xC4, 0x6F, 0x6C}, "'S\u0192ol'"},  // a byte >= 0x80 reads as Mac OS Roman
      {"%C", {0x20AC}, "\u20AC"},
      {"100%%", {}, "100%"},
      {"%5%", {}, "%"},
  });
}

TEST(FormatTest, NumbersAsObjectsUseTheDescription) {
  ExpectFormats({
      {"%@", {42}, "42"},
      {"%@", {-7L}, "-7"},
      {"%@", {std::numeric_limits<std::uint64_t>::max()}, "18446744073709551615"},
      {"%@", {1.5}, "1.5"},
      {"%@", {3.0}, "3"},
      {"%@", {0.1}, "0.10000000000000001"},
      {"%@", {0.0}, "0.0"},
      {"%@", {1e300}, "1.0000000000000001e+300"},
      {"%@", {std::numeric_limits<double>::infinity()}, "+infinity"},
      {"%@", {-std::numeric_limits<double>::infinity()}, "-infinity"},
      {"%@", {std::nan("")}, "nan"},
      {"%@", {true}, "true"},
      {"%d", {true}, "1"},
  });
}

TEST(FormatTest, PositionalAndStarArguments) {
  ExpectFormats({
      {"%2$@ %1$@", {"a", "b"}, "b a"},
      {"%1$@ %1$@", {"x"}, "x x"},
      {"%2$d/%1$.1f", {2.5, 7}, "7/2.5"},
      {"%.*d", {4, 7}, "0007"},
      {"%@%.*d%@", {"img", 3, 5, ".jpg"}, "img005.jpg"},
      {"%*d|", {5, 42}, "   42|"},
      {"%*d|", {-5, 42}, "42   |"},     // a negative width left-aligns
      {"%.*f", {-1, 1.5}, "1.500000"},  // a negative precision counts as none
      {"%*2$d|", {42, 4}, "  42|"},
  });
}

TEST(FormatTest, MismatchesAndMissingArgumentsNeverCrash) {
  const std::vector<FormatCase> cases = {
      {"%d", {"abc"}, "abc"},
      {"%5d|", {"ab"}, "   ab|"},
      {"%s", {42}, "42"},
      {"%s", {1.5}, "1.5"},
      {"%d", {2.9}, "2"},
      {"%d", {-2.9}, "-2"},
      {"%lld", {1e30}, "9223372036854775807"},
      {"%lld", {std::nan("")}, "0"},
      {"%f", {3}, "3.000000"},
      {"%.1f", {10UL}, "10.0"},
      {"%d %d", {1}, "1 0"},
      {"%@ and %@", {"a"}, "a and (null)"},
      {"%s", {}, "(null)"},
      {"%@", {nullptr}, "(null)"},
      {"%@", {static_cast<const char*>(nullptr)}, "(null)"},
      {"%3$@", {"a"}, "(null)"},
      {"%d", {1, 2, 3}, "1"},
      {"%n%d", {1, 2}, "2"},
      {"%y%d", {5}, "%y5"},  // an unknown conversion stays and takes no argument
      {"abc%", {}, "abc%"},
      {"%5", {1}, "%5"},
      {"%l", {1}, "%l"},
      {"%s", {"a\xFF!"}, "a\uFFFD!"},
  };
  ExpectFormats(cases);
  EXPECT_EQ(Format("%999999999d", {1}).size(), 65535u);
}

TEST(FormatTest, ValuesAsArguments) {
  ScopedDefaultTimeZone gmt(TimeZone::Gmt());
  const Value i16(Number::Int16(5));
  const Value real(1.5);
  const Value single(0.1f);
  const Value yes(true);
  const Value text("str");
  const Value null;
  const Value data(Data{{1, 2, 3, 4, 5}});
  const Value date(Date{0});
  const Value big(Number::UInt64(std::numeric_limits<std::uint64_t>::max()));
  const Value seven(7);
  EXPECT_EQ(Format("%@", {i16}), "5");
  EXPECT_EQ(Format("%@", {real}), "1.5");
  EXPECT_EQ(Format("%@", {single}), "0.10000000149011612");  // a float widened, as the platform does
  EXPECT_EQ(Format("%@", {yes}), "true");
  EXPECT_EQ(Format("%@|%-5@|", {text, text}), "str|str  |");
  EXPECT_EQ(Format("%@", {null}), "(null)");
  EXPECT_EQ(Format("%@", {data}), "<01020304 05>");
  EXPECT_EQ(Format("%@", {date}), "2001-01-01 00:00:00 +0000");
  EXPECT_EQ(Format("%@", {big}), "18446744073709551615");
  EXPECT_EQ(Format("%03d %.1f", {seven, real}), "007 1.5");
  EXPECT_EQ(Format("%d", {text}), "str");
  EXPECT_EQ(Format("%s", {seven}), "7");
}

// The conversions and their flags, widths and precisions give exactly what printf gives for
// an argument of the C type that the length modifier names.
TEST(FormatTest, AgreesWithPrintfAcrossFlagsWidthsAndPrecisions) {
  const char* flags[] = {"", "-", "+", " ", "#", "0", "-+", "0+"};
  const char* widths[] = {"", "1", "8"};
  const char* precisions[] = {"", ".0", ".3"};
  const long long integers[] = {0, 1, -1, 123456, std::numeric_limits<int>::min(), INT64_C(-9000000000)};
  const double reals[] = {0.0, -1.5, 1234.5678, 1e-10, 2.5};
  char expected[256];
  for (const char* f : flags) {
    for (const char* w : widths) {
      for (const char* p : precisions) {
        const std::string head = std::string("%") + f + w + p;
        for (long long v : integers) {
          for (const char* conv : {"d", "ld", "lld", "u", "lu", "x", "llX", "o", "hd"}) {
            const std::string desc = head + conv;
            const std::string c(conv);
            if (c == "d") {
              std::snprintf(expected, sizeof expected, desc.c_str(), static_cast<int>(v));
            } else if (c == "hd") {
              std::snprintf(expected, sizeof expected, desc.c_str(), static_cast<short>(v));
            } else if (c == "u" || c == "x" || c == "o") {
              std::snprintf(expected, sizeof expected, desc.c_str(), static_cast<unsigned>(v));
            } else if (c == "ld") {
              std::snprintf(expected, sizeof expected, desc.c_str(), static_cast<long>(v));
            } else if (c == "lu") {
              std::snprintf(expected, sizeof expected, desc.c_str(), static_cast<unsigned long>(v));
            } else if (c == "llX") {
              std::snprintf(expected, sizeof expected, desc.c_str(), static_cast<unsigned long long>(v));
            } else {
              std::snprintf(expected, sizeof expected, desc.c_str(), v);
            }
            EXPECT_EQ(Format(desc, {v}), expected) << desc << " of " << v;
          }
        }
        for (double v : reals) {
          for (const char* conv : {"f", "e", "g", "G", "a"}) {
            const std::string desc = head + conv;
            std::snprintf(expected, sizeof expected, desc.c_str(), v);
            EXPECT_EQ(Format(desc, {v}), expected) << desc << " of " << v;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace values
