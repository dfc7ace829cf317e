#include "keys/hot_key.h"

#include <gtest/gtest.h>

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
        {"Ctrl+Alt+0xE2", {kCtrl | kAlt, 0xE2}, HotKeyRefusal::AltGrCharacter},
        {"Ctrl+V", {kCtrl, 'V'}, HotKeyRefusal::ProgramShortcut},
        {"Ctrl+0", {kCtrl, '0'}, HotKeyRefusal::ProgramShortcut},
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

}  // namespace
}  // namespace quillrun
