#include "win32/win32_desktop.h"

#include <commdlg.h>
#include <dwmapi.h>
#include <imm.h>
#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <optional>
#include <span>
#include <vector>

#include "text/dialog_filter.h"
#include "text/paths.h"
#include "text/program_line.h"
#include "text/utf.h"
#include "text/wipe.h"
#include "win32/win32_hot_key_dialog.h"
#include "win32/win32_keyboard.h"
#include "win32/win32_secret_dialog.h"
#include "win32/win32_text.h"
#include "keys/hot_key.h"
#include "keys/key_string.h"

namespace quillrun::win32 {
namespace {

constexpr std::uint32_t kUtf8CodePage = CP_UTF8;

// The longest path Windows accepts, in UTF-16 units.
constexpr std::size_t kLongestPath = 32767;

// How long a freshly launched program may take to reach its message loop (and so, normally,
// to show its window) when it is activated.
constexpr DWORD kStartupWaitMs = 3000;

// SetForegroundWindow completes asynchronously: the window may come to the front a little after
// the call returns. How long to look for it there before calling the activation refused (ms),
// and how often.
constexpr ULONGLONG kActivationSettleMs = 500;
constexpr DWORD kActivationPollMs = 10;

// How long the input method of a target's thread may take to answer (ms): it answers from that
// thread, which may be busy.
constexpr UINT kInputMethodAnswerMs = 500;
// WM_IME_CONTROL's requests for the conversion mode and the open status of the thread's input
// context (the SDK's IMC_GETCONVERSIONMODE, IMC_SETCONVERSIONMODE, IMC_GETOPENSTATUS and
// IMC_SETOPENSTATUS; not in every toolchain's headers).
constexpr WPARAM kGetConversionMode = 0x0001;
constexpr WPARAM kSetConversionMode = 0x0002;
constexpr WPARAM kGetOpenStatus = 0x0005;
constexpr WPARAM kSetOpenStatus = 0x0006;

class FileReader final : public ByteReader {
  public:
    explicit FileReader(UniqueHandle file) : file_(std::move(file)) {}

    Result<std::size_t> Read(std::span<char> buffer) override {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file_.get(), buffer.data(), want, &got, nullptr)) {
            return LastErrorFailure("ReadFile");
        }
        return static_cast<std::size_t>(got);
    }

    [[nodiscard]] std::uint64_t Size() const override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file_.get(), &size) || size.QuadPart < 0) {
            return 0;  // not a file with a size: a pipe or a device
        }
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    [[nodiscard]] std::uint64_t LastWriteTime() const override {
        FILETIME written{};
        if (!::GetFileTime(file_.get(), nullptr, nullptr, &written)) {
            return 0;
        }
        return (std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
    }

  private:
    UniqueHandle file_;
};

// Everything before the last backslash: the folder a temporary file must share with `path` so
// that the final rename stays on one volume and can replace the file atomically.
std::wstring FolderPrefix(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The full form of `path` against the working directory as it is now; nullopt when there is
// none to be had.
std::optional<std::wstring> FullPathName(const std::wstring& path) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD length =
        needed == 0 ? 0 : ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return std::nullopt;
    }
    full.resize(length);
    return full;
}

// `path` as the file functions must be given it: unchanged, unless its full form is too long
// for them, in which case the full form with the extended-length prefix.
std::wstring OpenablePath(const std::wstring& path) {
    const std::optional<std::wstring> full = FullPathName(path);
    if (!full || full->size() < kMaxPath) {
        return path;  // short enough, or no full form to be had: let the open itself fail
    }
    return ToWide(ExtendedLengthPath(FromWide(*full)));
}

// Whether `path` opens a device or a pipe (CON, NUL, COM1, "\\.\pipe\...") rather than a file on
// disk. Which names are devices depends on the Windows version (Windows 11 takes "con.txt" for
// a file, Windows 10 for the console; "\\?\" paths are never devices), so the path is opened
// and asked. Opened for query only: CreateFileW's remarks say that a desired access of 0 lets
// a program read a device's attributes without accessing the device.
bool OpensDevice(const std::wstring& path) {
    const UniqueHandle probe(::CreateFileW(path.c_str(), 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    if (probe) {
        const DWORD type = ::GetFileType(probe.get());
        // FILE_TYPE_UNKNOWN with an error is a call that failed, not a kind of file
        // ("GetFileType"): the open that follows says what is wrong.
        if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) {
            return false;
        }
        return type != FILE_TYPE_DISK;
    }
    // A device that will not open even for query (the console, in a program that has none) is
    // still one: Windows gives the full path of a name it takes for a device in the device
    // namespace ("\\.\CON"). A path written that way fails as written.
    constexpr std::wstring_view kDeviceNamespace = L"\\\\.\\";
    if (std::wstring_view(path).starts_with(kDeviceNamespace)) {
        return false;
    }
    const std::optional<std::wstring> full = FullPathName(path);
    return full && full->starts_with(kDeviceNamespace);
}

Status WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
            return LastErrorFailure("WriteFile");
        }
        bytes.remove_prefix(written);
    }
    return {};
}

