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

struct ReplacingCase {
    const char* name;
    std::string utf8;
    std::u16string text;
    std::optional<std::size_t> firstInvalid;
};

class Utf8Replacing : public ::testing::TestWithParam<ReplacingCase> {};

// Each stretch that cannot become a character is one U+FFFD, and no valid character around it is
// lost: what Unicode recommends and browsers do, so that a text reads the same everywhere.
TEST_P(Utf8Replacing, ReplacesEachBrokenStretchAndKeepsTheRest) {
    const ReplacedUtf8 got = Utf8ToUtf16Replacing(GetParam().utf8);
    EXPECT_EQ(got.text, GetParam().text);
    EXPECT_EQ(got.firstInvalid, GetParam().firstInvalid);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Replacing,
    ::testing::Values(
        ReplacingCase{"Valid", "a\xC3\xA9\xF0\x9F\x98\x80", u"a\u00E9\xD83D\xDE00", std::nullopt},
        ReplacingCase{"StrayByteBetweenCharacters", "\xC3\xA9\xE9\xE6\x97\xA5",
                      u"\u00E9\uFFFD\u65E5", 1},
        // The lead and the continuation bytes it took are one stretch; the byte that broke it
        // off starts the next character.
        ReplacingCase{"SequenceBrokenOff",
                      "\xF0\x9F\x98"
                      "A\xE6\xC3\xA9",
                      u"\uFFFDA\uFFFD\u00E9", 0},
        // Bytes that no character may start with: one U+FFFD each.
        ReplacingCase{"OverlongSurrogateAndPastUnicode",
                      "\xC0\xAF|\xE0\x80\xAF|\xED\xA0\x80|\xF4\x90\x80\x80",
                      u"\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|"
                      u"\uFFFD\uFFFD\uFFFD\uFFFD",
                      0},
        ReplacingCase{"CutOffAtTheEnd", "ab\xE6\x97", u"ab\uFFFD", 2},
        // A U+FFFD the text holds as UTF-8 is a character, not a sign of a stray byte.
        ReplacingCase{"WrittenReplacementCharacter", "\xEF\xBF\xBDx\x80", u"\uFFFDx\uFFFD", 2}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Utf16ToUtf8, EncodesPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(Utf16ToUtf8(u"a\u00E9\u65E5"), "a\xC3\xA9\xE6\x97\xA5");
    EXPECT_EQ(Utf16ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(u"x\xD83Dy"), "x\xEF\xBF\xBDy");
    EXPECT_EQ(Utf16ToUtf8(u"\xDE00"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace quillrun
