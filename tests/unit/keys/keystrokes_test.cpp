#include "keys/keystrokes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "tests/key_events.h"

namespace quillrun {
namespace {

// A key of FakeLayout's besides the letters.
struct Entry {
    Entry(LayoutKey k, bool d = false, bool l = true) : key(k), dead(d), listed(l) {}
    LayoutKey key;
    bool dead;    // a dead key: pressing it produces nothing at once
    bool listed;  // the layout's own listing names it
};

// A small layout in the manner of a German keyboard: letters with Caps Lock, '@' on AltGr+Q,
// '^' and '´' as dead keys, 'ä' on its own key, '$' on Shift+4, a key listed with Ctrl alone,
// and '(' on Shift+8 which the layout's own listing misses (as Wine's does on the US layout).
class FakeLayout final : public KeyboardLayout {
  public:
    std::optional<LayoutKey> KeyFor(char16_t c) const override {
        if (c >= u'a' && c <= u'z') {
            return LayoutKey{static_cast<std::uint8_t>('A' + (c - u'a')), 0};
        }
        if (c >= u'A' && c <= u'Z') {
            return LayoutKey{static_cast<std::uint8_t>(c), kShiftBit};
        }
        const auto it = kOthers.find(c);
        return it == kOthers.end() || !it->second.listed ? std::nullopt
                                                         : std::optional<LayoutKey>(it->second.key);
    }
    std::optional<char16_t> CharacterFrom(LayoutKey key, bool capsLock) const override {
        if (key.virtualKey >= 'A' && key.virtualKey <= 'Z' && (key.modifiers & ~kShiftBit) == 0) {
            const bool upper = ((key.modifiers & kShiftBit) != 0) != capsLock;
            return static_cast<char16_t>((upper ? u'A' : u'a') + (key.virtualKey - 'A'));
        }
        for (const auto& [c, entry] : kOthers) {
            if (entry.key == key) {
                return entry.dead ? std::nullopt : std::optional<char16_t>(c);
            }
        }
        return std::nullopt;
    }
    bool IsDeadKey(LayoutKey key) const override { return key == kCircumflex || key == kAcute; }
    std::optional<char16_t> ComposedFrom(LayoutKey dead, LayoutKey base) const override {
        const std::optional<char16_t> c = CharacterFrom(base, false);
        if (!IsDeadKey(dead) || !c) {
            return std::nullopt;
        }
        const bool circumflex = dead == kCircumflex;
        switch (*c) {
            case u' ':
                return circumflex ? u'^' : u'\u00B4';
            case u'e':
                return circumflex ? u'\u00EA' : u'\u00E9';
            case u'E':
                return circumflex ? u'\u00CA' : u'\u00C9';
            default:
                return std::nullopt;
        }
    }

