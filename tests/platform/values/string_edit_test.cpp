#include "platform/values/string_edit.h"

#include <gtest/gtest.h>

#include "platform/values/char_set.h"

namespace values {
namespace {

TEST(StringEditTest, CaseMappingIsLanguageIndependent) {
  EXPECT_EQ(Uppercase("stra\u00DFe"), "STRASSE");
  EXPECT_EQ(Uppercase("istanbul"), "ISTANBUL");  // no Turkish dotted capital I
  EXPECT_EQ(Lowercase("\u00C0\u00C9\u00CE"), "\u00E0\u00E9\u00EE");
  EXPECT_EQ(Lowercase("MiXeD 123"), "mixed 123");
  EXPECT_EQ(Uppercase(""), "");
}

TEST(StringEditTest, TrimRemovesWhiteSpaceAndLineEnds) {
  EXPECT_EQ(TrimWhitespace("  \t a b \r\n\u2028"), "a b");
  EXPECT_EQ(TrimWhitespace("\u00A0x\u00A0"), "x");  // no-break space is white space
  EXPECT_EQ(TrimWhitespace("   "), "");
  EXPECT_EQ(TrimWhitespace(""), "");
  EXPECT_EQ(TrimWhitespace("x"), "x");
}

TEST(StringEditTest, SplitKeepsEmptyPieces) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitString("a,,b", ","), (V{"a", "", "b"}));
  EXPECT_EQ(SplitString("", ","), (V{""}));
  EXPECT_EQ(SplitString("a::b::", "::"), (V{"a", "b", ""}));
  EXPECT_EQ(SplitString("abc", ""), (V{"abc"}));
  EXPECT_EQ(JoinStrings(SplitString("a, b, c", ", "), "|"), "a|b|c");
}

struct MemberCase {
  CharacterSet set;
  char32_t cp;
  bool member;
};

TEST(CharacterSetTest, PredefinedSets) {
  const MemberCase cases[] = {
      {CharacterSet::Whitespace(), U' ', true},
      {CharacterSet::Whitespace(), U'\t', true},
      {CharacterSet::Whitespace(), U'\n', false},
      {CharacterSet::Whitespace(), 0xA0, true},
      {CharacterSet::Whitespace(), 0x3000, true},
      {CharacterSet::Newlines(), U'\r', true},
      {CharacterSet::Newlines(), 0x85, true},
      {CharacterSet::Newlines(), 0x2029, true},
      {CharacterSet::Newlines(), U' ', false},
      {CharacterSet::Controls(), 0x01, true},
      {CharacterSet::Controls(), 0x7F, true},
      {CharacterSet::Controls(), 0x200B, true},  // a format character (Cf)
      {CharacterSet::Controls(), U'a', false},
      {CharacterSet::Alphanumerics(), U'Z', true},
      {CharacterSet::Alphanumerics(), 0xE9, true},
      {CharacterSet::Alphanumerics(), 0x0663, true},
      {CharacterSet::Alphanumerics(), 0x0301, true},  // marks count as letters
      {CharacterSet::Alphanumerics(), U'-', false},
      {CharacterSet::DecimalDigits(), U'7', true},
      {CharacterSet::DecimalDigits(), 0xBD, false},  // ½ is a number but not a digit
      {CharacterSet::Punctuation(), U'-', true},
      {CharacterSet::Punctuation(), U'+', false},
      {CharacterSet::Symbols(), U'+', true},
      {CharacterSet::Uppercase(), U'A', true},
      {CharacterSet::Lowercase(), U'A', false},
      {CharacterSet::Alphanumerics().Inverted(), U'-', true},
      {CharacterSet::Whitespace(), 0x110000, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.set.Contains(c.cp), c.member) << std::hex << static_cast<uint32_t>(c.cp);
}

TEST(CharacterSetTest, FileNameCleaning) {
  const CharacterSet forbidden = CharacterSet::Controls().Adding(":/\r\n");
  EXPECT_EQ(DeleteCharacters("a:b/c\x01g\r\n\u00E9", forbidden), "abcg\u00E9");
  EXPECT_TRUE(ContainsAnyOf("x/y", forbidden));
  EXPECT_FALSE(ContainsAnyOf("report.pdf", forbidden));
  EXPECT_TRUE(CharacterSet().IsEmpty());
  EXPECT_TRUE(CharacterSet::FromRange(U'a', U'c').Union(CharacterSet::FromCharacters("z")).Contains(U'z'));
}

TEST(CharacterSetTest, SplitAndTrimBySet) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitAtCharacters("a\r\nb\u2028c", CharacterSet::Newlines()), (V{"a", "", "b", "c"}));
  EXPECT_EQ(TrimCharacters("--x-y--", CharacterSet::FromCharacters("-")), "x-y");
}

}  // namespace
}  // namespace values