// The shell's windows that are never a window to type into, by class: the desktop (Progman,
// and the WorkerW behind its wallpaper), the taskbars, the notification area's overflow and the
// task switcher of Windows 10 and 11 (in front while Alt is held). GetShellWindow names the
// desktop; the rest have no documented finder, only these stable class names.
constexpr const wchar_t* kShellWindowClasses[] = {
    L"Progman",
    L"WorkerW",
    L"Shell_TrayWnd",
    L"Shell_SecondaryTrayWnd",
    L"NotifyIconOverflowWindow",
    L"TopLevelWindowForOverflowXamlIsland",
    L"MultitaskingViewFrame",
    L"XamlExplorerHostIslandWindow",
    L"ForegroundStaging",
};
// The Start menu and search of Windows 10 and 11 are core windows of these shell programs (a
// packaged app's core window sits inside an ApplicationFrameWindow, so it is never in front
// itself).
constexpr const wchar_t* kShellHostPrograms[] = {
    L"StartMenuExperienceHost.exe",
    L"SearchHost.exe",
    L"SearchApp.exe",
    L"ShellExperienceHost.exe",
};

// Closes the clipboard it was given open.
class OpenedClipboard {
  public:
    OpenedClipboard() = default;
    ~OpenedClipboard() { ::CloseClipboard(); }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
};

bool WindowHasTaskbarButton(HWND window) {
    const auto extended = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
    return quillrun::HasTaskbarButton(quillrun::WindowTraits{
        .visible = ::IsWindowVisible(window) != FALSE,
        .owned = ::GetWindow(window, GW_OWNER) != nullptr,
        .toolWindow = (extended & WS_EX_TOOLWINDOW) != 0,
        .appWindow = (extended & WS_EX_APPWINDOW) != 0,
    });
}

// The frontmost top-level window with a taskbar button whose process `accept` takes.
template <class Accept>
HWND FrontmostTaskbarWindow(Accept accept) {
    struct Search {
        Accept& accept;
        HWND found;
    } search{accept, nullptr};
    // EnumWindows goes through the top-level windows from the top of the z-order down.
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            if (WindowHasTaskbarButton(window) && s.accept(process)) {
                s.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The process's main window: the frontmost with a taskbar button. A splash screen shown
// before it has none (a tool window or an owned one), and is never typed into.
HWND MainWindowOf(DWORD processId) {
    return FrontmostTaskbarWindow([&](DWORD process) { return process == processId; });
}

ULONGLONG FileTimeValue(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

ULONGLONG SystemTimeNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return FileTimeValue(now);
}

// Waits a moment for `window` to be in front: true once it is.
bool AwaitFront(HWND window) {
    const ULONGLONG until = ::GetTickCount64() + kActivationSettleMs;
    while (::GetForegroundWindow() != window) {
        if (::GetTickCount64() >= until) {
            return false;
        }
        ::Sleep(kActivationPollMs);
    }
    return true;
}

}  // namespace

Status Activate(const char* operation, HWND window) {
    if (window == nullptr) {
        return ErrorFailure(operation, ERROR_INVALID_WINDOW_HANDLE);
    }
    if (::IsIconic(window)) {
        ::ShowWindow(window, SW_RESTORE);
    }
    if (!BringToFront(window)) {
        return ErrorFailure(operation, ERROR_ACCESS_DENIED);
    }
    return {};
}

bool BringToFront(HWND window) {
    if (::SetForegroundWindow(window) && AwaitFront(window)) {
        return true;
    }
    // Refused by the foreground lock (SetForegroundWindow's remarks: only the process that
    // received the last input event may): a keystroke of Quillrun's own that no program acts
    // on makes it that process.
    PressUnassignedKey();
    if (::SetForegroundWindow(window) && AwaitFront(window)) {
        return true;
    }
    // The last resort: attaching to the thread of the window in front, which the
    // documentation warns can leave both programs waiting on each other; for a moment only.
    const HWND current = ::GetForegroundWindow();
    const DWORD self = ::GetCurrentThreadId();
    const DWORD frontThread = current != nullptr ? ::GetWindowThreadProcessId(current, nullptr) : 0;
    const bool attached =
        frontThread != 0 && frontThread != self && ::AttachThreadInput(self, frontThread, TRUE);
    ::BringWindowToTop(window);
    ::SetForegroundWindow(window);
    if (attached) {
        ::AttachThreadInput(self, frontThread, FALSE);
    }
    return AwaitFront(window);
}

namespace {

// The integrity level of a process's token (the last sub-authority of its mandatory label).
std::optional<DWORD> IntegrityLevel(HANDLE token) {
    DWORD size = 0;
    ::GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) {
        return std::nullopt;
    }
    const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
    const UCHAR count = *::GetSidSubAuthorityCount(label->Label.Sid);
    if (count == 0) {
        return std::nullopt;
    }
    return *::GetSidSubAuthority(label->Label.Sid, static_cast<DWORD>(count - 1));
}

Result<DWORD> ProcessIntegrityLevel(HANDLE process) {
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &rawToken)) {
        return LastErrorFailure("OpenProcessToken");
    }
    const UniqueHandle token(rawToken);
    if (auto level = IntegrityLevel(token.get())) {
        return *level;
    }
    return ErrorFailure("GetTokenInformation", ERROR_INVALID_DATA);
}

