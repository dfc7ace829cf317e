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
        EXPECT_EQ(parsed.value(), KeyChord::Typing(c));
    }
}

TEST(ParseKeyString, OneKeyWithItsModifiers) {
    const auto named = [](std::u16string_view name, std::uint8_t modifiers = 0) {
        return KeyChord::Pressing(*FindNamedKey(name), modifiers);
    };
    const struct {
        std::u16string keys;
        KeyChord chord;
    } cases[] = {
        {u"\r\n", KeyChord::Typing(u'\r')},
        {u"\n", KeyChord::Typing(u'\n')},
        {u"{a}", KeyChord::Typing(u'a')},
        {u"{}}", KeyChord::Typing(u'}')},
        {u"\xD83D", KeyChord::Typing(u'\xD83D')},
        {u"+a", KeyChord::Typing(u'a', kShiftBit)},
        {u"^%{+}", KeyChord::Typing(u'+', kControlBit | kAltBit)},
        {u"~", named(u"ENTER")},
        {u"{tab}", named(u"TAB")},
        {u"+{TAB}", named(u"TAB", kShiftBit)},
        {u"^{bs}", named(u"BACKSPACE", kControlBit)},
        {u"{F24}", named(u"F24")},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseKeyString(c.keys);
        ASSERT_TRUE(parsed.ok()) << std::string(c.keys.begin(), c.keys.end());
        EXPECT_EQ(parsed.value(), c.chord);
    }
}

TEST(ParseKeyString, RefusesMoreOrLessThanOneKey) {
    for (const std::u16string keys :
         {u"", u"+", u"{", u"}", u"ab", u"{ab}", u"{}", u"{a", u"a}", u"\n\r", u"\r\n\r\n", u"{+}x",
          u"+(ab)", u"{TAB 2}", u"{WAIT 5}", u"{F25}", u"a+", u"+^"}) {
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