  private:
    static constexpr LayoutKey kCircumflex{0xDC, 0};
    static constexpr LayoutKey kAcute{0xDD, 0};
    static constexpr std::uint8_t kAltGr = kControlBit | kAltBit;
    inline static const std::map<char16_t, Entry> kOthers = {
        {u'@', Entry({0x51, kAltGr})},
        {u'^', Entry(kCircumflex, true)},
        {u'\u00B4', Entry(kAcute, true)},
        {u'\u00E4', Entry({0xDE, 0})},
        {u'$', Entry({0x34, kShiftBit})},
        {u'1', Entry({0x31, 0})},
        {u' ', Entry({0x20, 0})},
        {u'(', Entry({0x38, kShiftBit}, false, false)},
        {u'\u00A7', Entry({0x33, kControlBit})},
        {u'\u00B5', Entry({0x4D, kAltBit})},
    };
};

using namespace key_events;

struct PlanCase {
    const char* name;
    char16_t c;
    CapsLock capsLock;  // nullopt: the target's key state cannot be read
    std::vector<KeyEvent> events;
    KeyMode mode = KeyMode::UnicodeWhereNeeded;
    std::uint8_t modifiers = 0;       // held with the key: a shortcut
    const char16_t* named = nullptr;  // a named key rather than `c`
};

class KeystrokePlans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(KeystrokePlans, PressWhatTheLayoutNeedsAndReleaseEverything) {
    const PlanCase& c = GetParam();
    const KeyChord chord = c.named != nullptr
                               ? KeyChord::Pressing(*FindNamedKey(c.named), c.modifiers)
                               : KeyChord::Typing(c.c, c.modifiers);
    EXPECT_EQ(PlanChord(chord, FakeLayout{}, c.capsLock, c.mode), c.events);
    if (c.named == nullptr && c.modifiers == 0) {
        EXPECT_EQ(PlanKeystrokes(c.c, FakeLayout{}, c.capsLock, c.mode), c.events);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeystrokePlans,
    ::testing::Values(
        PlanCase{"Lower", u'a', false, {Down('A', true), Up('A')}},
        PlanCase{
            "Upper", u'Q', false, {Down(vk::kShift), Down('Q', true), Up('Q'), Up(vk::kShift)}},
        PlanCase{"UpperWithCapsLock", u'Q', true, {Down('Q', true), Up('Q')}},
        PlanCase{"LowerWithCapsLock",
                 u'q',
                 true,
                 {Down(vk::kShift), Down('Q', true), Up('Q'), Up(vk::kShift)}},
        PlanCase{"DigitUnaffectedByCapsLock", u'1', true, {Down(0x31, true), Up(0x31)}},
        // Caps Lock unknown: a letter could come out in either case, so it goes as Unicode;
        // keys that Caps Lock does not change stay real keys.
        PlanCase{"LowerWithCapsLockUnknown",
                 u'q',
                 std::nullopt,
                 {Down(u'q', true, K::Unicode), Up(u'q', K::Unicode)}},
        PlanCase{"UpperWithCapsLockUnknown",
                 u'Q',
                 std::nullopt,
                 {Down(u'Q', true, K::Unicode), Up(u'Q', K::Unicode)}},
        PlanCase{"DigitWithCapsLockUnknown", u'1', std::nullopt, {Down(0x31, true), Up(0x31)}},
        PlanCase{"ShiftedSymbolWithCapsLockUnknown",
                 u'$',
                 std::nullopt,
                 {Down(vk::kShift), Down(0x34, true), Up(0x34), Up(vk::kShift)}},
        PlanCase{"ShiftedSymbol",
                 u'$',
                 false,
                 {Down(vk::kShift), Down(0x34, true), Up(0x34), Up(vk::kShift)}},
        // AltGr is the right Alt key (E0 38) alone: Windows adds the left Ctrl on a layout
        // with AltGr, and a far side that reads scan codes sees AltGr, not Ctrl+Alt.
        PlanCase{"AltGrIsTheRightAltKey",
                 u'@',
                 false,
                 {AltGr(), Down(0x51, true), Up(0x51), AltGr(true)}},
        PlanCase{"OwnKey", u'\u00E4', false, {Down(0xDE, true), Up(0xDE)}},
        PlanCase{"KeyTheListingMissesIsFoundByItsCharacter",
                 u'(',
                 false,
                 {Down(vk::kShift), Down(0x38, true), Up(0x38), Up(vk::kShift)}},
        PlanCase{"DeadKeyGoesAsUnicode",
                 u'^',
                 false,
                 {Down(u'^', true, K::Unicode), Up(u'^', K::Unicode)}},
        PlanCase{"CtrlAloneGoesAsUnicode",
                 u'\u00A7',
                 false,
                 {Down(0xA7, true, K::Unicode), Up(0xA7, K::Unicode)}},
        PlanCase{"AltAloneGoesAsUnicode",
                 u'\u00B5',
                 false,
                 {Down(0xB5, true, K::Unicode), Up(0xB5, K::Unicode)}},
        PlanCase{"NotOnLayout",
                 u'\u65E5',
                 false,
                 {Down(0x65E5, true, K::Unicode), Up(0x65E5, K::Unicode)}},
        PlanCase{"HighSurrogate",
                 u'\xD83D',
                 false,
                 {Down(0xD83D, true, K::Unicode), Up(0xD83D, K::Unicode)}},
        PlanCase{"LowSurrogate",
                 u'\xDE00',
                 false,
                 {Down(0xDE00, true, K::Unicode), Up(0xDE00, K::Unicode)}},
        PlanCase{"CarriageReturnIsEnter", u'\r', false, {Down(vk::kReturn, true), Up(vk::kReturn)}},
        PlanCase{"LineFeedIsEnter", u'\n', true, {Down(vk::kReturn, true), Up(vk::kReturn)}},
        PlanCase{"TabIsTab", u'\t', false, {Down(vk::kTab, true), Up(vk::kTab)}},
        // Other control characters are editing commands to programs: never typed, in any mode.
        PlanCase{"EscapeIsNothing", u'\x1B', false, {}},
        PlanCase{"BackspaceIsNothing", u'\b', false, {}},
        PlanCase{"DeleteIsNothingEvenToAConsole", u'\x7F', false, {}, KeyMode::UnicodeForText},
        // Keys only: nothing goes as Unicode; what the layout cannot type gets no events.
        PlanCase{"KeysOnlyLetterWithCapsLockUnknownTakesItOff",
                 u'q',
                 std::nullopt,
                 {Down('Q', true), Up('Q')},
                 KeyMode::KeysOnly},
        PlanCase{"KeysOnlyAltGr",
                 u'@',
                 false,
                 {AltGr(), Down(0x51, true), Up(0x51), AltGr(true)},
                 KeyMode::KeysOnly},
        PlanCase{"KeysOnlyDeadKeyThenSpaceTypesTheAccent",
                 u'^',
                 false,
                 {DeadDown(0xDC), Up(0xDC), Down(0x20, true), Up(0x20)},
                 KeyMode::KeysOnly},
        PlanCase{"KeysOnlyAccentedLetter",
                 u'\u00E9',
                 false,
                 {DeadDown(0xDD), Up(0xDD), Down('E', true), Up('E')},
                 KeyMode::KeysOnly},
        PlanCase{
            "KeysOnlyAccentedCapital",
            u'\u00CA',
            false,
            {DeadDown(0xDC), Up(0xDC), Down(vk::kShift), Down('E', true), Up('E'), Up(vk::kShift)},
            KeyMode::KeysOnly},
        PlanCase{
            "KeysOnlyAccentedLetterWithCapsLock",
            u'\u00EA',
            true,
            {DeadDown(0xDC), Up(0xDC), Down(vk::kShift), Down('E', true), Up('E'), Up(vk::kShift)},
            KeyMode::KeysOnly},
        PlanCase{"KeysOnlyEnterIsEnter",
                 u'\n',
                 false,
                 {Down(vk::kReturn, true), Up(vk::kReturn)},
                 KeyMode::KeysOnly},
        PlanCase{"KeysOnlyNotOnLayout", u'\u65E5', false, {}, KeyMode::KeysOnly},
        PlanCase{"KeysOnlyCtrlAloneIsNoKey", u'\u00A7', false, {}, KeyMode::KeysOnly},
        PlanCase{"KeysOnlyControlCharacter", u'\x01', false, {}, KeyMode::KeysOnly},
        PlanCase{"KeysOnlySurrogate", u'\xD83D', false, {}, KeyMode::KeysOnly},
        // A console whose layout the system does not tell: a digit or a sign is not planned as
        // the key a US layout has for it (on a French console "1" would come out as "&"), nor
        // as this layout's, which the console may not have.
        PlanCase{"UnknownLayoutDigit",
                 u'1',
                 false,
                 {Down(u'1', true, K::Unicode), Up(u'1', K::Unicode)},
                 KeyMode::UnicodeForText},
        PlanCase{"UnknownLayoutSign",
                 u'(',
                 std::nullopt,
                 {Down(u'(', true, K::Unicode), Up(u'(', K::Unicode)},
                 KeyMode::UnicodeForText},
        PlanCase{"UnknownLayoutEnter",
                 u'\r',
                 std::nullopt,
                 {Down(vk::kReturn, true), Up(vk::kReturn)},
                 KeyMode::UnicodeForText},
        PlanCase{"UnknownLayoutTab",
                 u'\t',
                 false,
                 {Down(vk::kTab, true), Up(vk::kTab)},
                 KeyMode::UnicodeForText},
        // Named keys go as themselves in any mode; the arrows and the editing keys with E0.
        PlanCase{"ArrowIsExtended",
                 0,
                 false,
                 {Named(0x25, 0x4B, true), Named(0x25, 0x4B, true, true)},
                 KeyMode::UnicodeForText,
                 0,
                 u"LEFT"},
        PlanCase{"ShiftTab",
                 0,
                 std::nullopt,
                 {Down(vk::kShift), Named(vk::kTab, 0x0F, false),
                  Named(vk::kTab, 0x0F, false, true), Up(vk::kShift)},
                 KeyMode::KeysOnly,
                 kShiftBit,
                 u"tab"},
        // A shortcut is the key that types the character, its own modifiers and the
        // shortcut's held together; never a Unicode event, whatever Caps Lock is.
        PlanCase{"CtrlLetter",
                 u'a',
                 std::nullopt,
                 {Down(vk::kControl), Down('A', true), Up('A'), Up(vk::kControl)},
                 KeyMode::UnicodeForText,
                 kControlBit},
        PlanCase{"CtrlCapital",
                 u'A',
                 true,
                 {Down(vk::kShift), Down(vk::kControl), Down('A', true), Up('A'), Up(vk::kControl),
                  Up(vk::kShift)},
                 KeyMode::UnicodeWhereNeeded,
                 kControlBit},
        // A Ctrl+Alt the user wrote is the left keys, a shortcut; the layout's AltGr level
        // under a shortcut's Ctrl is still the right Alt key.
        PlanCase{"CtrlAltShortcutIsNotAltGr",
                 u'a',
                 false,
                 {Down(vk::kControl), Down(vk::kAlt), Down('A', true), Up('A'), Up(vk::kAlt),
                  Up(vk::kControl)},
                 KeyMode::UnicodeWhereNeeded,
                 kControlBit | kAltBit},
        PlanCase{"CtrlWithAnAltGrCharacter",
                 u'@',
                 false,
                 {Down(vk::kControl), AltGr(), Down(0x51, true), Up(0x51), AltGr(true),
                  Up(vk::kControl)},
                 KeyMode::UnicodeWhereNeeded,
                 kControlBit},
        PlanCase{
            "ShortcutNotOnLayout", u'\u65E5', false, {}, KeyMode::UnicodeWhereNeeded, kAltBit}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(RoundTripsToHandle, OnePerMessageUpToTheCharacterOneForTheTurnAfterOneForTheHandOver) {
    const FakeLayout layout;
    const struct {
        char16_t c;
        std::size_t queuedBefore;
        RoundTrips expected;
        KeyMode mode = KeyMode::UnicodeWhereNeeded;
    } cases[] = {
        // Key down, character: 4 round trips; the key up is taken by the turn after.
        {u'a', 0, {4, 0}},
        // Shift down, key down, character; key up taken; Shift up may still wait.
        {u'A', 0, {5, 1}},
        // What the previous keystroke left queued (or keys released first) comes before.
        {u'a', 1, {5, 0}},
        {u'A', 2, {7, 1}},
        // AltGr down with the left Ctrl that Windows adds, key down, character; key up taken;
        // AltGr up and that Ctrl's may wait.
        {u'@', 0, {6, 2}},
        {u'\u65E5', 0, {4, 0}},
        {u'\n', 0, {4, 0}},
        // Dead key down and its dead character, dead key up, key down, character: 7.
        {u'\u00E9', 0, {7, 0}, KeyMode::KeysOnly},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundTripsToHandle(PlanKeystrokes(c.c, layout, false, c.mode), c.queuedBefore),
                  c.expected)
            << "character " << static_cast<int>(c.c) << " after " << c.queuedBefore;
    }
}

// Ctrl+F12 needs 5 round trips to be read (Ctrl down, F12 down and its character's turn, the
// turn after, the hand-over); a target that answered more and a second later still has not
// read it never got it.
TEST(KeptElsewhere, OnlyAShortcutOrNamedKeyAfterItsRoundTripsAndASecond) {
    const std::vector<KeyEvent> ctrlF12 =
        PlanChord(KeyChord::Pressing(*FindNamedKey(u"F12"), kControlBit), FakeLayout{}, false);
    const struct {
        std::size_t queuedBefore;
        bool mayBeHotKey;
        std::size_t answered;
        int ms;
        bool kept;
    } cases[] = {
        {0, true, 6, 1000, true},     {0, true, 5, 5000, false}, {0, true, 100, 999, false},
        {0, false, 100, 4000, false}, {3, true, 8, 1000, false}, {3, true, 9, 1000, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            KeptElsewhere(ctrlF12, c.queuedBefore, c.mayBeHotKey, c.answered, Milliseconds{c.ms}),
            c.kept)
            << c.queuedBefore << " " << c.answered << " " << c.ms;
    }
}

TEST(PlanCache, WorksAPlanOutOncePerCharacterLayoutAndCapsLockState) {
    const auto describe = [](char16_t c, std::uintptr_t layout, CapsLock capsLock) {
        return std::to_string(c) + "/" + std::to_string(layout) + "/" +
               (capsLock ? std::to_string(*capsLock) : "unknown");
    };
    const struct {
        char16_t c;
        std::uintptr_t layout;
        CapsLock capsLock;
        bool workedOut;
    } lookups[] = {
        {u'a', 1, false, true},
        {u'a', 1, false, false},
        // Caps Lock switched on, then unreadable: other plans.
        {u'a', 1, true, true},
        {u'a', 1, std::nullopt, true},
        // Another layout (switched during a run): another plan.
        {u'a', 2, false, true},
        {u'b', 1, false, true},
        {u'a', 1, true, false},
        {u'a', 1, false, false},
    };
    PlanCache<std::string> cache;
    for (const auto& lookup : lookups) {
        bool workedOut = false;
        const std::string& plan = cache.For(lookup.c, lookup.layout, lookup.capsLock, [&] {
            workedOut = true;
            return describe(lookup.c, lookup.layout, lookup.capsLock);
        });
        EXPECT_EQ(plan, describe(lookup.c, lookup.layout, lookup.capsLock));
        EXPECT_EQ(workedOut, lookup.workedOut) << plan;
    }
    // A text of many different characters: the cache stays bounded and its plans right.
    for (char16_t c = 0x4E00; c < 0x4E00 + 3 * PlanCache<std::string>::kMaxPlans; ++c) {
        EXPECT_EQ(cache.For(c, 1, false, [&] { return describe(c, 1, false); }),
                  describe(c, 1, false));
        ASSERT_LE(cache.size(), PlanCache<std::string>::kMaxPlans);
    }
}

// A plan with memory of its own, which says when it is wiped.
struct WipedPlan {
    char16_t c;
    std::u16string* wiped;
    void Wipe() const { *wiped += c; }
};

// Plans tell which characters were typed: every plan let go of (by Wipe, or as the cache starts
// afresh) is wiped first, and none is used after Wipe.
TEST(PlanCache, WipesEveryPlanItLetsGoOfAndMakesThemAnew) {
    std::u16string wiped;
    std::u16string made;
    PlanCache<WipedPlan> cache;
    const auto plan = [&](char16_t c) {
        cache.For(c, 1, false, [&] {
            made += c;
            return WipedPlan{c, &wiped};
        });
    };
    plan(u'P');
    plan(u'w');
    cache.Wipe();
    plan(u'P');
    std::sort(wiped.begin(), wiped.end());
    EXPECT_EQ(wiped, u"Pw");
    EXPECT_EQ(made, u"PwP") << "a plan was used after Wipe";

    wiped.clear();
    for (char16_t c = 0x4E00; c < 0x4E00 + PlanCache<WipedPlan>::kMaxPlans; ++c) {
        plan(c);
    }
    EXPECT_EQ(wiped.size(), PlanCache<WipedPlan>::kMaxPlans) << "plans dropped unwiped";
}

}  // namespace
}  // namespace quillrun
