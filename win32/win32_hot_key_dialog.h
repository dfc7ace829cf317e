// The dialog that sets the hot key: the system's hot-key control, a button for no hot key, why
// the key pressed may not be the hot key, OK and Cancel. Its layout is the resource script's
// (taller for a long reason); its texts are the caller's.
#pragma once

#include <windows.h>

#include <optional>

#include "desktop/desktop_services.h"

namespace quillrun::win32 {

// The dialog's resource and its controls' identifiers, as quillrun.rc has them.
inline constexpr int kHotKeyDialogId = 100;
inline constexpr int kHotKeyPromptId = 1001;
inline constexpr int kHotKeyControlId = 1002;
inline constexpr int kNoHotKeyButtonId = 1003;
inline constexpr int kHotKeyRefusalId = 1004;

// Moves a dialog over the middle of its owner, Quillrun's window, where the user's eyes are;
// kept on the owner's monitor.
void CenterOnOwner(HWND dialog);

// Runs the dialog, modal to `owner`; the key chosen (None() for none), or nullopt when it was
// cancelled or could not be shown.
std::optional<HotKey> RunHotKeyDialog(HWND owner, const HotKeyDialog& dialog);

}  // namespace quillrun::win32
