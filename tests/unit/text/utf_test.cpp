#include "text/utf.h"

#include <gtest/gtest.h>

namespace quillrun {
namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::optional<std::u16string> utf16;  // nullopt: must be rejected
};

class Utf8Decoding : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decoding, DecodesValidAndRejectsInvalid) {
    EXPECT_EQ(Utf8ToUtf16(GetParam().utf8), GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Decoding,
    ::testing::Values(Utf8Case{"Empty", "", u""}, Utf8Case{"Ascii", "abc\r\n", u"abc\r\n"},
                      Utf8Case{"TwoByte", "\xC3\xA9", u"\u00E9"},
                      Utf8Case{"ThreeByte", "\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},
                      Utf8Case{"FourByteIsSurrogatePair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
                      Utf8Case{"LargestCodePoint", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
                      Utf8Case{"Nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
                      Utf8Case{"LoneContinuation", "\x80", std::nullopt},
                      Utf8Case{"OverlongSlash", "\xC0\xAF", std::nullopt},
                      Utf8Case{"OverlongThreeByte", "\xE0\x80\xAF", std::nullopt},
                      Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", std::nullopt},
                      Utf8Case{"PastUnicode", "\xF4\x90\x80\x80", std::nullopt},
                      Utf8Case{"TruncatedAtEnd", "ab\xE6\x97", std::nullopt},
                      Utf8Case{"BadContinuation", "\xE6\x41\xA5", std::nullopt},
                      Utf8Case{"Latin1Byte", "caf\xE9", std::nullopt},
                      Utf8Case{"InvalidLeadByte", "\xFF", std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

// Stray bytes in a file are found by the replacements they leave; a U+FFFD the text holds as
// UTF-8 is a character, not such a sign.
TEST(Utf8Replacing, AWrittenReplacementCharacterIsNoStrayByte) {
    const ReplacedUtf8 got = Utf8ToUtf16Replacing("\xEF\xBF\xBDx\x80");
    EXPECT_EQ(got.text, u"\uFFFDx\uFFFD");
    EXPECT_EQ(got.firstInvalid, 2u);
}

TEST(Utf16ToUtf8, EncodesPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(Utf16ToUtf8(u"a\u00E9\u65E5"), "a\xC3\xA9\xE6\x97\xA5");
    EXPECT_EQ(Utf16ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(u"x\xD83Dy"), "x\xEF\xBF\xBDy");
    EXPECT_EQ(Utf16ToUtf8(u"\xDE00"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace quillrun
