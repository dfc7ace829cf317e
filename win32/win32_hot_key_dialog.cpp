#include "win32/win32_hot_key_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "keys/hot_key.h"
#include "win32/win32_handles.h"
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

struct DialogState {
    const HotKeyDialog* dialog;
    std::optional<HotKey> chosen;
};

// The key the control stands for now.
HotKey KeyShown(HWND window, const HotKeyDialog& dialog) {
    const HWND control = ::GetDlgItem(window, kHotKeyControlId);
    return KeyOfControl(FromControlValue(::SendMessageW(control, HKM_GETHOTKEY, 0, 0)),
                        dialog.current);
}

// Why that key may not be the hot key; empty when it may.
std::u16string RefusalOfShown(HWND window, const HotKeyDialog& dialog) {
    return dialog.refusal ? dialog.refusal(KeyShown(window, dialog)) : std::u16string();
}

// Moves `child` down by `by` pixels.
void MoveDown(HWND window, int child, LONG by) {
    const HWND control = ::GetDlgItem(window, child);
    RECT box{};
    ::GetWindowRect(control, &box);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
    ::SetWindowPos(control, nullptr, box.left, box.top + by, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The resource leaves three lines for a refusal; a longer one (a larger font, another
// language) makes the dialog taller, with OK and Cancel below it. It never shrinks again, so
// that the buttons stay where they are while the user tries keys.
void GrowToFit(HWND window, const std::wstring& text) {
    const HWND note = ::GetDlgItem(window, kHotKeyRefusalId);
    RECT box{};
    ::GetClientRect(note, &box);
    RECT needed{0, 0, box.right, 0};
    {
        const WindowDc dc(note);
        const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageW(note, WM_GETFONT, 0, 0));
        const HGDIOBJ before = ::SelectObject(dc.get(), font);
        // As a left-aligned static draws its text.
        ::DrawTextW(dc.get(), text.c_str(), -1, &needed,
                    DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        ::SelectObject(dc.get(), before);
    }
    const LONG grow = needed.bottom - box.bottom;
    if (grow <= 0) {
        return;
    }
    ::SetWindowPos(note, nullptr, 0, 0, box.right, needed.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    MoveDown(window, IDOK, grow);
    MoveDown(window, IDCANCEL, grow);
    RECT outer{};
    ::GetWindowRect(window, &outer);
    ::SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top + grow,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Says under the control why the key it holds is refused; OK is offered only for a key that
// is not, as Windows' own dialogs keep OK grayed until what they hold is acceptable.
void ShowRefusal(HWND window, const HotKeyDialog& dialog) {
    const std::wstring why = ToWide(RefusalOfShown(window, dialog));
    GrowToFit(window, why);
    ::SetDlgItemTextW(window, kHotKeyRefusalId, why.c_str());
    ::EnableWindow(::GetDlgItem(window, IDOK), why.empty() ? TRUE : FALSE);
}

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
            // No combination is rewritten (the control could add Ctrl+Alt to a key alone): the
            // user sees what they pressed, and one that may not be the hot key says why.
            ::SendMessageW(control, HKM_SETRULES, 0, 0);
            ::SendMessageW(control, HKM_SETHOTKEY, ControlValue(dialog.current), 0);
            ShowRefusal(window, dialog);  // a key from quillrun.ini may be refused already
            ::SetFocus(control);
            CenterOnOwner(window);
            return FALSE;  // the focus was set here
        }
        case WM_COMMAND: {
            auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(window, DWLP_USER));
            if (state == nullptr) {
                return FALSE;  // a control's notice before WM_INITDIALOG
            }
            const HWND control = ::GetDlgItem(window, kHotKeyControlId);
            switch (LOWORD(wParam)) {
                case kHotKeyControlId:
                    if (HIWORD(wParam) != EN_CHANGE) {
                        return FALSE;
                    }
                    ShowRefusal(window, *state->dialog);
                    return TRUE;
                case kNoHotKeyButtonId:
                    ::SendMessageW(control, HKM_SETHOTKEY, 0, 0);
                    ShowRefusal(window, *state->dialog);
                    ::SetFocus(control);
                    return TRUE;
                case IDOK:
                    // Enter reaches here too; a refused key keeps the dialog open with its reason.
                    if (!RefusalOfShown(window, *state->dialog).empty()) {
                        return TRUE;
                    }
                    state->chosen = KeyShown(window, *state->dialog);
                    ::EndDialog(window, IDOK);
                    return TRUE;
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

std::optional<HotKey> RunHotKeyDialog(HWND owner, const HotKeyDialog& dialog) {
    DialogState state{&dialog, std::nullopt};
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kHotKeyDialogId), owner,
                      &HotKeyDialogProc, reinterpret_cast<LPARAM>(&state));
    return state.chosen;
}

}  // namespace quillrun::win32
