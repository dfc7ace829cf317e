// Hot keys as text: how quillrun.ini keeps one and Start's menu names it ("Ctrl+Shift+Alt+V").
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "desktop/desktop_services.h"

namespace quillrun {

// The word quillrun.ini keeps for no hot key.
inline constexpr std::u16string_view kNoHotKeyText = u"none";

// The modifiers in the order Windows names them ("Ctrl+Shift+Alt+Win+"), then the key: its
// name where it has one that no layout changes (a letter, a digit, F1, Space, PageUp, Num 5),
// else its virtual-key code in hex ("0xBA"), which reads back as the same key on any layout.
// kNoHotKeyText for none.
std::u16string HotKeyText(HotKey key);

// HotKeyText's text back, letters in any case and the modifiers in any order; nullopt for
// anything else (a modifier twice, no key, an unknown name).
std::optional<HotKey> ParseHotKey(std::u16string_view text);

}  // namespace quillrun
