#include "keys/keystrokes.h"

#include <array>
#include <utility>

namespace quillrun {
namespace {

constexpr std::uint8_t kAltGrBits = kControlBit | kAltBit;

bool AcceptableModifiers(std::uint8_t modifiers) {
    const auto withoutShift = static_cast<std::uint8_t>(modifiers & ~kShiftBit);
    return withoutShift == 0 || withoutShift == kAltGrBits;
}

bool IsSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

bool IsControl(char16_t c) {
    return c < 0x20 || c == 0x7F;
}

void Press(std::vector<KeyEvent>& events, KeyEvent::Kind kind, std::uint16_t code) {
    events.push_back({.kind = kind, .code = code, .up = false, .typesCharacter = true});
    events.push_back({.kind = kind, .code = code, .up = true, .typesCharacter = false});
}

// Presses `press` and releases it, with the `modifiers` (Shift, and the left Ctrl and Alt keys)
// held around it, and AltGr held last when `altGr`.
void PressWithModifiers(std::vector<KeyEvent>& events, std::uint8_t modifiers, bool altGr,
                        KeyEvent press) {
    constexpr std::uint8_t kModifierKeys[][2] = {
        {kShiftBit, vk::kShift}, {kControlBit, vk::kControl}, {kAltBit, vk::kAlt}};
    const std::size_t first = events.size();
    for (const auto& [bit, modifierKey] : kModifierKeys) {
        if ((modifiers & bit) != 0) {
            events.push_back({.kind = KeyEvent::Kind::VirtualKey, .code = modifierKey});
        }
    }
    if (altGr) {
        // AltGr is the right Alt key, scan code E0 38: a far side that reads scan codes (a
        // virtual machine's guest, a KVM switch) takes the left Ctrl and Alt as a shortcut.
        // On a layout with AltGr (KLLF_ALTGR), Windows presses the left Ctrl itself with the
        // right Alt and lets it go with it, as for a real keyboard, so programs here still
        // read the Ctrl+Alt that the layout's AltGr level is.
        events.push_back({.kind = KeyEvent::Kind::VirtualKey,
                          .code = vk::kRightAlt,
                          .scanCode = vk::kRightAltScanCode,
                          .extended = true});
    }
    const std::size_t modifiersDown = events.size();
    events.push_back(press);
    KeyEvent release = press;
    release.up = true;
    release.typesCharacter = false;
    release.deadKey = false;
    events.push_back(release);
    for (std::size_t i = modifiersDown; i-- > first;) {
        release = events[i];
        release.up = true;
        events.push_back(release);
    }
}

// Presses `key` with its modifiers and a shortcut's `extra` ones held around it; its press
// types the character unless it is a dead key. The layout's Ctrl+Alt is its AltGr level.
void PressLayoutKey(std::vector<KeyEvent>& events, LayoutKey key, bool dead,
                    std::uint8_t extra = 0) {
    const bool altGr = (key.modifiers & kAltGrBits) == kAltGrBits;
    const auto own = static_cast<std::uint8_t>(altGr ? key.modifiers & ~kAltGrBits : key.modifiers);
    PressWithModifiers(events, static_cast<std::uint8_t>(own | extra), altGr,
                       {.kind = KeyEvent::Kind::VirtualKey,
                        .code = key.virtualKey,
                        .up = false,
                        .typesCharacter = !dead,
                        .deadKey = dead});
}

// The keys that type text: Space, digits, letters and the punctuation keys, which every layout
// places among these codes. The numeric keypad is left out: what it types depends on Num Lock,
// which on a remote computer is that computer's.
constexpr std::array<std::pair<std::uint8_t, std::uint8_t>, 5> kTextKeyRanges{{
    {0x20, 0x20},
    {0x30, 0x39},
    {0x41, 0x5A},
    {0x92, 0x96},
    {0xBA, 0xE4},
}};
// Modifiers a text key is tried with, fewest first.
constexpr std::array<std::uint8_t, 4> kTextModifiers{0, kShiftBit, kAltGrBits,
                                                     kShiftBit | kAltGrBits};

template <class Visit>
void ForEachTextKey(Visit&& visit) {
    for (const std::uint8_t modifiers : kTextModifiers) {
        for (const auto& [first, last] : kTextKeyRanges) {
            for (unsigned code = first; code <= last; ++code) {
                visit(LayoutKey{static_cast<std::uint8_t>(code), modifiers});
            }
        }
    }
}

}  // namespace

KeyboardLayout::KeyboardLayout() = default;
KeyboardLayout::~KeyboardLayout() = default;

const LayoutKeys& KeyboardLayout::AllKeys() const {
    if (!allKeys_) {
        allKeys_ = std::make_unique<LayoutKeys>(*this);
    }
    return *allKeys_;
}

LayoutKeys::LayoutKeys(const KeyboardLayout& layout) {
    std::vector<LayoutKey> deadKeys;
    ForEachTextKey([&](LayoutKey key) {
        if (layout.IsDeadKey(key)) {
            deadKeys.push_back(key);
        } else if (const std::optional<char16_t> c = layout.CharacterFrom(key, false)) {
            keys_.try_emplace(*c, key);
        }
    });
    for (const LayoutKey dead : deadKeys) {
        ForEachTextKey([&](LayoutKey base) {
            if (const std::optional<char16_t> c = layout.ComposedFrom(dead, base)) {
                composed_.try_emplace(*c, ComposedKeys{dead, base});
            }
        });
    }
}

std::optional<LayoutKey> LayoutKeys::KeyFor(char16_t c) const {
    const auto found = keys_.find(c);
    return found == keys_.end() ? std::nullopt : std::optional<LayoutKey>(found->second);
}

std::optional<ComposedKeys> LayoutKeys::ComposedKeysFor(char16_t c) const {
    const auto found = composed_.find(c);
    return found == composed_.end() ? std::nullopt : std::optional<ComposedKeys>(found->second);
}

std::optional<LayoutKey> ChooseLayoutKey(char16_t c, const KeyboardLayout& layout,
                                         CapsLock knownCapsLock) {
    std::optional<LayoutKey> listed = layout.KeyFor(c);
    if (!listed || !AcceptableModifiers(listed->modifiers) ||
        layout.CharacterFrom(*listed, false) != c) {
        // A layout's own listing can miss what its keys type (Wine's lists no key for "(" or
        // ")" on the US layout, which has them on Shift+9 and Shift+0) or name a dead key.
        listed = layout.AllKeys().KeyFor(c);
    }
    if (!listed) {
        return std::nullopt;
    }
    if (!knownCapsLock) {
        // Only a key that gives `c` either way is safe; a letter goes as a Unicode event.
        const bool same =
            layout.CharacterFrom(*listed, false) == c && layout.CharacterFrom(*listed, true) == c;
        return same ? listed : std::nullopt;
    }
    const bool capsLock = *knownCapsLock;
    if (layout.CharacterFrom(*listed, capsLock) == c) {
        return listed;
    }
    // Layouts list keys as typed without Caps Lock; with it on, letters need Shift the other
    // way round.
    if (capsLock) {
        const LayoutKey flipped{listed->virtualKey,
                                static_cast<std::uint8_t>(listed->modifiers ^ kShiftBit)};
        if (layout.CharacterFrom(flipped, capsLock) == c) {
            return flipped;
        }
    }
    return std::nullopt;
}

std::vector<KeyEvent> PlanKeystrokes(char16_t c, const KeyboardLayout& layout, CapsLock capsLock,
                                     KeyMode mode) {
    std::vector<KeyEvent> events;
    if (c == u'\r' || c == u'\n') {
        Press(events, KeyEvent::Kind::VirtualKey, vk::kReturn);
        return events;
    }
    if (c == u'\t') {
        Press(events, KeyEvent::Kind::VirtualKey, vk::kTab);
        return events;
    }
    // Programs act on other control characters as editing commands, whichever way they arrive.
    if (IsNeverTypedControl(c)) {
        return events;
    }
    if (mode == KeyMode::UnicodeForText) {
        Press(events, KeyEvent::Kind::Unicode, c);
        return events;
    }
    const bool keysOnly = mode == KeyMode::KeysOnly;
    if (keysOnly && !capsLock) {
        // The far side's Caps Lock is the far side's; it is taken as off.
        capsLock = false;
    }
    const bool typable = !IsSurrogate(c);
    if (const std::optional<LayoutKey> key =
            typable ? ChooseLayoutKey(c, layout, capsLock) : std::nullopt) {
        PressLayoutKey(events, *key, false);
        return events;
    }
    if (!keysOnly) {
        Press(events, KeyEvent::Kind::Unicode, c);
        return events;
    }
    const std::optional<ComposedKeys> composed =
        typable ? layout.AllKeys().ComposedKeysFor(c) : std::nullopt;
    if (!composed) {
        return events;
    }
    LayoutKey base = composed->base;
    // Caps Lock changes the key after the accent as it changes any letter.
    if (*capsLock && layout.CharacterFrom(base, true) != layout.CharacterFrom(base, false)) {
        base.modifiers = static_cast<std::uint8_t>(base.modifiers ^ kShiftBit);
    }
    PressLayoutKey(events, composed->dead, true);
    PressLayoutKey(events, base, false);
    return events;
}

std::vector<KeyEvent> PlanChord(const KeyChord& chord, const KeyboardLayout& layout,
                                CapsLock capsLock, KeyMode mode) {
    std::vector<KeyEvent> events;
    if (chord.key) {
        PressWithModifiers(events, chord.modifiers, false,
                           {.kind = KeyEvent::Kind::VirtualKey,
                            .code = chord.key->virtualKey,
                            .up = false,
                            .typesCharacter = true,
                            .scanCode = chord.key->scanCode,
                            .extended = chord.key->extended});
        return events;
    }
    if (chord.modifiers == 0) {
        return PlanKeystrokes(chord.character, layout, capsLock, mode);
    }
    const char16_t c = chord.character;
    if (IsControl(c) || IsSurrogate(c)) {
        return events;
    }
    if (const std::optional<LayoutKey> key = ChooseLayoutKey(c, layout, false)) {
        PressLayoutKey(events, *key, false, chord.modifiers);
    }
    return events;
}

KeyMode ModeForUnknownLayout(KeyMode chosen) {
    return chosen == KeyMode::KeysOnly ? KeyMode::KeysOnly : KeyMode::UnicodeForText;
}

std::size_t QueuedMessages(std::span<const KeyEvent> events) {
    std::size_t messages = 0;
    for (const KeyEvent& event : events) {
        const bool translated = event.typesCharacter || event.deadKey;
        const bool altGr = event.kind == KeyEvent::Kind::VirtualKey && event.code == vk::kRightAlt;
        messages += 1 + (translated ? 1 : 0) + (altGr ? 1 : 0);
    }
    return messages;
}

RoundTrips RoundTripsToHandle(std::span<const KeyEvent> events, std::size_t queuedBefore) {
    std::size_t messages = 0;
    std::size_t untilTyped = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        messages += QueuedMessages(events.subspan(i, 1));
        if (events[i].typesCharacter) {
            untilTyped = messages;
        }
    }
    // One round trip per message up to the character, one for the turn after it, one for the
    // hand-over from the system's queue.
    const std::size_t needed = queuedBefore + untilTyped + 2;
    // In the worst case each round trip saw one message taken: the rest may still wait.
    const std::size_t leftOver = messages > untilTyped ? messages - untilTyped - 1 : 0;
    return {.count = needed, .leftOver = leftOver};
}

bool KeptElsewhere(std::span<const KeyEvent> events, std::size_t queuedBefore, bool mayBeHotKey,
                   std::size_t roundTripsAnswered, std::chrono::milliseconds sinceSent) {
    return mayBeHotKey && roundTripsAnswered > RoundTripsToHandle(events, queuedBefore).count &&
           sinceSent >= kKeptElsewhereAfter;
}

}  // namespace quillrun
