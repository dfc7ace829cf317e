#include "win32/win32_hot_key_dialog.h"

#include <commctrl.h>

#include <algorithm>

#include "win32/win32_text.h"

namespace quillrun::win32 {
namespace {

// The hot-key control's modifier flags (HOTKEYF_) are not RegisterHotKey's (MOD_).
struct FlagPair {
    BYTE control;
    std::uint8_t hotKey;
};
constexpr FlagPair kFlagPairs[] = {
    {HOTKEYF_CONTROL, HotKey::kCtrl},
    {HOTKEYF_SHIFT, HotKey::kShift},
    {HOTKEYF_ALT, HotKey::kAlt},
};

WPARAM ControlValue(HotKey key) {
    BYTE flags = 0;
    for (const FlagPair& pair : kFlagPairs) {
        if ((key.modifiers & pair.hotKey) != 0) {
            flags = static_cast<BYTE>(flags | pair.control);
        }
    }
    return MAKEWORD(key.key, flags);
}

HotKey FromControlValue(LRESULT value) {
    HotKey key;
    key.key = LOBYTE(LOWORD(value));
    const BYTE flags = HIBYTE(LOWORD(value));
    for (const FlagPair& pair : kFlagPairs) {
        if ((flags & pair.control) != 0) {
            key.modifiers = static_cast<std::uint8_t>(key.modifiers | pair.hotKey);
        }
    }
    return key;
}

// Over the middle of Quillrun's window, where the user's eyes are, kept on its monitor.
void CenterOnOwner(HWND dialog) {
    const HWND owner = ::GetWindow(dialog, GW_OWNER);
    RECT outer{};
    RECT own{};
    if (owner == nullptr || !::GetWindowRect(owner, &outer) || !::GetWindowRect(dialog, &own)) {
        return;
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    const LONG width = own.right - own.left;
    const LONG height = own.bottom - own.top;
    LONG left = (outer.left + outer.right - width) / 2;
    LONG top = (outer.top + outer.bottom - height) / 2;
    left = std::max(work.left, std::min(left, work.right - width));
    top = std::max(work.top, std::min(top, work.bottom - height));
    ::SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

struct DialogState {
    const HotKeyDialog* dialog;
    std::optional<HotKey> chosen;
};

INT_PTR CALLBACK HotKeyDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            ::SetWindowLongPtrW(window, DWLP_USER, lParam);
            const HotKeyDialog& dialog = *reinterpret_cast<DialogState*>(lParam)->dialog;
            ::SetDlgItemTextW(window, kHotKeyPromptId, ToWide(dialog.prompt).c_str());
            ::SetDlgItemTextW(window, kNoHotKeyButtonId, ToWide(dialog.none).c_str());
            ::SetDlgItemTextW(window, IDOK, ToWide(dialog.ok).c_str());
            ::SetDlgItemTextW(window, IDCANCEL, ToWide(dialog.cancel).c_str());
            const HWND control = ::GetDlgItem(window, kHotKeyControlId);
            // A key alone, or with Shift alone, would take a key the user types with: it gets
            // Ctrl+Alt.
            ::SendMessageW(control, HKM_SETRULES, HKCOMB_NONE | HKCOMB_S,
                           MAKELPARAM(HOTKEYF_CONTROL | HOTKEYF_ALT, 0));
            ::SendMessageW(control, HKM_SETHOTKEY, ControlValue(dialog.current), 0);
            ::SetFocus(control);
            CenterOnOwner(window);
            return FALSE;  // the focus was set here
        }
        case WM_COMMAND: {
            auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(window, DWLP_USER));
            const HWND control = ::GetDlgItem(window, kHotKeyControlId);
            switch (LOWORD(wParam)) {
                case kNoHotKeyButtonId:
                    ::SendMessageW(control, HKM_SETHOTKEY, 0, 0);
                    ::SetFocus(control);
                    return TRUE;
                case IDOK: {
                    const HotKey shown =
                        FromControlValue(::SendMessageW(control, HKM_GETHOTKEY, 0, 0));
                    // The control has no Win key: a key with it, left as it was shown, stays.
                    const HotKey current = state->dialog->current;
                    state->chosen = ControlValue(shown) == ControlValue(current) ? current : shown;
                    ::EndDialog(window, IDOK);
                    return TRUE;
                }
                case IDCANCEL:
                    ::EndDialog(window, IDCANCEL);
                    return TRUE;
                default:
                    return FALSE;
            }
        }
        default:
            return FALSE;
    }
}

}  // namespace

std::optional<HotKey> RunHotKeyDialog(HWND owner, const HotKeyDialog& dialog) {
    DialogState state{&dialog, std::nullopt};
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kHotKeyDialogId), owner,
                      &HotKeyDialogProc, reinterpret_cast<LPARAM>(&state));
    return state.chosen;
}

}  // namespace quillrun::win32
