// Drives windows from scripts, for the run command's headless demonstration.
//
//   qr_driver wait-window CAPTION [SECONDS]   prints "WIDTHxHEIGHT+LEFT+TOP" of the window's frame
//   qr_driver close-window CAPTION            asks the window to close and waits until it is gone
//   qr_driver move-window CAPTION LEFT TOP    moves the window's frame there; prints it
//   qr_driver type-file CAPTION PATH          puts PATH into Quillrun's path box, clicks Start
//   qr_driver wait-typed CLASS COUNT [SECONDS]
//                                             waits until an Edit control in a window of that
//                                             class holds COUNT characters; prints the window's
//                                             frame like wait-window
//   qr_driver open-start-menu CAPTION        clicks the arrow of that Quillrun window's Start;
//                                             prints the open menu's frame like wait-window
//   qr_driver open-last-submenu               in the open menu, opens its last submenu, the
//                                             item above the hot key's (End, Up, Right); prints
//                                             that submenu's frame
//   qr_driver close-menu                      presses Esc until every open menu is gone
//   qr_driver open-hot-key-dialog CAPTION     opens that Quillrun window's hot-key dialog from
//                                             the end of Start's menu; prints its frame
//   qr_driver open-secret-dialog CAPTION      opens its dialog that asks for a secret from
//                                             Start's menu; prints its frame
//   qr_driver cancel-dialog CAPTION           presses Esc until that window owns no dialog
//   qr_driver keep-desktop                    holds a hidden window until ended, so that Wine's
//                                             virtual desktop stays up between test programs
//
// Exit code 0 on success, 1 when the window did not appear or close in time, 2 on bad usage.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/win32/e2e_support.h"