// A process opened only to ask about it, which the system grants even for most processes of
// higher integrity.
UniqueHandle OpenForQuery(std::uint32_t process) {
    return UniqueHandle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
}

// When the process started (FILETIME units); 0 when that cannot be read.
ULONGLONG ProcessStartTime(DWORD processId) {
    const UniqueHandle process = OpenForQuery(processId);
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!process || !::GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    return FileTimeValue(created);
}

HWND AsWindow(WindowId window) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window.value));
}

std::wstring ClassNameOf(HWND window) {
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return std::wstring(name, static_cast<std::size_t>(std::max(length, 0)));
}

// The input method window that serves `window`'s keyboard focus: it answers WM_IME_CONTROL for
// its thread's active input context, also to other processes. The focus may be a control of
// another thread than the top-level window's (packaged programs, web views), whose input
// method is another one.
HWND InputMethodWindowOf(WindowId window) {
    return window.value == 0 ? nullptr : ::ImmGetDefaultIMEWnd(FocusWindowOf(AsWindow(window)));
}

// One WM_IME_CONTROL request to an input method window; nullopt when it did not answer.
std::optional<DWORD_PTR> AskInputMethod(HWND inputMethod, WPARAM request, LPARAM value = 0) {
    DWORD_PTR answer = 0;
    if (inputMethod == nullptr ||
        !::SendMessageTimeoutW(inputMethod, WM_IME_CONTROL, request, value, SMTO_ABORTIFHUNG,
                               kInputMethodAnswerMs, &answer)) {
        return std::nullopt;
    }
    return answer;
}

}  // namespace

void DispatchWindowMessage(HWND dialogWindow, MSG& message) {
    // Quillrun's keystrokes are for the target. While a run shares the target's input, one still
    // on its way when the target goes away reaches Quillrun instead; it must not type into the
    // path box.
    if (IsTypedKeyMessage(message)) {
        return;
    }
    // Enter held in the path box repeats, and each repeat would press Start again (a second
    // copy of the program, then blank lines into it): only its first press counts. Bit 30 of
    // a key message's lParam is the key's state before it ("WM_KEYDOWN").
    constexpr LPARAM kWasDown = LPARAM{1} << 30;
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
        (message.lParam & kWasDown) != 0) {
        return;
    }
    if (dialogWindow != nullptr && ::IsDialogMessageW(dialogWindow, &message)) {
        return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

bool PumpMessagesUntil(HWND dialogWindow, const std::function<bool()>& done,
                       std::chrono::steady_clock::time_point deadline, bool& quitting) {
    for (;;) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(message.wParam));
                quitting = true;
                return false;
            }
            DispatchWindowMessage(dialogWindow, message);
        }
        if (done()) {
            return true;
        }
        // Rounded up: a wait must not end before its deadline (a pace's gap between keys).
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
    }
}

namespace {

// `text` with its %NAME% environment variables filled in; one that is not set stays as written,
// as Windows leaves it.
std::wstring ExpandEnvironment(const std::wstring& text) {
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    std::wstring expanded(needed, L'\0');
    const DWORD length = needed == 0 ? 0
                                     : ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                                                   needed);
    // Failed, or a variable grew in between: the line as written, which then fails as such.
    if (length == 0 || length > needed) {
        return text;
    }
    expanded.resize(length - 1);  // less its terminating null
    return expanded;
}

// Whether `path` names a file, not a folder.
bool NamesFile(std::u16string_view path) {
    const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The process started for `commandLine`.
Result<UniqueHandle> StartProgram(std::wstring commandLine) {
    if (commandLine.empty()) {
        return ErrorFailure("LaunchProgram", ERROR_FILE_NOT_FOUND);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    // CreateProcessW may write into the command line, which is this function's own copy. With
    // no application name it resolves an unquoted path with spaces the way the shell does.
    // A console program gets a console window of its own to be typed into, even when Quillrun
    // was given a console (started from a terminal); programs with windows ignore the flag.
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                          nullptr, nullptr, &startup, &process)) {
        return LastErrorFailure("LaunchProgram");
    }
    const UniqueHandle thread(process.hThread);
    return UniqueHandle(process.hProcess);
}

// Opens a document or a shortcut as Explorer does; the process started for it, or none when the
// document went to a program already running (through DDE, say).
Result<UniqueHandle> OpenDocument(HWND owner, const LaunchPlan& plan) {
    const std::wstring file = ToWide(plan.file);
    const std::wstring parameters = ToWide(plan.arguments);
    SHELLEXECUTEINFOW open{};
    open.cbSize = sizeof(open);
    // No message box of the shell's own: Quillrun says what failed, with Windows' reason. Done
    // before it returns, as this thread may not handle messages for a while.
    open.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    open.hwnd = owner;
    open.lpFile = file.c_str();
    open.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    open.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&open)) {
        return LastErrorFailure("LaunchProgram");
    }
    return UniqueHandle(open.hProcess);
}

}  // namespace

