// A program to type into. Its window records every keyboard message it handles and builds the
// text an editor would hold from WM_CHAR; optionally a real multi-line EDIT control takes the
// keystrokes instead. What it got is written to the file named after --out when it closes, or
// whenever a test asks with kDumpMessage.
//
//   qr_target.exe --out FILE [--edit | --form] [--char-delay-ms N] [--title CAPTION]
//                 [--key-delay-ms N] [--stall-at N --stall-ms M] [--close-after-ms N]
//                 [--hand-off-after-ms N] [--input-method-open] [--splash-ms N] [--behind]
//                 [--second-window]
//
// --char-delay-ms makes every WM_CHAR take N ms and --key-delay-ms every WM_KEYDOWN and
// WM_KEYUP, like a slow program; --stall-at makes the N-th WM_CHAR take M ms, like a program that
// stops responding for a while; --close-after-ms closes the window N ms after it shows, like a
// program the user closes at once; --hand-off-after-ms shows no window, waits N ms, starts a
// second copy of itself with the other options and exits, like a launcher that hands the launch
// over to another process; --input-method-open opens the window's input method, as a user who
// types Japanese has it; --splash-ms first shows a captionless splash screen (a tool window)
// for N ms, like a business program that loads behind one, and what is typed into it is lost;
// --behind shows the window behind the others without activating it, as Windows Terminal's
// windows often open; --form shows a login form instead of one text: two one-line fields, Tab
// moving from one to the other and Enter submitting it, and FILE receives "user\npassword\n
// submitted=N"; --second-window also shows a second top-level window of the same process, titled
// "<title> - second", to the right of the main one and behind it, as a program with two
// documents open does: it counts the WM_CHAR messages it gets and answers kCharCountMessage
// with that count.
//
// FILE receives the text as UTF-16LE without a byte-order mark; FILE.events one line per
// keyboard message: "<ms since start> <message> vk=<hex> scan=<hex> ch=<hex>".
#include <windows.h>
#include <imm.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "tests/target/test_target_protocol.h"

namespace {

struct Options {
    std::wstring out;
    std::wstring title = quillrun::testing::kTargetTitle;
    bool edit = false;
    bool form = false;
    bool inputMethodOpen = false;
    DWORD charDelayMs = 0;
    DWORD keyDelayMs = 0;
    LONG stallAt = 0;
    DWORD stallMs = 0;
    UINT closeAfterMs = 0;
    DWORD handOffAfterMs = 0;
    DWORD splashMs = 0;
    bool behind = false;
    bool secondWindow = false;
    std::wstring handOffCommandLine;  // this program with every option but --hand-off-after-ms
};

struct Event {
    double ms;    // when it was handled
    LONG sentMs;  // when the system took the input (GetMessageTime)
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

Options g_options;
HWND g_main = nullptr;
HWND g_edit = nullptr;
WNDPROC g_editProc = nullptr;
HWND g_fields[2] = {};  // --form: the user name's and the password's
int g_field = 0;        // --form: the one that has the keyboard
int g_submits = 0;      // --form: Enter presses
std::wstring g_text;    // built from WM_CHAR when there is no EDIT control
std::vector<Event> g_events;
LONG g_charCount = 0;
volatile LONG* g_sharedCount = nullptr;  // g_charCount for readers in other processes
LONG g_secondChars = 0;                  // --second-window: the characters it got
LARGE_INTEGER g_frequency{};
LARGE_INTEGER g_start{};

// The input method functions, loaded only for --input-method-open: under Wine a program that
// links imm32 has every key message go through it, which would slow the target for all tests.
struct InputMethodFunctions {
    decltype(&::ImmGetContext) getContext = nullptr;
    decltype(&::ImmReleaseContext) releaseContext = nullptr;
    decltype(&::ImmGetOpenStatus) getOpenStatus = nullptr;
    decltype(&::ImmSetOpenStatus) setOpenStatus = nullptr;
};
InputMethodFunctions g_imm;

bool LoadInputMethodFunctions() {
    HMODULE imm = ::LoadLibraryW(L"imm32.dll");
    if (imm == nullptr) {
        return false;
    }
    const auto load = [&](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
            reinterpret_cast<void*>(::GetProcAddress(imm, name)));
        return function != nullptr;
    };
    return load(g_imm.getContext, "ImmGetContext") &&
           load(g_imm.releaseContext, "ImmReleaseContext") &&
           load(g_imm.getOpenStatus, "ImmGetOpenStatus") &&
           load(g_imm.setOpenStatus, "ImmSetOpenStatus");
}

double MillisecondsSinceStart() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - g_start.QuadPart) * 1000.0 /
           static_cast<double>(g_frequency.QuadPart);
}

