#include "keys/hot_key.h"

#include <array>
#include <cstdint>

namespace quillrun {
namespace {

struct ModifierName {
    std::uint8_t bit;
    std::u16string_view name;
};
constexpr std::array<ModifierName, 4> kModifierNames{{
    {HotKey::kCtrl, u"Ctrl"},
    {HotKey::kShift, u"Shift"},
    {HotKey::kAlt, u"Alt"},
    {HotKey::kWin, u"Win"},
}};

// Keys whose names do not depend on the layout, by virtual-key code. Letters and digits are
// their own codes; F1 to F24 and Num 0 to Num 9 are worked out from the first of each.
struct KeyName {
    std::uint8_t key;
    std::u16string_view name;
};
constexpr std::array<KeyName, 20> kKeyNames{{
    {0x08, u"Backspace"}, {0x09, u"Tab"},    {0x0D, u"Enter"},    {0x13, u"Pause"},
    {0x20, u"Space"},     {0x21, u"PageUp"}, {0x22, u"PageDown"}, {0x23, u"End"},
    {0x24, u"Home"},      {0x25, u"Left"},   {0x26, u"Up"},       {0x27, u"Right"},
    {0x28, u"Down"},      {0x2D, u"Insert"}, {0x2E, u"Delete"},   {0x6A, u"Num *"},
    {0x6B, u"Num +"},     {0x6D, u"Num -"},  {0x6E, u"Num ."},    {0x6F, u"Num /"},
}};
constexpr std::uint8_t kNumpad0 = 0x60;
constexpr std::uint8_t kF1 = 0x70;
constexpr int kFunctionKeys = 24;

char16_t Upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool SameWord(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}

// `prefix` followed by `n` (below 100) in decimal.
std::u16string Numbered(std::u16string_view prefix, unsigned n) {
    std::u16string text(prefix);
    if (n >= 10) {
        text += static_cast<char16_t>(u'0' + n / 10);
    }
    text += static_cast<char16_t>(u'0' + n % 10);
    return text;
}

std::u16string KeyText(std::uint8_t key) {
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
        return std::u16string(1, static_cast<char16_t>(key));
    }
    if (key >= kF1 && key < kF1 + kFunctionKeys) {
        return Numbered(u"F", key - kF1 + 1u);
    }
    if (key >= kNumpad0 && key <= kNumpad0 + 9) {
        return Numbered(u"Num ", key - kNumpad0);
    }
    for (const KeyName& named : kKeyNames) {
        if (named.key == key) {
            return std::u16string(named.name);
        }
    }
    constexpr char16_t kHex[] = u"0123456789ABCDEF";
    return {u'0', u'x', kHex[key >> 4], kHex[key & 0xF]};
}

std::optional<std::uint8_t> ParseKey(std::u16string_view text) {
    // Every key HotKeyText names reads back through the same naming, so the two cannot part.
    for (int key = 1; key <= 0xFE; ++key) {
        if (SameWord(text, KeyText(static_cast<std::uint8_t>(key)))) {
            return static_cast<std::uint8_t>(key);
        }
    }
    return std::nullopt;
}

// The keys that type a character on some layout: letters, digits, the punctuation keys (their
// virtual-key codes, VK_OEM_1 to VK_OEM_8, VK_OEM_102 and the Brazilian ABNT_C1 and ABNT_C2)
// and Space.
bool IsCharacterKey(std::uint8_t key) {
    return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z') || key == 0x20 ||
           (key >= 0xBA && key <= 0xC2) || (key >= 0xDB && key <= 0xDF) || key == 0xE2;
}

// The numeric keypad's digits and operators: with Ctrl, programs zoom (Ctrl+Num +).
bool IsNumpadKey(std::uint8_t key) {
    return key >= 0x60 && key <= 0x6F;
}

constexpr std::uint8_t kF12 = kF1 + 11;

// The keys that hold each modifier: the one either side stands for (VK_SHIFT, VK_CONTROL,
// VK_MENU), then the left and the right one; the Windows keys have only theirs.
struct ModifierKey {
    std::uint8_t key;
    std::uint8_t bit;
};
constexpr std::array<ModifierKey, 11> kModifierKeys{{
    {0x10, HotKey::kShift},
    {0xA0, HotKey::kShift},
    {0xA1, HotKey::kShift},
    {0x11, HotKey::kCtrl},
    {0xA2, HotKey::kCtrl},
    {0xA3, HotKey::kCtrl},
    {0x12, HotKey::kAlt},
    {0xA4, HotKey::kAlt},
    {vk::kRightAlt, HotKey::kAlt},
    {0x5B, HotKey::kWin},
    {0x5C, HotKey::kWin},
}};

}  // namespace