Result<TaskId> Win32Desktop::LaunchProgram(std::u16string_view commandLine) {
    const std::wstring line = ExpandEnvironment(ToWide(commandLine));
    const LaunchPlan plan = PlanLaunch(commandLine, NamesFile, [](std::u16string_view text) {
        return FromWide(ExpandEnvironment(ToWide(text)));
    });
    const ULONGLONG launchedAt = SystemTimeNow();
    Result<UniqueHandle> process = plan.kind == LaunchKind::Document
                                       ? OpenDocument(window_, plan)
                                       : StartProgram(line);
    if (!process) {
        return process.failure();
    }
    // Without a process (a document handed to a program already running), the task is as a
    // launcher that has ended: the run looks for a window of a program started since, or for
    // another program's coming to the front, and says so when none comes.
    const TaskId task{nextTask_++};
    tasks_.emplace(task.value, Task{std::move(process).value(), launchedAt});
    return task;
}

Status Win32Desktop::ActivateTask(TaskId task) {
    const auto it = tasks_.find(task.value);
    if (it == tasks_.end()) {
        return ErrorFailure("ActivateTask", ERROR_INVALID_HANDLE);
    }
    const HANDLE process = it->second.process.get();
    DWORD exitCode = 0;
    // No process: a document that went to a program already running, which is as a launcher
    // that handed the launch over.
    if (process == nullptr || !::GetExitCodeProcess(process, &exitCode) ||
        exitCode != STILL_ACTIVE) {
        return ErrorFailure("ActivateTask", ERROR_PROCESS_ABORTED);
    }
    // At once for a program already idle, and for one without a message queue (a console
    // program or a launcher), for which WaitForInputIdle fails straight away.
    ::WaitForInputIdle(process, kStartupWaitMs);
    return Activate("ActivateTask", MainWindowOf(::GetProcessId(process)));
}

Status Win32Desktop::ActivateWindowOpenedSince(TaskId task) {
    const auto it = tasks_.find(task.value);
    if (it == tasks_.end()) {
        return ErrorFailure("ActivateWindowOpenedSince", ERROR_INVALID_HANDLE);
    }
    const DWORD self = ::GetCurrentProcessId();
    const ULONGLONG launchedAt = it->second.launchedAt;
    const HWND window = FrontmostTaskbarWindow(
        [&](DWORD process) { return process != self && ProcessStartTime(process) >= launchedAt; });
    if (window == nullptr) {
        return ErrorFailure("ActivateWindowOpenedSince", ERROR_INVALID_WINDOW_HANDLE);
    }
    // Only asked, never forced: Quillrun still holds the right (the click on Start was the last
    // input), and the window may be coming forward by itself just then, which the forcing ways
    // (another keystroke, attaching input) could upset.
    if (!::SetForegroundWindow(window) || !AwaitFront(window)) {
        return ErrorFailure("ActivateWindowOpenedSince", ERROR_ACCESS_DENIED);
    }
    return {};
}

std::vector<TitledWindow> Win32Desktop::TitledWindows() {
    std::vector<TitledWindow> windows;
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            // A window on another virtual desktop, or a suspended app's frame, is cloaked:
            // visible to the system, not to the user.
            BOOL cloaked = FALSE;
            const bool hidden =
                SUCCEEDED(::DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked,
                                                  sizeof(cloaked))) &&
                cloaked != FALSE;
            const bool dialog = ::IsWindowVisible(window) && ::GetWindow(window, GW_OWNER) != nullptr;
            if (hidden || !::IsWindowEnabled(window) ||
                !(WindowHasTaskbarButton(window) || dialog)) {
                return TRUE;
            }
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            // GetWindowText asks a window of another process without waiting on it: a hung
            // program's window still gives the title the system keeps for it.
            const std::wstring title = WindowText(window);
            reinterpret_cast<std::vector<TitledWindow>*>(param)->push_back(
                {.window = WindowId{reinterpret_cast<std::uintptr_t>(window)},
                 .process = process,
                 .title = FromWide(title)});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

Status Win32Desktop::ActivateWindow(WindowId id) {
    const HWND window = AsWindow(id);
    return Activate("ActivateWindow", ::IsWindow(window) ? window : nullptr);
}

WindowId Win32Desktop::ConsoleWindow() {
    if (consoleWindow_) {
        return *consoleWindow_;
    }
    HWND console = ::GetConsoleWindow();
    if (console != nullptr) {
        // Windows Terminal makes its window the owner of the console's hidden pseudo window
        // (microsoft/terminal#12526: "GetAncestor(GetConsoleWindow(), GA_ROOT)" reaches it).
        const HWND owner = ::GetAncestor(console, GA_ROOTOWNER);
        if (owner != nullptr && owner != console) {
            console = owner;
        } else if (!::IsWindowVisible(console)) {
            // A console handed to the default terminal leaves its pseudo window unowned: the
            // terminal in front as the command starts is the one it was typed in.
            const HWND front = ::GetForegroundWindow();
            if (front != nullptr && ClassNameOf(front) == L"CASCADIA_HOSTING_WINDOW_CLASS") {
                console = front;
            }
        }
    }
    consoleWindow_ = WindowId{reinterpret_cast<std::uintptr_t>(console)};
    return *consoleWindow_;
}

