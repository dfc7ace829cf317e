#include "keys/key_string.h"

#include <algorithm>
#include <array>

namespace quillrun {
namespace {

constexpr std::uint32_t kInvalidParameter = 87;  // the system's ERROR_INVALID_PARAMETER

bool IsKeySpecial(char16_t c) {
    return kKeySpecials.find(c) != std::u16string_view::npos;
}

// Windows' virtual-key codes, and the scan codes a PC keyboard sends (scan code set 1), which
// remote and virtual-machine consoles read.
constexpr std::array<NamedKey, 47> kNamedKeys{{
    {u"ENTER", 0x0D, 0x1C, false},
    {u"TAB", 0x09, 0x0F, false},
    {u"ESC", 0x1B, 0x01, false},
    {u"BACKSPACE", 0x08, 0x0E, false},
    {u"DELETE", 0x2E, 0x53, true},
    {u"INSERT", 0x2D, 0x52, true},
    {u"HOME", 0x24, 0x47, true},
    {u"END", 0x23, 0x4F, true},
    {u"PGUP", 0x21, 0x49, true},
    {u"PGDN", 0x22, 0x51, true},
    {u"UP", 0x26, 0x48, true},
    {u"DOWN", 0x28, 0x50, true},
    {u"LEFT", 0x25, 0x4B, true},
    {u"RIGHT", 0x27, 0x4D, true},
    {u"F1", 0x70, 0x3B, false},
    {u"F2", 0x71, 0x3C, false},
    {u"F3", 0x72, 0x3D, false},
    {u"F4", 0x73, 0x3E, false},
    {u"F5", 0x74, 0x3F, false},
    {u"F6", 0x75, 0x40, false},
    {u"F7", 0x76, 0x41, false},
    {u"F8", 0x77, 0x42, false},
    {u"F9", 0x78, 0x43, false},
    {u"F10", 0x79, 0x44, false},
    {u"F11", 0x7A, 0x57, false},
    {u"F12", 0x7B, 0x58, false},
    {u"F13", 0x7C, 0x64, false},
    {u"F14", 0x7D, 0x65, false},
    {u"F15", 0x7E, 0x66, false},
    {u"F16", 0x7F, 0x67, false},
    {u"F17", 0x80, 0x68, false},
    {u"F18", 0x81, 0x69, false},
    {u"F19", 0x82, 0x6A, false},
    {u"F20", 0x83, 0x6B, false},
    {u"F21", 0x84, 0x6C, false},
    {u"F22", 0x85, 0x6D, false},
    {u"F23", 0x86, 0x6E, false},
    {u"F24", 0x87, 0x76, false},
    {u"SPACE", 0x20, 0x39, false},
    {u"CAPSLOCK", 0x14, 0x3A, false},
    // Num Lock shares its scan code with Pause, and is told apart by the E0 prefix.
    {u"NUMLOCK", 0x90, 0x45, true},
    {u"SCROLLLOCK", 0x91, 0x46, false},
    // Ctrl+Break's key: the code consoles act on.
    {u"BREAK", 0x03, 0x46, true},
    {u"PRTSC", 0x2C, 0x37, true},
    {u"APPS", 0x5D, 0x5D, true},
    {u"LWIN", 0x5B, 0x5B, true},
    {u"RWIN", 0x5C, 0x5C, true},
}};

// Other names users write for the same keys.
constexpr std::array<std::pair<std::u16string_view, std::u16string_view>, 4> kOtherNames{
    {{u"BS", u"BACKSPACE"}, {u"BKSP", u"BACKSPACE"}, {u"DEL", u"DELETE"}, {u"INS", u"INSERT"}}};

bool SameName(std::u16string_view a, std::u16string_view b) {
    const auto upper = [](char16_t c) {
        return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char16_t x, char16_t y) { return upper(x) == upper(y); });
}

Failure NotOneKey() {
    return Failure{"SendKeyString",
                   u"The key string is not one key with its modifiers, a character in braces or "
                   u"a line end.",
                   kInvalidParameter};
}

}  // namespace

std::u16string EscapeKeyChar(char16_t c) {
    if (IsKeySpecial(c)) {
        return std::u16string{u'{', c, u'}'};
    }
    return std::u16string(1, c);
}

std::span<const NamedKey> NamedKeys() {
    return kNamedKeys;
}

std::optional<NamedKey> FindNamedKey(std::u16string_view name) {
    for (const auto& [other, written] : kOtherNames) {
        if (SameName(name, other)) {
            name = written;
        }
    }
    for (const NamedKey& key : kNamedKeys) {
        if (SameName(name, key.name)) {
            return key;
        }
    }
    return std::nullopt;
}

std::u16string KeyStringOf(const KeyChord& chord) {
    std::u16string keys;
    constexpr std::pair<std::uint8_t, char16_t> kPrefixes[] = {
        {kShiftBit, u'+'}, {kControlBit, u'^'}, {kAltBit, u'%'}};
    for (const auto& [bit, prefix] : kPrefixes) {
        if ((chord.modifiers & bit) != 0) {
            keys += prefix;
        }
    }
    if (chord.key) {
        keys.append(u"{").append(chord.key->name).append(u"}");
    } else {
        keys += EscapeKeyChar(chord.character);
    }
    return keys;
}

Result<KeyChord> ParseKeyString(std::u16string_view keys) {
    if (keys == kLineEndKeys) {
        return KeyChord::Typing(u'\r');
    }
    KeyChord chord;
    for (; !keys.empty(); keys.remove_prefix(1)) {
        const std::uint8_t bit = keys[0] == u'+'   ? kShiftBit
                                 : keys[0] == u'^' ? kControlBit
                                 : keys[0] == u'%' ? kAltBit
                                                   : 0;
        if (bit == 0) {
            break;
        }
        chord.modifiers |= bit;
    }
    if (keys.size() == 1 && keys[0] == u'~') {
        chord.key = FindNamedKey(u"ENTER");
        return chord;
    }
    if (keys.size() == 1 && !IsKeySpecial(keys[0])) {
        chord.character = keys[0];
        return chord;
    }
    if (keys.size() == 3 && keys[0] == u'{' && keys[2] == u'}') {
        chord.character = keys[1];
        return chord;
    }
    if (keys.size() > 3 && keys.front() == u'{' && keys.back() == u'}') {
        if ((chord.key = FindNamedKey(keys.substr(1, keys.size() - 2)))) {
            return chord;
        }
    }
    return NotOneKey();
}

}  // namespace quillrun
