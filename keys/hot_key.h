// Hot keys as text: how quillrun.ini keeps one and Start's menu names it ("Ctrl+Shift+Alt+V").
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "desktop/desktop_services.h"
#include "keys/keystrokes.h"

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

// Why a combination may not be the hot key: a system-wide hot key takes its keys from every
// program, so it must not be one that people type with or that programs rely on.
enum class HotKeyRefusal {
    // Neither Ctrl, Alt nor Win: the key alone, or with Shift, is typed in every program.
    NoModifier,
    // F12 alone: Windows keeps it for debuggers ("RegisterHotKey", Remarks).
    KeptForDebuggers,
    // Ctrl+Alt with a character key: Windows reads AltGr as Ctrl+Alt, so on a German or Polish
    // layout it would take a character ("\u20AC", "\u0119") from every program.
    AltGrCharacter,
    // Ctrl alone with a character key: a shortcut of most programs (copy, paste, undo, save).
    ProgramShortcut,
    // Alt alone with a character key: opens a program's menu (Alt+Space, the window's menu).
    MenuKey,
};

// Why `key` may not be the hot key; nullopt when it may (no hot key at all may, too).
std::optional<HotKeyRefusal> RefusalOf(HotKey key);

// The key the dialog's hot-key control stands for while it holds `shown`, the dialog having
// opened on `current`. The system's control has no Windows key: it shows `current` without it,
// and left so, it is `current` still; whatever else it holds has no Win.
HotKey KeyOfControl(HotKey shown, HotKey current);

// Whether carrying out `events` presses `key`: its key goes down while exactly its modifiers
// are held, left or right ones alike, as Windows matches a registered hot key. The right Alt
// counts as Ctrl+Alt too, since on a layout with AltGr Windows presses the left Ctrl with it.
// A Unicode event is no key. No hot key is never pressed.
bool PressesHotKey(std::span<const KeyEvent> events, HotKey key);

}  // namespace quillrun