namespace {

// Standard input from the console, where the user types it: read as text (whatever the
// console's code page) and given as UTF-8, ending at Ctrl+Z.
class ConsoleReader final : public ByteReader {
  public:
    explicit ConsoleReader(HANDLE console) : console_(console) {}
    Result<std::size_t> Read(std::span<char> buffer) override {
        while (pending_.empty() && !ended_) {
            wchar_t units[1024];
            DWORD got = 0;
            if (!::ReadConsoleW(console_, units, 1024, &got, nullptr)) {
                return LastErrorFailure("ReadConsole");
            }
            // Ctrl+C ends the read with nothing read ("ReadConsole" leaves ERROR_OPERATION_ABORTED).
            if (got == 0 && ::GetLastError() == ERROR_OPERATION_ABORTED) {
                return ErrorFailure("ReadConsole", kReadInterruptedCode);
            }
            std::wstring_view text(units, got);
            if (const std::size_t mark = text.find(L'\x1A'); mark != std::wstring_view::npos) {
                text = text.substr(0, mark);
                ended_ = true;
            }
            ended_ = ended_ || got == 0;
            // Standard input may be a secret typed in: no copy is left in freed memory.
            std::u16string utf16 = FromWide(text);
            std::string utf8 = Utf16ToUtf8(utf16);
            AppendWiping(pending_, utf8);
            Wipe(utf16);
            Wipe(utf8);
            SecureZeroMemory(units, sizeof(units));
        }
        const std::size_t count = std::min(buffer.size(), pending_.size());
        std::copy_n(pending_.data(), count, buffer.data());
        pending_.erase(0, count);
        return count;
    }
    ~ConsoleReader() override { Wipe(pending_); }
    ConsoleReader(const ConsoleReader&) = delete;
    ConsoleReader& operator=(const ConsoleReader&) = delete;
    [[nodiscard]] std::uint64_t Size() const override { return 0; }
    [[nodiscard]] std::uint64_t LastWriteTime() const override { return 0; }

  private:
    HANDLE console_;
    std::string pending_;
    bool ended_ = false;
};

// Standard input from a pipe or a file. Its handle is the process's, not closed here.
class InputReader final : public ByteReader {
  public:
    explicit InputReader(HANDLE input) : input_(input) {}
    Result<std::size_t> Read(std::span<char> buffer) override {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(input_, buffer.data(), want, &got, nullptr)) {
            // The writing end closed: the end of the input.
            if (::GetLastError() == ERROR_BROKEN_PIPE) {
                return std::size_t{0};
            }
            return LastErrorFailure("ReadFile");
        }
        return static_cast<std::size_t>(got);
    }
    [[nodiscard]] std::uint64_t Size() const override { return 0; }
    [[nodiscard]] std::uint64_t LastWriteTime() const override { return 0; }

  private:
    HANDLE input_;
};

}  // namespace

Result<std::unique_ptr<ByteReader>> Win32Desktop::OpenStandardInput() {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        return ErrorFailure("OpenStandardInput", ERROR_INVALID_HANDLE);
    }
    DWORD mode = 0;
    if (::GetConsoleMode(input, &mode)) {
        return std::unique_ptr<ByteReader>(std::make_unique<ConsoleReader>(input));
    }
    return std::unique_ptr<ByteReader>(std::make_unique<InputReader>(input));
}

bool Win32Desktop::HasTaskbarButton(WindowId window) {
    return window.value != 0 && WindowHasTaskbarButton(AsWindow(window));
}

Status Win32Desktop::BeginTyping(const TypingOptions& options) {
    HKL layout = nullptr;
    if (!options.layout.empty()) {
        // Only a layout the user has installed: one loaded just for this would be added to
        // the user's list of layouts.
        for (const HKL installed : InstalledLayouts()) {
            if (KeyboardLayoutId(installed) == options.layout) {
                layout = installed;
                break;
            }
        }
        if (layout == nullptr) {
            return ErrorFailure("BeginTyping", kLayoutMissingCode);
        }
    }
    typist_.Begin(options.pace, options.keyMode, layout, options.waitWhileKeysHeld);
    return {};
}

std::vector<std::u16string> Win32Desktop::InstalledKeyboardLayouts() {
    std::vector<std::u16string> ids;
    for (const HKL layout : InstalledLayouts()) {
        std::u16string id = KeyboardLayoutId(layout);
        // Two handles can name one layout (the same layout for two languages).
        if (!id.empty() && std::find(ids.begin(), ids.end(), id) == ids.end()) {
            ids.push_back(std::move(id));
        }
    }
    return ids;
}

