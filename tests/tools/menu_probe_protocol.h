// What the menu probe library and the tests that load it agree on.
#pragma once

#include <windows.h>

#include <string>

namespace quillrun::testing {

// The entry point to hook with (WH_GETMESSAGE).
inline constexpr char kMenuItemsHookName[] = "MenuItemsHook";
// The registered message a test posts to the menu's window, with its own process id.
inline constexpr wchar_t kMenuItemsRequest[] = L"QuillrunTestMenuItems";

// The file the items go to, named for the test process that asked: UTF-16LE lines.
inline std::wstring MenuItemsFile(DWORD testProcess) {
    wchar_t folder[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder) + L"qr-menu-items-" + std::to_wstring(testProcess) + L".txt";
}

}  // namespace quillrun::testing
