// A hook library for end-to-end tests: a popup menu's items can only be read in the process
// that owns the menu, so a test hooks that process's window thread with this library and posts
// the menu's window a request; the hook, running in that thread, writes the items to a file.
#include <windows.h>

#include <string>

#include "tests/tools/menu_probe_protocol.h"

namespace {

// One line per item: a separator as "-", a grayed item after "(grayed) ", a submenu's items
// indented by four spaces.
void Describe(HMENU menu, const std::wstring& indent, std::wstring& lines) {
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = static_cast<UINT>(std::size(text) - 1);
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item)) {
            lines += indent + L"?\n";
            continue;
        }
        const bool grayed = (item.fState & MFS_GRAYED) != 0;
        lines += indent + ((item.fType & MFT_SEPARATOR) != 0 ? std::wstring(L"-")
                           : (grayed ? L"(grayed) " : L"") + std::wstring(text)) +
                 L"\n";
        if (item.hSubMenu != nullptr) {
            Describe(item.hSubMenu, indent + L"    ", lines);
        }
    }
}

}  // namespace

// WH_GETMESSAGE: the request is the registered message kMenuItemsRequest, posted to the menu's
// window with the asking process's id.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    MenuItemsHook(int code, WPARAM removal, LPARAM message) {
    static const UINT request = ::RegisterWindowMessageW(quillrun::testing::kMenuItemsRequest);
    const MSG* msg = reinterpret_cast<const MSG*>(message);
    if (code == HC_ACTION && removal == PM_REMOVE && msg->message == request) {
        // MN_GETHMENU: the menu a popup menu window shows.
        const auto menu = reinterpret_cast<HMENU>(::SendMessageW(msg->hwnd, 0x01E1, 0, 0));
        std::wstring lines;
        if (menu != nullptr) {
            Describe(menu, L"", lines);
        }
        // Written whole under another name first, so that the test never reads half of it.
        const std::wstring file = quillrun::testing::MenuItemsFile(static_cast<DWORD>(msg->wParam));
        const std::wstring partial = file + L".part";
        HANDLE out = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(out, lines.data(), static_cast<DWORD>(lines.size() * sizeof(wchar_t)),
                        &written, nullptr);
            ::CloseHandle(out);
            ::MoveFileExW(partial.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }
    return ::CallNextHookEx(nullptr, code, removal, message);
}