Status Win32Desktop::SendKeyString(std::u16string_view keys, WindowId window) {
    const Result<KeyChord> typed = ParseKeyString(keys);
    if (!typed) {
        return typed.failure();
    }
    // Windows takes a registered hot key from injected input as from the keyboard's: the key
    // reaches no window, and WM_HOTKEY reaches Quillrun's instead ("RegisterHotKey"; SendInput's
    // events join the keyboard's input stream). A key of the run that presses the hot key would
    // stop the run instead of reaching the target, so the hot key is let go of just for it, and
    // asked for again once the target has read the key (or the keystroke failed).
    bool letGo = false;
    const Status sent =
        typist_.Type(typed.value(), AsWindow(window), [&](std::span<const KeyEvent> events) {
            if (hotKeyRegistered_ && PressesHotKey(events, hotKey_) &&
                ::UnregisterHotKey(window_, kHotKeyId) != FALSE) {
                hotKeyRegistered_ = false;
                letGo = true;
            }
        });
    // Unless a handler run while the keystroke was waited for asked for a key itself.
    if (letGo && !hotKeyRegistered_ && !hotKey_.None()) {
        // Another program may have taken it meanwhile: HotKeyRegistered says so then.
        hotKeyRegistered_ = ::RegisterHotKey(window_, kHotKeyId, hotKey_.modifiers | MOD_NOREPEAT,
                                             hotKey_.key) != FALSE;
    }
    return sent;
}

bool Win32Desktop::KeyStringTypable(std::u16string_view keys) {
    const Result<KeyChord> chord = ParseKeyString(keys);
    return chord && typist_.CanPlan(chord.value());
}

std::uint32_t Win32Desktop::ForegroundProcess() {
    const HWND front = ::GetForegroundWindow();
    DWORD process = 0;
    if (front != nullptr) {
        ::GetWindowThreadProcessId(front, &process);
    }
    return process;
}

bool Win32Desktop::IsShellWindow(WindowId id) {
    const HWND window = AsWindow(id);
    if (window == nullptr) {
        return false;
    }
    if (window == ::GetShellWindow() || window == ::GetDesktopWindow()) {
        return true;
    }
    const std::wstring name = ClassNameOf(window);
    if (std::any_of(std::begin(kShellWindowClasses), std::end(kShellWindowClasses),
                    [&](const wchar_t* shell) { return name == shell; })) {
        return true;
    }
    if (name != L"Windows.UI.Core.CoreWindow") {
        return false;
    }
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    const std::wstring program = ToWide(ProgramName(process));
    return std::any_of(std::begin(kShellHostPrograms), std::end(kShellHostPrograms),
                       [&](const wchar_t* host) { return _wcsicmp(program.c_str(), host) == 0; });
}

bool Win32Desktop::ChoosingInputHeld() {
    // The physical buttons, whichever of them the user has made the primary one.
    constexpr int kKeys[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, VK_XBUTTON1, VK_XBUTTON2, VK_MENU};
    return std::any_of(std::begin(kKeys), std::end(kKeys),
                       [](int key) { return (::GetAsyncKeyState(key) & 0x8000) != 0; });
}

bool Win32Desktop::AnyKeyHeld() {
    // From Backspace on: the codes below are the mouse buttons and Cancel (Ctrl+Break).
    for (int key = VK_BACK; key <= 0xFE; ++key) {
        if ((::GetAsyncKeyState(key) & 0x8000) != 0) {
            return true;
        }
    }
    return false;
}

Status Win32Desktop::RegisterHotKey(HotKey key) {
    // One identifier: asking for another key lets go of the one before.
    if (hotKeyRegistered_) {
        ::UnregisterHotKey(window_, kHotKeyId);
        hotKeyRegistered_ = false;
    }
    hotKey_ = key;
    if (key.None()) {
        return {};
    }
    // MOD_NOREPEAT: a held hot key fires once, not at the keyboard's repeat rate.
    if (!::RegisterHotKey(window_, kHotKeyId, key.modifiers | MOD_NOREPEAT, key.key)) {
        return LastErrorFailure("RegisterHotKey");
    }
    hotKeyRegistered_ = true;
    return {};
}

Result<std::optional<std::u16string>> Win32Desktop::ClipboardText() {
    // Another program holding the clipboard open is what makes opening it fail.
    if (!::OpenClipboard(window_)) {
        Failure failure = LastErrorFailure("ClipboardText");
        failure.code = kClipboardBusyCode;
        return failure;
    }
    const OpenedClipboard opened;
    // Also text copied as ANSI or OEM text: the system converts it to this format.
    HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    if (data == nullptr) {
        return std::optional<std::u16string>();  // empty, or only a picture
    }
    const auto* text = static_cast<const wchar_t*>(::GlobalLock(data));
    if (text == nullptr) {
        return LastErrorFailure("ClipboardText");
    }
    // Up to its terminating null, but never past the memory block, whatever another program
    // put there.
    const std::size_t units = ::GlobalSize(data) / sizeof(wchar_t);
    std::optional<std::u16string> copy(FromWide(std::wstring_view(text, ::wcsnlen(text, units))));
    ::GlobalUnlock(data);
    return copy;
}

