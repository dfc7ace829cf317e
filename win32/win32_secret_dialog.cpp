#include "win32/win32_secret_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "win32/win32_hot_key_dialog.h"
#include "win32/win32_text.h"

namespace quillrun::win32 {
namespace {

// The box takes more than a secret may hold, so that a long text pasted into it is refused
// with the reason rather than cut short unseen.
constexpr WPARAM kBoxLimit = 4 * kMaxSecretLength;

struct DialogState {
    const SecretDialog* dialog;
    WPARAM maskCharacter = 0;  // the box's own, put back when "Show" is unchecked
    std::optional<SecretEntry> chosen;
};

// The length of the box's text, which WM_GETTEXTLENGTH tells without copying it.
std::size_t BoxLength(HWND window) {
    return static_cast<std::size_t>(::GetWindowTextLengthW(::GetDlgItem(window, kSecretBoxId)));
}

std::u16string RefusalOf(std::size_t length, const SecretDialog& dialog) {
    return dialog.refusal ? dialog.refusal(length) : std::u16string();
}

bool Acceptable(std::size_t length, const SecretDialog& dialog) {
    return length > 0 && length <= kMaxSecretLength && RefusalOf(length, dialog).empty();
}

// Says under the box why its text cannot be typed; OK is offered only for text that can.
void ShowRefusal(HWND window, const SecretDialog& dialog) {
    const std::size_t length = BoxLength(window);
    ::SetDlgItemTextW(window, kSecretRefusalId, ToWide(RefusalOf(length, dialog)).c_str());
    ::EnableWindow(::GetDlgItem(window, IDOK), Acceptable(length, dialog) ? TRUE : FALSE);
}

// The box's text, read through a buffer that is wiped at once.
SecretEntry ReadSecret(HWND window) {
    std::wstring buffer(BoxLength(window) + 1, L'\0');
    const int read = ::GetWindowTextW(::GetDlgItem(window, kSecretBoxId), buffer.data(),
                                      static_cast<int>(buffer.size()));
    SecretEntry entry;
    // Past the few units a string keeps in itself: moving it then hands its memory over,
    // where a short one's characters would be copied and left behind in the object moved from.
    entry.text.reserve(kMaxSecretLength);
    entry.text.assign(buffer.begin(), buffer.begin() + std::max(read, 0));
    ::SecureZeroMemory(buffer.data(), buffer.size() * sizeof(wchar_t));
    entry.pressEnter = ::IsDlgButtonChecked(window, kPressEnterId) == BST_CHECKED;
    return entry;
}

// The edit control keeps its text in memory of its own, which emptying the box alone would
// leave holding it: the text is first overwritten in place by as many blanks (a replacement
// of the same length reuses the same memory), kept for no undo.
void EmptyBox(HWND window, const DialogState& state) {
    const HWND box = ::GetDlgItem(window, kSecretBoxId);
    const std::wstring blanks(BoxLength(window), L' ');
    ::SendMessageW(box, EM_SETSEL, 0, -1);
    ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(blanks.c_str()));
    ::SetWindowTextW(box, L"");
    ::SendMessageW(box, EM_EMPTYUNDOBUFFER, 0, 0);
    ::CheckDlgButton(window, kShowSecretId, BST_UNCHECKED);
    ::SendMessageW(box, EM_SETPASSWORDCHAR, state.maskCharacter, 0);
}

// The box keeps its text to itself also while "Show" takes it out of the password style: no copy
// or cut to the clipboard, and no text for another thread or program that asks for it (a
// password box gives none, "EM_SETPASSWORDCHAR"); its length only, which tells nothing.
LRESULT CALLBACK SecretBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
                               UINT_PTR /*id*/, DWORD_PTR /*data*/) {
    if (message == WM_COPY || message == WM_CUT) {
        return 0;
    }
    if (message == WM_GETTEXT && ::InSendMessage()) {
        if (wParam > 0 && lParam != 0) {
            reinterpret_cast<wchar_t*>(lParam)[0] = L'\0';
        }
        return 0;
    }
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(box, &SecretBoxProc, 1);
    }
    return ::DefSubclassProc(box, message, wParam, lParam);
}

INT_PTR CALLBACK SecretDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto& state = *reinterpret_cast<DialogState*>(lParam);
        const SecretDialog& dialog = *state.dialog;
        ::SetDlgItemTextW(window, kSecretPromptId, ToWide(dialog.prompt).c_str());
        ::SetDlgItemTextW(window, kShowSecretId, ToWide(dialog.show).c_str());
        ::SetDlgItemTextW(window, kPressEnterId, ToWide(dialog.pressEnter).c_str());
        ::SetDlgItemTextW(window, IDOK, ToWide(dialog.ok).c_str());
        ::SetDlgItemTextW(window, IDCANCEL, ToWide(dialog.cancel).c_str());
        const HWND box = ::GetDlgItem(window, kSecretBoxId);
        ::SendMessageW(box, EM_LIMITTEXT, kBoxLimit, 0);
        ::SetWindowSubclass(box, &SecretBoxProc, 1, 0);
        state.maskCharacter = static_cast<WPARAM>(::SendMessageW(box, EM_GETPASSWORDCHAR, 0, 0));
        ShowRefusal(window, dialog);
        ::SetFocus(box);
        CenterOnOwner(window);
        return FALSE;  // the focus was set here
    }
    auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (state == nullptr) {
        return FALSE;  // before WM_INITDIALOG
    }
    if (message == WM_DESTROY) {
        // Every way out (OK, Cancel, Esc, Alt+F4, the owner going) passes here while the box
        // still exists; its notices find no state from now on.
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        EmptyBox(window, *state);
        return FALSE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
        case kSecretBoxId:
            if (HIWORD(wParam) == EN_CHANGE) {
                ShowRefusal(window, *state->dialog);
            }
            return TRUE;
        case kShowSecretId: {
            // A password character of 0 shows the text (and takes the box out of the
            // password style while it does); the box's own masks it again.
            const bool show = ::IsDlgButtonChecked(window, kShowSecretId) == BST_CHECKED;
            const HWND box = ::GetDlgItem(window, kSecretBoxId);
            ::SendMessageW(box, EM_SETPASSWORDCHAR, show ? 0 : state->maskCharacter, 0);
            ::InvalidateRect(box, nullptr, TRUE);
            return TRUE;
        }
        case IDOK:
            // Enter reaches here too, also while OK is grayed.
            if (Acceptable(BoxLength(window), *state->dialog)) {
                state->chosen = ReadSecret(window);
                ::EndDialog(window, IDOK);
            }
            return TRUE;
        case IDCANCEL:
            ::EndDialog(window, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

std::optional<SecretEntry> RunSecretDialog(HWND owner, const SecretDialog& dialog) {
    DialogState state{&dialog, 0, std::nullopt};
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kSecretDialogId), owner,
                      &SecretDialogProc, reinterpret_cast<LPARAM>(&state));
    // Moved, not copied: a copy would leave the characters in memory no one wipes.
    return std::move(state.chosen);
}

}  // namespace quillrun::win32
