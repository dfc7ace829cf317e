#include "keys/hot_key.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillrun {
namespace {

constexpr std::uint8_t kCtrl = HotKey::kCtrl;
constexpr std::uint8_t kAlt = HotKey::kAlt;
constexpr std::uint8_t kShift = HotKey::kShift;
constexpr std::uint8_t kWin = HotKey::kWin;

struct RefusalCase {
    const char* keys;
    HotKey key;
    std::optional<HotKeyRefusal> refusal;
};

// One row for each way a combination takes a key from other programs, and the nearest
// combinations that take none.
TEST(HotKeyRefusal, RefusesWhatOtherProgramsTypeOrUse) {
    const RefusalCase cases[] = {
        {"V", {0, 'V'}, HotKeyRefusal::NoModifier},
        {"Shift+F9", {kShift, 0x78}, HotKeyRefusal::NoModifier},
        {"F12", {0, 0x7B}, HotKeyRefusal::KeptForDebuggers},
        {"Ctrl+Alt+E", {kCtrl | kAlt, 'E'}, HotKeyRefusal::AltGrCharacter},
        {"Ctrl+Alt+0xBA", {kCtrl | kAlt, 0xBA}, HotKeyRefusal::AltGrCharacter},
        {"Ctrl+Alt+0xC1", {kCtrl | kAlt, 0xC1}, HotKeyRefusal::AltGrCharacter},
        {"Ctrl+V", {kCtrl, 'V'}, HotKeyRefusal::ProgramShortcut},
        {"Ctrl+0", {kCtrl, '0'}, HotKeyRefusal::ProgramShortcut},
        {"Ctrl+Num +", {kCtrl, 0x6B}, HotKeyRefusal::ProgramShortcut},
        {"Alt+F", {kAlt, 'F'}, HotKeyRefusal::MenuKey},
        {"Alt+Space", {kAlt, 0x20}, HotKeyRefusal::MenuKey},
        {"Ctrl+Shift+Alt+V", {kCtrl | kShift | kAlt, 'V'}, std::nullopt},
        {"Ctrl+Alt+Win+E", {kCtrl | kAlt | kWin, 'E'}, std::nullopt},
        {"Ctrl+Alt+F9", {kCtrl | kAlt, 0x78}, std::nullopt},
        {"Ctrl+Alt+Num 5", {kCtrl | kAlt, 0x65}, std::nullopt},
        {"Ctrl+F12", {kCtrl, 0x7B}, std::nullopt},
        {"Win+Z", {kWin, 'Z'}, std::nullopt},
        {"none", {}, std::nullopt},
    };
    for (const RefusalCase& c : cases) {
        EXPECT_EQ(RefusalOf(c.key), c.refusal) << c.keys;
    }
}

// A key's press and its release, as the typist plans them.
KeyEvent Down(std::uint16_t code) {
    return {.kind = KeyEvent::Kind::VirtualKey, .code = code};
}
KeyEvent Up(std::uint16_t code) {
    return {.kind = KeyEvent::Kind::VirtualKey, .code = code, .up = true};
}

// Windows fires a hot key when its key goes down with exactly its modifiers held, whichever
// side they are on: a keystroke that does so must be told, and one that does not must not.
TEST(PressesHotKey, OnlyTheKeyWithExactlyItsModifiersHeld) {
    constexpr HotKey kCtrlShiftAltV{kCtrl | kShift | kAlt, 'V'};
    constexpr HotKey kCtrlAltE{kCtrl | kAlt, 'E'};
    const struct {
        const char* name;
        HotKey key;
        std::vector<KeyEvent> events;
        bool presses;
    } cases[] = {
        {"TheChord",
         kCtrlShiftAltV,
         {Down(0x10), Down(0x11), Down(0x12), Down('V'), Up('V'), Up(0x12), Up(0x11), Up(0x10)},
         true},
        {"AnExtraModifier",
         {kCtrl | kAlt, 0x78},
         {Down(0x10), Down(0x11), Down(0x12), Down(0x78), Up(0x78), Up(0x12), Up(0x11), Up(0x10)},
         false},
        {"LeftAndRightKeys", kCtrlShiftAltV, {Down(0xA1), Down(0xA2), Down(0xA4), Down('V')}, true},
        {"AltGrIsCtrlAlt", kCtrlAltE, {Down(0xA5), Down('E'), Up('E'), Up(0xA5)}, true},
        {"TheKeyAlone", kCtrlShiftAltV, {Down('V'), Up('V')}, false},
        {"ModifiersLetGoFirst",
         kCtrlAltE,
         {Down(0x11), Down(0x12), Up(0x12), Up(0x11), Down('E'), Up('E')},
         false},
        {"AUnicodeEventIsNoKey",
         kCtrlAltE,
         {Down(0x11), Down(0x12), {.kind = KeyEvent::Kind::Unicode, .code = u'E'}},
         false},
        {"NoHotKey", {}, {Down(0)}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PressesHotKey(c.events, c.key), c.presses) << c.name;
    }
}

}  // namespace
}  // namespace quillrun