WindowId Win32Desktop::ForegroundWindow() {
    return WindowId{reinterpret_cast<std::uintptr_t>(::GetForegroundWindow())};
}

// A quit seen here ends the wait; the main loop sees it again, and the run learns of it from
// the window's close.
void Win32Desktop::PumpEvents() {
    bool quitting = false;
    PumpMessagesUntil(
        window_, [] { return true; }, std::chrono::steady_clock::now(), quitting);
}

void Win32Desktop::PumpEventsFor(Milliseconds duration) {
    bool quitting = false;
    PumpMessagesUntil(
        window_, [] { return false; }, std::chrono::steady_clock::now() + duration, quitting);
}

InputAccess Win32Desktop::InputAccessTo(std::uint32_t process) {
    // Under User Interface Privilege Isolation a process may send input only to processes of
    // an equal or lower integrity level.
    // Only a process that is gone (OpenProcess: ERROR_INVALID_PARAMETER) is let through, for
    // the focus guard to end the run; any other failure to read its rights, whether recognised
    // or not, may hide a program that keystrokes would never reach.
    const UniqueHandle target = OpenForQuery(process);
    if (!target) {
        return ::GetLastError() == ERROR_INVALID_PARAMETER ? InputAccess::Allowed
                                                           : InputAccess::Unreadable;
    }
    const Result<DWORD> theirs = ProcessIntegrityLevel(target.get());
    const Result<DWORD> ours = ProcessIntegrityLevel(::GetCurrentProcess());
    if (!theirs || !ours) {
        return InputAccess::Unreadable;
    }
    return theirs.value() > ours.value() ? InputAccess::Elevated : InputAccess::Allowed;
}

bool Win32Desktop::WindowClosed(WindowId window) {
    return ::IsWindow(AsWindow(window)) == FALSE;
}

bool Win32Desktop::ProcessEnded(std::uint32_t process) {
    // A process that has ended can no longer be opened once its last handle is closed; one
    // still held open by another program is signaled.
    const UniqueHandle handle(::OpenProcess(SYNCHRONIZE, FALSE, process));
    if (!handle) {
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    }
    return ::WaitForSingleObject(handle.get(), 0) == WAIT_OBJECT_0;
}

std::u16string Win32Desktop::ProgramName(std::uint32_t process) {
    return ProgramFileName(process);
}

std::u16string ProgramFileName(std::uint32_t process) {
    const UniqueHandle target = OpenForQuery(process);
    if (!target) {
        return {};
    }
    std::wstring path(kLongestPath + 1, L'\0');
    auto length = static_cast<DWORD>(path.size());
    if (!::QueryFullProcessImageNameW(target.get(), 0, path.data(), &length)) {
        return {};
    }
    path.resize(length);
    const std::size_t slash = path.find_last_of(L"\\/");
    return FromWide(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

std::optional<InputMethodState> Win32Desktop::InputMethodStatus(WindowId window) {
    const HWND inputMethod = InputMethodWindowOf(window);
    const std::optional<DWORD_PTR> open = AskInputMethod(inputMethod, kGetOpenStatus);
    if (!open) {
        return std::nullopt;
    }
    const std::optional<DWORD_PTR> conversion = AskInputMethod(inputMethod, kGetConversionMode);
    return InputMethodState{*open != 0, static_cast<std::uint32_t>(conversion.value_or(0))};
}

bool Win32Desktop::SetInputMethodStatus(WindowId window, InputMethodState state) {
    const HWND inputMethod = InputMethodWindowOf(window);
    // The conversion mode first: a Korean input method switches by it alone, and a Japanese
    // one keeps it for when it is opened again.
    const bool converted =
        AskInputMethod(inputMethod, kSetConversionMode, static_cast<LPARAM>(state.conversion))
            .has_value();
    const bool opened = AskInputMethod(inputMethod, kSetOpenStatus, state.open ? 1 : 0).has_value();
    return converted || opened;
}

std::u16string Win32Desktop::AppFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return FolderOfModulePath(FromWide(path));
        }
        path.resize(path.size() * 2);  // truncated: long paths go past MAX_PATH
    }
}

Result<std::u16string> Win32Desktop::AskFileToOpen(std::span<const FileTypeFilter> filters) {
    const std::wstring filter = ToWide(SystemFilterString(filters));
    // Room for the longest path Windows allows, not just MAX_PATH.
    std::wstring file(kLongestPath + 1, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filters.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    // The file is to be read, so it must exist; the working directory, against which a typed
    // relative path resolves, stays where it was.
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!::GetOpenFileNameW(&dialog)) {
        const DWORD error = ::CommDlgExtendedError();
        if (error == 0) {
            return Failure{"AskFileToOpen", u"No file was chosen.", ERROR_CANCELLED};
        }
        return Failure{"AskFileToOpen",
                       u"The open-file dialog failed (common dialog error " +
                           FromWide(std::to_wstring(error)) + u").",
                       error};
    }
    file.resize(std::wcslen(file.c_str()));
    return FromWide(file);
}

