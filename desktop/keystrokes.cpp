#include "desktop/keystrokes.h"

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

}  // namespace

std::optional<LayoutKey> ChooseLayoutKey(char16_t c, const KeyboardLayout& layout,
                                         CapsLock knownCapsLock) {
    const std::optional<LayoutKey> listed = layout.KeyFor(c);
    if (!listed || !AcceptableModifiers(listed->modifiers)) {
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

std::vector<KeyEvent> PlanKeystrokes(char16_t c, const KeyboardLayout& layout, CapsLock capsLock) {
    std::vector<KeyEvent> events;
    if (c == u'\r' || c == u'\n') {
        Press(events, KeyEvent::Kind::VirtualKey, vk::kReturn);
        return events;
    }
    if (c == u'\t') {
        Press(events, KeyEvent::Kind::VirtualKey, vk::kTab);
        return events;
    }
    std::optional<LayoutKey> key;
    if (!IsControl(c) && !IsSurrogate(c)) {
        key = ChooseLayoutKey(c, layout, capsLock);
    }
    if (!key) {
        Press(events, KeyEvent::Kind::Unicode, c);
        return events;
    }
    constexpr std::uint8_t kModifierKeys[][2] = {
        {kShiftBit, vk::kShift}, {kControlBit, vk::kControl}, {kAltBit, vk::kAlt}};
    for (const auto& [bit, modifierKey] : kModifierKeys) {
        if ((key->modifiers & bit) != 0) {
            events.push_back({.kind = KeyEvent::Kind::VirtualKey, .code = modifierKey});
        }
    }
    const std::size_t modifiersDown = events.size();
    Press(events, KeyEvent::Kind::VirtualKey, key->virtualKey);
    for (std::size_t i = modifiersDown; i-- > 0;) {
        KeyEvent release = events[i];
        release.up = true;
        events.push_back(release);
    }
    return events;
}

RoundTrips RoundTripsToHandle(std::span<const KeyEvent> events, std::size_t queuedBefore) {
    std::size_t messages = 0;
    std::size_t untilTyped = 0;
    for (const KeyEvent& event : events) {
        messages += event.typesCharacter ? 2 : 1;
        if (event.typesCharacter) {
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

}  // namespace quillrun