const char* MessageName(UINT message) {
    switch (message) {
        case WM_KEYDOWN:
            return "KEYDOWN";
        case WM_KEYUP:
            return "KEYUP";
        case WM_SYSKEYDOWN:
            return "SYSKEYDOWN";
        case WM_SYSKEYUP:
            return "SYSKEYUP";
        case WM_CHAR:
            return "CHAR";
        case WM_SYSCHAR:
            return "SYSCHAR";
        default:
            return "OTHER";
    }
}

bool IsKeyboardMessage(UINT message) {
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN ||
           message == WM_SYSKEYUP || message == WM_CHAR || message == WM_SYSCHAR;
}

// Notes a keyboard message and takes the configured time over it, like a slow program.
void Record(UINT message, WPARAM wParam, LPARAM lParam) {
    g_events.push_back({MillisecondsSinceStart(), ::GetMessageTime(), message, wParam, lParam});
    if ((message == WM_KEYDOWN || message == WM_KEYUP) && g_options.keyDelayMs > 0) {
        ::Sleep(g_options.keyDelayMs);
    }
    if (message == WM_CHAR) {
        if (g_options.charDelayMs > 0) {
            ::Sleep(g_options.charDelayMs);
        }
        ++g_charCount;
        if (g_sharedCount != nullptr) {
            ::InterlockedExchange(g_sharedCount, g_charCount);
        }
        if (g_charCount == g_options.stallAt) {
            ::Sleep(g_options.stallMs);
        }
    }
}

std::wstring FieldText(HWND field) {
    const int length = ::GetWindowTextLengthW(field);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(field, text.data(), length + 1)));
    return text;
}

std::wstring CurrentText() {
    if (g_options.form) {
        return FieldText(g_fields[0]) + L"\n" + FieldText(g_fields[1]) + L"\nsubmitted=" +
               std::to_wstring(g_submits);
    }
    return g_edit == nullptr ? g_text : FieldText(g_edit);
}