std::optional<SecretEntry> Win32Desktop::AskSecret(const SecretDialog& dialog) {
    return RunSecretDialog(window_, dialog);
}

std::optional<HotKey> Win32Desktop::AskHotKey(const HotKeyDialog& dialog) {
    return RunHotKeyDialog(window_, dialog);
}

void Win32Desktop::EnableTimer(Milliseconds interval) {
    const auto ms = static_cast<UINT>(
        std::clamp<long long>(interval.count(), USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM));
    timerEnabled_ = ::SetTimer(window_, kTimerId, ms, nullptr) != 0;
}

void Win32Desktop::DisableTimer() {
    ::KillTimer(window_, kTimerId);
    timerEnabled_ = false;
}

std::u16string Win32Desktop::FullPath(std::u16string_view path) {
    // No full form to be had: the path as it is, which then fails as such.
    const std::optional<std::wstring> full = FullPathName(ToWide(path));
    return full ? FromWide(*full) : std::u16string(path);
}

Result<std::unique_ptr<ByteReader>> Win32Desktop::OpenForReading(std::u16string_view path) {
    const std::wstring widePath = OpenablePath(ToWide(path));
    if (OpensDevice(widePath)) {
        return ErrorFailure("OpenForReading", kIsDeviceCode);
    }
    UniqueHandle file(::CreateFileW(widePath.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        // A folder is refused as access denied, as a file without access is.
        const DWORD error = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(widePath.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return ErrorFailure("OpenForReading", kIsFolderCode);
        }
        return ErrorFailure("OpenForReading", error);
    }
    return std::unique_ptr<ByteReader>(std::make_unique<FileReader>(std::move(file)));
}

Status Win32Desktop::ReplaceFileContents(std::u16string_view path, std::string_view bytes) {
    const std::wstring target = OpenablePath(ToWide(path));
    const std::wstring temporary =
        FolderPrefix(target) + L"~quillrun-" + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    {
        UniqueHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return LastErrorFailure("ReplaceFileContents");
        }
        Status written = WriteAll(file.get(), bytes);
        if (written && !::FlushFileBuffers(file.get())) {
            written = LastErrorFailure("ReplaceFileContents");
        }
        if (!written) {
            file.reset();
            ::DeleteFileW(temporary.c_str());
            return written;
        }
    }
    if (!::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Failure failure = LastErrorFailure("ReplaceFileContents");
        ::DeleteFileW(temporary.c_str());
        return failure;
    }
    return {};
}

Language Win32Desktop::DisplayLanguage() const {
    // The language Windows shows its own menus and dialogs in, chosen in Settings as the
    // "Windows display language"; the regional format (the user locale) may differ from it.
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE ? Language::Japanese
                                                                        : Language::English;
}

std::uint32_t Win32Desktop::LegacyAnsiCodePage() const {
    // The system locale ("Language for non-Unicode programs") is what decides the ANSI code page,
    // so its code page is the one files of programs that are not Unicode were written in, not the
    // user's regional format. By its name: Wine refuses LOCALE_NAME_SYSTEM_DEFAULT here.
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    if (::GetSystemDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH) == 0) {
        return 0;
    }
    // LOCALE_IUSEUTF8LEGACYACP (winnls.h of newer SDKs) is documented as "the legacy Windows
    // codepage that would have been used" where the system uses UTF-8; Windows and Wine that
    // predate it fail the call, and the locale's own ANSI code page is the answer there.
    constexpr LCTYPE kLegacyAnsiCodePageOfUtf8System = 0x0666;
    constexpr LCTYPE kTypes[] = {kLegacyAnsiCodePageOfUtf8System, LOCALE_IDEFAULTANSICODEPAGE};
    for (const LCTYPE type : kTypes) {
        DWORD codePage = 0;
        // With LOCALE_RETURN_NUMBER the size is counted in WCHARs and the number is a DWORD.
        if (::GetLocaleInfoEx(locale, type | LOCALE_RETURN_NUMBER,
                              reinterpret_cast<LPWSTR>(&codePage),
                              sizeof(codePage) / sizeof(WCHAR)) != 0 &&
            codePage != 0) {
            return codePage;
        }
    }
    return 0;
}

Result<std::u16string> Win32Desktop::DecodeCodePage(std::uint32_t codePage,
                                                    std::string_view bytes) {
    // UTF-8 must be valid; an ANSI code page maps every byte somewhere, as text files need.
    return DecodeCodePageText(codePage, bytes, codePage == kUtf8CodePage);
}

Result<std::string> Win32Desktop::EncodeCodePage(std::uint32_t codePage, std::u16string_view text) {
    return EncodeCodePageText(codePage, text);
}

Milliseconds Win32Desktop::Now() const {
    // The performance counter behind steady_clock, not GetTickCount64, which moves in steps of
    // the system timer (15.6 ms by default): a wait measured in those could end a step early.
    return std::chrono::duration_cast<Milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void Win32Desktop::Sleep(Milliseconds duration) {
    ::Sleep(static_cast<DWORD>(std::clamp<long long>(duration.count(), 0, INFINITE - 1)));
}

}  // namespace quillrun::win32
