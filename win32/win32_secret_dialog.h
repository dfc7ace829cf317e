// The dialog that asks for a secret (a password) to type: a masked box, "Show", "Press Enter
// after it", why the box's text cannot be typed, OK and Cancel. Its layout is the resource
// script's; its texts are the caller's.
#pragma once

#include <windows.h>

#include <optional>

#include "desktop/desktop_services.h"

namespace quillrun::win32 {

// The dialog's resource and its controls' identifiers, as quillrun.rc has them.
inline constexpr int kSecretDialogId = 101;
inline constexpr int kSecretPromptId = 1011;
inline constexpr int kSecretBoxId = 1012;
inline constexpr int kShowSecretId = 1013;
inline constexpr int kPressEnterId = 1014;
inline constexpr int kSecretRefusalId = 1015;

// Runs the dialog, modal to `owner`; the secret, or nullopt when it was cancelled or could not
// be shown. However it closes, the box's text is overwritten and emptied and the dialog's own
// copy wiped before this returns; the secret returned is the one copy left, the caller's.
std::optional<SecretEntry> RunSecretDialog(HWND owner, const SecretDialog& dialog);

}  // namespace quillrun::win32