std::optional<HotKeyRefusal> RefusalOf(HotKey key) {
    if (key.None()) {
        return std::nullopt;
    }
    const std::uint8_t chosen = key.modifiers & (HotKey::kCtrl | HotKey::kAlt | HotKey::kWin);
    if (chosen == 0) {
        return key.key == kF12 && key.modifiers == 0 ? HotKeyRefusal::KeptForDebuggers
                                                     : HotKeyRefusal::NoModifier;
    }
    if (key.modifiers == HotKey::kCtrl && IsNumpadKey(key.key)) {
        return HotKeyRefusal::ProgramShortcut;
    }
    if (!IsCharacterKey(key.key)) {
        return std::nullopt;
    }
    // With Shift as well, Ctrl+Alt stays allowed (the default hot key is one): AltGr+Shift types
    // a character on only a few keys of a few layouts.
    if (key.modifiers == (HotKey::kCtrl | HotKey::kAlt)) {
        return HotKeyRefusal::AltGrCharacter;
    }
    if (key.modifiers == HotKey::kCtrl) {
        return HotKeyRefusal::ProgramShortcut;
    }
    if (key.modifiers == HotKey::kAlt) {
        return HotKeyRefusal::MenuKey;
    }
    return std::nullopt;
}

HotKey KeyOfControl(HotKey shown, HotKey current) {
    const HotKey currentShown{static_cast<std::uint8_t>(current.modifiers & ~HotKey::kWin),
                              current.key};
    return shown == currentShown ? current : shown;
}

bool PressesHotKey(std::span<const KeyEvent> events, HotKey key) {
    if (key.None()) {
        return false;
    }
    std::array<bool, 256> down{};
    for (const KeyEvent& event : events) {
        if (event.kind != KeyEvent::Kind::VirtualKey || event.code > 0xFF) {
            continue;
        }
        const auto code = static_cast<std::uint8_t>(event.code);
        if (event.up || code != key.key) {
            down[code] = !event.up;
            continue;
        }
        std::uint8_t held = 0;
        for (const ModifierKey& modifier : kModifierKeys) {
            if (down[modifier.key]) {
                held = static_cast<std::uint8_t>(held | modifier.bit);
            }
        }
        const bool altGr = down[vk::kRightAlt];
        if (held == key.modifiers ||
            (altGr && static_cast<std::uint8_t>(held | HotKey::kCtrl) == key.modifiers)) {
            return true;
        }
    }
    return false;
}

std::u16string HotKeyText(HotKey key) {
    if (key.None()) {
        return std::u16string(kNoHotKeyText);
    }
    std::u16string text;
    for (const ModifierName& modifier : kModifierNames) {
        if ((key.modifiers & modifier.bit) != 0) {
            text.append(modifier.name).push_back(u'+');
        }
    }
    return text + KeyText(key.key);
}

std::optional<HotKey> ParseHotKey(std::u16string_view text) {
    if (SameWord(text, kNoHotKeyText)) {
        return HotKey{};
    }
    HotKey parsed;
    for (;;) {
        const std::size_t plus = text.find(u'+', 1);  // "Num +" ends in one of its own
        const std::u16string_view word = text.substr(0, plus);
        if (plus == std::u16string_view::npos || SameWord(word.substr(0, 4), u"Num ")) {
            break;
        }
        bool known = false;
        for (const ModifierName& modifier : kModifierNames) {
            if (SameWord(word, modifier.name) && (parsed.modifiers & modifier.bit) == 0) {
                parsed.modifiers |= modifier.bit;
                known = true;
            }
        }
        if (!known) {
            return std::nullopt;
        }
        text.remove_prefix(plus + 1);
    }
    const auto key = ParseKey(text);
    if (!key) {
        return std::nullopt;
    }
    parsed.key = *key;
    return parsed;
}

}  // namespace quillrun