namespace {

using namespace quillrun::testing;

// Start's command that asks for a secret to type into the window clicked next.
constexpr int kSecretItemId = 205;

HWND FindTopLevel(const std::wstring& caption, Clock::duration timeout = kUiTimeout) {
    HWND found = nullptr;
    const bool shown = WaitUntil(
        [&] {
            found = ::FindWindowW(nullptr, caption.c_str());
            return found != nullptr && ::IsWindowVisible(found);
        },
        timeout);
    return shown ? found : nullptr;
}

void PrintFrame(HWND window) {
    ::UpdateWindow(window);
    RECT frame;
    ::GetWindowRect(window, &frame);
    std::printf("%ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left,
                frame.top);
}

int WaitWindow(const std::wstring& caption, int seconds) {
    HWND window = FindTopLevel(caption, std::chrono::seconds(seconds));
    if (window == nullptr) {
        std::fprintf(stderr, "no window captioned \"%ls\" appeared\n", caption.c_str());
        return 1;
    }
    PrintFrame(window);
    return 0;
}

int MoveWindow(const std::wstring& caption, int left, int top) {
    HWND window = FindTopLevel(caption);
    if (window == nullptr) {
        return 1;
    }
    ::SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PrintFrame(window);
    return 0;
}

int TypeFile(const std::wstring& caption, const std::wstring& path) {
    HWND window = FindTopLevel(caption);
    if (window == nullptr) {
        return 1;
    }
    SetPathBox(window, path);
    ClickStart(window);
    return 0;
}

int WaitTyped(const std::wstring& windowClass, std::size_t count, int seconds) {
    HWND typedInto = nullptr;
    const bool done = WaitUntil(
        [&] {
            for (HWND window :
                 VisibleTopLevelWindows([&](HWND w) { return ClassName(w) == windowClass; })) {
                HWND edit = ::FindWindowExW(window, nullptr, L"Edit", nullptr);
                if (edit != nullptr && Text(edit).size() >= count) {
                    typedInto = window;
                    return true;
                }
            }
            return false;
        },
        std::chrono::seconds(seconds));
    if (!done) {
        std::fprintf(stderr, "no %ls window received %zu characters\n", windowClass.c_str(), count);
        return 1;
    }
    PrintFrame(typedInto);
    return 0;
}

int OpenStartMenuOf(const std::wstring& caption) {
    HWND window = FindTopLevel(caption);
    HWND menu = window != nullptr ? OpenStartMenu(window) : nullptr;
    if (menu == nullptr) {
        std::fprintf(stderr, "Start's menu did not open\n");
        return 1;
    }
    PrintFrame(menu);
    return 0;
}

std::vector<HWND> OpenMenus() {
    return VisibleTopLevelWindows([](HWND w) { return ClassName(w) == L"#32768"; });
}

int OpenLastSubmenu() {
    const std::vector<HWND> before = OpenMenus();
    if (before.empty()) {
        return 1;
    }
    PressKey(VK_END);
    PressKey(VK_UP);  // past the separator too
    PressKey(VK_RIGHT);
    HWND submenu = nullptr;
    WaitUntil([&] {
        for (HWND menu : OpenMenus()) {
            if (std::find(before.begin(), before.end(), menu) == before.end()) {
                submenu = menu;
            }
        }
        return submenu != nullptr;
    });
    if (submenu == nullptr) {
        std::fprintf(stderr, "the submenu did not open\n");
        return 1;
    }
    PrintFrame(submenu);
    return 0;
}

int CloseMenu() {
    if (OpenMenus().empty()) {
        return 1;
    }
    // One Esc closes the innermost menu.
    for (int i = 0; i < 3 && !OpenMenus().empty(); ++i) {
        const std::size_t open = OpenMenus().size();
        PressKey(VK_ESCAPE);
        WaitUntil([&] { return OpenMenus().size() < open; });
    }
    return OpenMenus().empty() ? 0 : 1;
}

// The dialogs `owner` has open (its message boxes among them).
std::vector<HWND> DialogsOf(HWND owner) {
    return VisibleTopLevelWindows(
        [&](HWND w) { return ClassName(w) == L"#32770" && ::GetWindow(w, GW_OWNER) == owner; });
}

// Quillrun's main window: its dialogs bear the same caption.
HWND FindQuillrun(const std::wstring& caption) {
    return ::FindWindowW(L"QuillrunMainForm", caption.c_str());
}

// Opens Start's menu of that Quillrun window, chooses an item in it and prints the frame of
// the dialog that the item opens.
int OpenDialogFromMenu(const std::wstring& caption, const std::function<bool(HWND)>& choose) {
    HWND window = FindQuillrun(caption);
    HWND menu = window != nullptr ? OpenStartMenu(window) : nullptr;
    if (menu == nullptr || !choose(menu)) {
        return 1;
    }
    HWND dialog = nullptr;
    if (!WaitUntil([&] {
            const auto dialogs = DialogsOf(window);
            dialog = dialogs.empty() ? nullptr : dialogs.front();
            return dialog != nullptr;
        })) {
        std::fprintf(stderr, "the dialog did not open\n");
        return 1;
    }
    PrintFrame(dialog);
    return 0;
}

int OpenHotKeyDialog(const std::wstring& caption) {
    return OpenDialogFromMenu(caption, [](HWND) {
        PressKey(VK_END);
        PressKey(VK_RETURN);
        return true;
    });
}

int OpenSecretDialog(const std::wstring& caption) {
    return OpenDialogFromMenu(
        caption, [](HWND menu) { return ChooseMenuItem(menu, StartMenuIndexOf(kSecretItemId)); });
}

int CancelDialog(const std::wstring& caption) {
    HWND window = FindQuillrun(caption);
    if (window == nullptr) {
        return 1;
    }
    for (int i = 0; i < 3 && !DialogsOf(window).empty(); ++i) {
        PressKey(VK_ESCAPE);
        WaitUntil([&] { return DialogsOf(window).empty(); });
    }
    return DialogsOf(window).empty() ? 0 : 1;
}

int CloseWindow(const std::wstring& caption) {
    HWND window = FindTopLevel(caption);
    if (window == nullptr) {
        return 1;
    }
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitUntil([&] { return !::IsWindow(window); }) ? 0 : 1;
}

// Wine closes its virtual desktop a little after the last window goes, and the next program
// starts a new one that inherits that program's output; a test runner then waits for it.
int KeepDesktop() {
    HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"STATIC",
                                    L"Quillrun desktop keeper", WS_POPUP, 0, 0, 1, 1, nullptr,
                                    nullptr, nullptr, nullptr);
    if (window == nullptr) {
        return 1;
    }
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"wait-window" && argc >= 3) {
        return WaitWindow(argv[2], argc >= 4 ? _wtoi(argv[3]) : 15);
    }
    if (command == L"close-window" && argc == 3) {
        return CloseWindow(argv[2]);
    }
    if (command == L"move-window" && argc == 5) {
        return MoveWindow(argv[2], _wtoi(argv[3]), _wtoi(argv[4]));
    }
    if (command == L"type-file" && argc == 4) {
        return TypeFile(argv[2], argv[3]);
    }
    if (command == L"wait-typed" && argc >= 4) {
        return WaitTyped(argv[2], std::wcstoul(argv[3], nullptr, 10),
                         argc >= 5 ? _wtoi(argv[4]) : 60);
    }
    if (command == L"open-start-menu" && argc == 3) {
        return OpenStartMenuOf(argv[2]);
    }
    if (command == L"open-last-submenu" && argc == 2) {
        return OpenLastSubmenu();
    }
    if (command == L"close-menu" && argc == 2) {
        return CloseMenu();
    }
    if (command == L"open-hot-key-dialog" && argc == 3) {
        return OpenHotKeyDialog(argv[2]);
    }
    if (command == L"open-secret-dialog" && argc == 3) {
        return OpenSecretDialog(argv[2]);
    }
    if (command == L"cancel-dialog" && argc == 3) {
        return CancelDialog(argv[2]);
    }
    if (command == L"keep-desktop") {
        return KeepDesktop();
    }
    std::fprintf(stderr,
                 "usage: qr_driver wait-window CAPTION [SECONDS] | close-window CAPTION |\n"
                 "                 move-window CAPTION LEFT TOP |\n"
                 "                 type-file CAPTION PATH | wait-typed CLASS COUNT [SECONDS] |\n"
                 "                 open-start-menu CAPTION | open-last-submenu | close-menu |\n"
                 "                 open-hot-key-dialog CAPTION | open-secret-dialog CAPTION |\n"
                 "                 cancel-dialog CAPTION |\n"
                 "                 keep-desktop\n");
    return 2;
}