bool Dump() {
    if (g_options.out.empty()) {
        return false;
    }
    const std::wstring text = CurrentText();
    FILE* file = nullptr;
    if (_wfopen_s(&file, g_options.out.c_str(), L"wb") != 0 || file == nullptr) {
        return false;
    }
    std::fwrite(text.data(), sizeof(wchar_t), text.size(), file);
    std::fclose(file);

    if (_wfopen_s(&file, (g_options.out + L".events").c_str(), L"wb") != 0 || file == nullptr) {
        return false;
    }
    for (const Event& e : g_events) {
        const auto scan = static_cast<unsigned>((e.lParam >> 16) & 0x1FF);
        const bool isChar = e.message == WM_CHAR || e.message == WM_SYSCHAR;
        std::fprintf(file, "%.3f %s vk=%02X scan=%03X ch=%04X sent=%ld\n", e.ms,
                     MessageName(e.message), isChar ? 0u : static_cast<unsigned>(e.wParam), scan,
                     isChar ? static_cast<unsigned>(e.wParam) : 0u, e.sentMs);
    }
    std::fclose(file);
    return true;
}

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsKeyboardMessage(message)) {
        Record(message, wParam, lParam);
    }
    // A form's keys: Tab goes to the other field, Enter submits; their characters do nothing.
    if (g_options.form && message == WM_KEYDOWN && wParam == VK_TAB) {
        g_field = window == g_fields[0] ? 1 : 0;
        ::SetFocus(g_fields[g_field]);
        return 0;
    }
    if (g_options.form && message == WM_KEYDOWN && wParam == VK_RETURN) {
        ++g_submits;
        return 0;
    }
    if (g_options.form && message == WM_CHAR && (wParam == L'\t' || wParam == L'\r')) {
        return 0;
    }
    return ::CallWindowProcW(g_editProc, window, message, wParam, lParam);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    using namespace quillrun::testing;
    if (IsKeyboardMessage(message)) {
        Record(message, wParam, lParam);
        if (message == WM_CHAR) {
            const auto c = static_cast<wchar_t>(wParam);
            if (c == L'\r') {
                g_text += L"\r\n";
            } else if (c == L'\b') {
                if (!g_text.empty()) {
                    g_text.pop_back();
                }
            } else {
                g_text.push_back(c);
            }
        }
        return 0;
    }
    switch (message) {
        case kCharCountMessage:
            return g_charCount;
        case kDumpMessage:
            return Dump() ? 1 : 0;
        case kInputMethodOpenMessage: {
            if (g_imm.getContext == nullptr) {
                return 0;
            }
            HIMC context = g_imm.getContext(window);
            const BOOL open = context != nullptr && g_imm.getOpenStatus(context);
            g_imm.releaseContext(window, context);
            return open ? 1 : 0;
        }

        case WM_SETFOCUS:
            if (g_edit != nullptr || g_options.form) {
                ::SetFocus(g_options.form ? g_fields[g_field] : g_edit);
            }
            return 0;
        case WM_SIZE:
            if (g_edit != nullptr) {
                ::MoveWindow(g_edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            }
            return 0;
        case WM_TIMER:
            ::DestroyWindow(window);  // --close-after-ms
            return 0;
        case WM_DESTROY:
            Dump();
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK SecondProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CHAR) {
        ++g_secondChars;
        return 0;
    }
    if (message == quillrun::testing::kCharCountMessage) {
        return g_secondChars;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

bool ParseOptions() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr) {
        return false;
    }
    g_options.handOffCommandLine = L"\"" + std::wstring(argv[0]) + L"\"";
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--hand-off-after-ms" && hasValue) {
            g_options.handOffAfterMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
            continue;
        }
        g_options.handOffCommandLine += L" \"" + arg + L"\"";
        if (hasValue && arg != L"--edit" && arg != L"--form" && arg != L"--input-method-open" &&
            arg != L"--behind" && arg != L"--second-window") {
            g_options.handOffCommandLine += std::wstring(L" \"") + argv[i + 1] + L"\"";
        }
        if (arg == L"--out" && hasValue) {
            g_options.out = argv[++i];
        } else if (arg == L"--title" && hasValue) {
            g_options.title = argv[++i];
        } else if (arg == L"--char-delay-ms" && hasValue) {
            g_options.charDelayMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--key-delay-ms" && hasValue) {
            g_options.keyDelayMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--stall-at" && hasValue) {
            g_options.stallAt = static_cast<LONG>(std::wcstol(argv[++i], nullptr, 10));
        } else if (arg == L"--stall-ms" && hasValue) {
            g_options.stallMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--close-after-ms" && hasValue) {
            g_options.closeAfterMs = static_cast<UINT>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--edit") {
            g_options.edit = true;
        } else if (arg == L"--form") {
            g_options.form = true;
        } else if (arg == L"--input-method-open") {
            g_options.inputMethodOpen = true;
        } else if (arg == L"--splash-ms" && hasValue) {
            g_options.splashMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--behind") {
            g_options.behind = true;
        } else if (arg == L"--second-window") {
            g_options.secondWindow = true;
        } else {
            ::LocalFree(argv);
            return false;
        }
    }
    ::LocalFree(argv);
    return !g_options.out.empty();
}

// A splash screen: a captionless tool window in front for splashMs, serving its messages (and
// dropping whatever is typed into it) as a program that loads behind one does.
void ShowSplash(HINSTANCE instance) {
    HWND splash = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"STATIC", L"Loading...",
                                    WS_POPUP | WS_BORDER | SS_CENTER, 200, 200, 240, 120, nullptr,
                                    nullptr, instance, nullptr);
    ::ShowWindow(splash, SW_SHOW);
    ::SetForegroundWindow(splash);
    const ULONGLONG until = ::GetTickCount64() + g_options.splashMs;
    for (ULONGLONG now = ::GetTickCount64(); now < until; now = ::GetTickCount64()) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now),
                                    QS_ALLINPUT);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    ::DestroyWindow(splash);
}

