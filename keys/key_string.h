// Key strings: what SendKeyString is asked to type. Ten characters are reserved by the syntax:
// "+", "^" and "%" hold Shift, Ctrl and Alt for the key after them, "~" is Enter, "{NAME}" a
// key by its name, and any character in braces types itself.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "desktop/result.h"

namespace quillrun {

inline constexpr std::u16string_view kKeySpecials = u"+^%~(){}[]";
// Sent after every line of the file.
inline constexpr std::u16string_view kLineEndKeys = u"\r\n";

// A control character that is never typed, in any mode: programs take it as an editing
// command (a backspace deletes, Ctrl+Z undoes, Ctrl+V pastes). Tab and the line ends are keys
// of their own.
constexpr bool IsNeverTypedControl(char16_t c) {
    return (c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || c == 0x7F;
}

// The key string that types `c` literally.
std::u16string EscapeKeyChar(char16_t c);

// A key that types no character of its own, or is better sent as itself: by its name, with
// the Windows virtual-key code and the scan code (set 1) that a keyboard sends for it.
struct NamedKey {
    std::u16string_view name;  // as key strings write it, in capitals
    std::uint8_t virtualKey = 0;
    std::uint8_t scanCode = 0;
    // Sent with the E0 prefix: the arrows and the editing keys are told apart from the
    // numeric keypad's by it, which a far side with Num Lock on would otherwise read as digits.
    bool extended = false;

    friend bool operator==(const NamedKey&, const NamedKey&) = default;
};

// Every named key, each under its one written name (the first of its names).
std::span<const NamedKey> NamedKeys();
// The key `name` names, in any case, by its written name or another one (BS for BACKSPACE).
std::optional<NamedKey> FindNamedKey(std::u16string_view name);

// Modifier bits, held with a key, as a keyboard layout reports them for a key.
inline constexpr std::uint8_t kShiftBit = 1;
inline constexpr std::uint8_t kControlBit = 2;
inline constexpr std::uint8_t kAltBit = 4;

// What one key string types: one key, named or typing a character, with modifiers held
// around it.
struct KeyChord {
    std::uint8_t modifiers = 0;
    std::optional<NamedKey> key;  // nothing: the key that types `character`
    char16_t character = 0;

    static KeyChord Typing(char16_t c, std::uint8_t modifiers = 0) {
        KeyChord chord;
        chord.modifiers = modifiers;
        chord.character = c;
        return chord;
    }
    static KeyChord Pressing(NamedKey key, std::uint8_t modifiers = 0) {
        KeyChord chord;
        chord.modifiers = modifiers;
        chord.key = key;
        return chord;
    }

    friend bool operator==(const KeyChord&, const KeyChord&) = default;
};

// The key string of `chord`: its modifiers in the order "+^%", then its key.
std::u16string KeyStringOf(const KeyChord& chord);

// What a key string types: modifiers, then a plain character, any character in braces, "~" or
// a key's name in braces; or the line end (a carriage return). Anything else (a group, a
// repeat count, more than one key) is refused rather than guessed at: each key is sent on its
// own so that each can be waited for.
Result<KeyChord> ParseKeyString(std::u16string_view keys);

}  // namespace quillrun
