// Short spellings of expected key events for the keystroke tests.
#pragma once

#include <cstdint>

#include "keys/keystrokes.h"

namespace quillrun::key_events {

using K = KeyEvent::Kind;

inline KeyEvent Down(std::uint16_t code, bool types = false, K kind = K::VirtualKey) {
    return {.kind = kind, .code = code, .up = false, .typesCharacter = types};
}
inline KeyEvent DeadDown(std::uint16_t code) {
    return {
        .kind = K::VirtualKey, .code = code, .up = false, .typesCharacter = false, .deadKey = true};
}
inline KeyEvent Up(std::uint16_t code, K kind = K::VirtualKey) {
    return {.kind = kind, .code = code, .up = true, .typesCharacter = false};
}

// AltGr's press (its release with `up`): the right Alt key, with its scan code and E0 prefix.
inline KeyEvent AltGr(bool up = false) {
    return {.kind = K::VirtualKey,
            .code = vk::kRightAlt,
            .up = up,
            .typesCharacter = false,
            .scanCode = vk::kRightAltScanCode,
            .extended = true};
}

// A named key's press (its release with `up`), with its scan code and E0 prefix.
inline KeyEvent Named(std::uint16_t code, std::uint8_t scan, bool extended, bool up = false) {
    return {.kind = K::VirtualKey,
            .code = code,
            .up = up,
            .typesCharacter = !up,
            .scanCode = scan,
            .extended = extended};
}

}  // namespace quillrun::key_events