// Registers a window class of the target's, with an I-beam cursor as over a text; its name.
const wchar_t* RegisterTargetClass(HINSTANCE instance, WNDPROC procedure, const wchar_t* name) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_IBEAM);
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = name;
    ::RegisterClassW(&windowClass);
    return name;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    ::QueryPerformanceFrequency(&g_frequency);
    ::QueryPerformanceCounter(&g_start);
    if (!ParseOptions()) {
        ::MessageBoxW(nullptr, L"usage: qr_target --out FILE [--edit] [--char-delay-ms N]",
                      L"qr_target", MB_OK);
        return 2;
    }
    if (g_options.handOffAfterMs > 0) {
        ::Sleep(g_options.handOffAfterMs);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, g_options.handOffCommandLine.data(), nullptr, nullptr, FALSE,
                              0, nullptr, nullptr, &startup, &process)) {
            return 1;
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return 0;
    }
    HANDLE mapping = ::CreateFileMappingW(
        INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG),
        quillrun::testing::CharCountMappingName(::GetCurrentProcessId()).c_str());
    if (mapping != nullptr) {
        g_sharedCount = static_cast<volatile LONG*>(
            ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
    }
    if (g_options.splashMs > 0) {
        ShowSplash(instance);
    }
    const wchar_t* mainClass = RegisterTargetClass(instance, MainProc, L"QuillrunTestTarget");
    g_main =
        ::CreateWindowExW(0, mainClass, g_options.title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                          CW_USEDEFAULT, 480, 320, nullptr, nullptr, instance, nullptr);
    if (g_main == nullptr) {
        return 1;
    }
    if (g_options.edit) {
        g_edit = ::CreateWindowExW(
            0, L"EDIT", L"",
            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, 0,
            0, 100, 100, g_main, nullptr, instance, nullptr);
        ::SendMessageW(g_edit, EM_SETLIMITTEXT, 0, 0);  // 0: as much as memory allows
        g_editProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(g_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
        RECT client;
        ::GetClientRect(g_main, &client);
        ::MoveWindow(g_edit, 0, 0, client.right, client.bottom, FALSE);
    }
    if (g_options.form) {
        for (int i = 0; i < 2; ++i) {
            g_fields[i] = ::CreateWindowExW(
                WS_EX_CLIENTEDGE, L"EDIT", L"",
                WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | (i == 1 ? ES_PASSWORD : 0), 20,
                20 + 40 * i, 300, 28, g_main, nullptr, instance, nullptr);
            g_editProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
                g_fields[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
        }
    }
    if (g_options.secondWindow) {
        // Shown first, without activation: the main window, shown next, is the frontmost one,
        // which a launch brings to the front.
        const wchar_t* secondClass =
            RegisterTargetClass(instance, SecondProc, L"QuillrunTestTargetSecond");
        HWND second = ::CreateWindowExW(0, secondClass, (g_options.title + L" - second").c_str(),
                                        WS_OVERLAPPEDWINDOW, 760, 360, 420, 300, nullptr, nullptr,
                                        instance, nullptr);
        ::ShowWindow(second, SW_SHOWNOACTIVATE);
    }
    if (g_options.behind) {
        ::SetWindowPos(g_main, HWND_BOTTOM, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else {
        ::ShowWindow(g_main, showCommand);
    }
    if (g_options.inputMethodOpen && LoadInputMethodFunctions()) {
        HIMC context = g_imm.getContext(g_main);
        g_imm.setOpenStatus(context, TRUE);
        g_imm.releaseContext(g_main, context);
    }
    if (g_options.closeAfterMs > 0) {
        ::SetTimer(g_main, 1, g_options.closeAfterMs, nullptr);
    }
    ::UpdateWindow(g_main);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
