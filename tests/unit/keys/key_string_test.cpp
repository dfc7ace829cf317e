#include "keys/key_string.h"

#include <gtest/gtest.h>

namespace quillrun {
namespace {

TEST(EscapeKeyChar, BracesExactlyTheTenReservedCharacters) {
    const std::u16string reserved = u"+^%~(){}[]";
    for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const auto c = static_cast<char16_t>(unit);
        const std::u16string escaped = EscapeKeyChar(c);
        if (reserved.find(c) != std::u16string::npos) {
            EXPECT_EQ(escaped, (std::u16string{u'{', c, u'}'})) << static_cast<int>(unit);
        } else {
            EXPECT_EQ(escaped, std::u16string(1, c)) << static_cast<int>(unit);
        }
    }
}

TEST(ParseKeyString, GivesBackEveryEscapedCharacter) {
    for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const auto c = static_cast<char16_t>(unit);
        const auto parsed = ParseKeyString(EscapeKeyChar(c));
        ASSERT_TRUE(parsed.ok()) << static_cast<int>(unit);
        EXPECT_EQ(parsed.value(), c);
    }
}

TEST(ParseKeyString, LineEndAndBracedPlainCharacters) {
    const struct {
        std::u16string keys;
        char16_t typed;
    } cases[] = {{u"\r\n", u'\r'}, {u"\n", u'\n'}, {u"\r", u'\r'}, {u"{a}", u'a'},
                 {u"{{}", u'{'},   {u"{}}", u'}'}, {u"\t", u'\t'}, {u"\xD83D", u'\xD83D'}};
    for (const auto& c : cases) {
        const auto parsed = ParseKeyString(c.keys);
        ASSERT_TRUE(parsed.ok());
        EXPECT_EQ(parsed.value(), c.typed);
    }
}

TEST(ParseKeyString, RefusesWhatQuillrunNeverSends) {
    for (const std::u16string keys : {u"", u"+", u"{", u"}", u"~", u"ab", u"+a", u"{ab}", u"{}",
                                      u"{a", u"a}", u"\n\r", u"\r\n\r\n", u"{ENTER}", u"{+}x"}) {
        const auto parsed = ParseKeyString(keys);
        EXPECT_FALSE(parsed.ok()) << std::string(keys.begin(), keys.end());
        if (!parsed.ok()) {
            EXPECT_EQ(parsed.failure().operation, "SendKeyString");
            EXPECT_FALSE(parsed.failure().reason.empty());
        }
    }
}

}  // namespace
}  // namespace quillrun
