#include "tests/win32/e2e_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "app/form_layout.h"
#include "app/start_menu.h"
#include "win32/win32_desktop.h"
#include "tests/target/test_target_protocol.h"
#include "tests/tools/menu_probe_protocol.h"

namespace quillrun::testing {
namespace {

// Short enough to notice a change quickly, long enough not to load the machine.
constexpr auto kPollInterval = 15ms;

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

bool WaitUntil(const std::function<bool()>& condition, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

bool CountMovedOn(const TargetProgram& target, long& most, long slack, Clock::duration duration,
                  const std::function<bool()>& also) {
    return WaitUntil(
        [&] {
            const long now = target.CharCount();
            const bool moved = now > most + slack;
            most = std::max(most, now);
            return moved || (also && also());
        },
        duration);
}

std::wstring BuildBinFolder() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L'\\'));
}

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, base);
    static unsigned counter = 0;
    for (;;) {
        path_ = std::wstring(base) + L"qr-e2e-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        if (::CreateDirectoryW(path_.c_str(), nullptr)) {
            break;
        }
    }
}

TempFolder::~TempFolder() {
    RemoveTree(path_);
}

Process Process::Start(const std::wstring& commandLine, const std::wstring& workingFolder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    return Started(commandLine, workingFolder, 0, startup);
}

Process Process::StartConsole(const std::wstring& commandLine, const std::wstring& workingFolder,
                              HANDLE input, HANDLE output, HANDLE errors) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    return Started(commandLine, workingFolder, CREATE_NO_WINDOW, startup);
}

Process Process::Started(std::wstring commandLine, const std::wstring& workingFolder, DWORD flags,
                         STARTUPINFOW& startup) {
    const BOOL inherit = (startup.dwFlags & STARTF_USESTDHANDLES) != 0 ? TRUE : FALSE;
    PROCESS_INFORMATION info{};
    Process process;
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inherit, flags, nullptr,
                         workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup,
                         &info)) {
        ::CloseHandle(info.hThread);
        process.handle_.reset(info.hProcess);
        process.id_ = info.dwProcessId;
    }
    return process;
}

ConsoleRun::ConsoleRun(const std::wstring& commandLine, const std::wstring& workingFolder,
                       const std::string& input) {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    const auto outputFile = [&](const wchar_t* name) {
        return win32::UniqueHandle(::CreateFileW((files_ / name).c_str(), GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    const win32::UniqueHandle output = outputFile(L"out.txt");
    const win32::UniqueHandle errors = outputFile(L"err.txt");
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!output || !errors || !::CreatePipe(&read, &write, &inheritable, 0)) {
        return;
    }
    win32::UniqueHandle reading(read);
    win32::UniqueHandle writing(write);
    // Only the reading end is the child's: with the writing end, its input would never end.
    ::SetHandleInformation(writing.get(), HANDLE_FLAG_INHERIT, 0);
    process_ = Process::StartConsole(commandLine, workingFolder, reading.get(), output.get(),
                                     errors.get());
    reading.reset();
    // Written here, before the test goes on: only a child that reads its input may be given
    // more than the pipe holds.
    for (std::size_t done = 0; process_.started() && done < input.size();) {
        DWORD wrote = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(input.size() - done, 4096));
        if (!::WriteFile(writing.get(), input.data() + done, chunk, &wrote, nullptr)) {
            break;
        }
        done += wrote;
    }
}

std::string ConsoleRun::Output() const {
    return ReadBytes(files_ / L"out.txt");
}

std::string ConsoleRun::Errors() const {
    return ReadBytes(files_ / L"err.txt");
}

bool Process::WaitForExit(Clock::duration timeout) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count();
    return ::WaitForSingleObject(handle_.get(), static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

DWORD Process::ExitCode() const {
    DWORD code = 0;
    ::GetExitCodeProcess(handle_.get(), &code);
    return code;
}

bool Process::Running() const {
    return handle_.valid() && ::WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT;
}

void Process::Kill() {
    if (Running()) {
        ::TerminateProcess(handle_.get(), 99);
        ::WaitForSingleObject(handle_.get(), 5000);
    }
}

Process::~Process() {
    Kill();
}

std::vector<HWND> VisibleTopLevelWindows(const std::function<bool(HWND)>& wanted) {
    struct Search {
        const std::function<bool(HWND)>* wanted;
        std::vector<HWND> found;
    } search{&wanted, {}};
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            if (::IsWindowVisible(window) && (*s.wanted)(window)) {
                s.found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> TopLevelWindows(DWORD processId) {
    return VisibleTopLevelWindows([&](HWND window) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        return owner == processId;
    });
}

std::vector<DWORD> ChildProcesses(DWORD parentId) {
    std::vector<DWORD> children;
    win32::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return children;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parentId) {
            children.push_back(entry.th32ProcessID);
        }
    }
    return children;
}

HWND WaitForWindow(DWORD processId, const std::wstring& caption, Clock::duration timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(processId)) {
                if (Text(window) == caption) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

std::wstring Text(HWND window) {
    // WM_GETTEXT works across processes, also for edit controls.
    const auto length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied =
        ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

RECT RectInParent(HWND child) {
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND FocusIn(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

bool BringToFront(HWND window) {
    // As Quillrun does: a test program has not always received the last input event, and the
    // foreground lock then refuses it (as on a hosted Windows runner).
    static_cast<void>(win32::BringToFront(window));
    return WaitUntil([&] { return ::GetForegroundWindow() == window; });
}

bool ComeBackToQuillrun(const QuillrunSession& session) {
    const auto quillrunInFront = [&] {
        DWORD front = 0;
        ::GetWindowThreadProcessId(::GetForegroundWindow(), &front);
        return front == session.process.id();
    };
    // Asked first: once Quillrun's message is up, forcing its disabled owner forward instead
    // (a keystroke, attached input) would only fight it.
    if (::SetForegroundWindow(session.window) && WaitUntil(quillrunInFront, 2s)) {
        return true;
    }
    static_cast<void>(win32::BringToFront(session.window));
    return WaitUntil(quillrunInFront);
}

namespace {

std::function<void(const std::wstring&)> g_foreignFront;

// False, after telling the handler, when the helper must not type now.
bool MayType() {
    if (!g_foreignFront || OwnWindowInFront()) {
        return true;
    }
    g_foreignFront(Text(::GetForegroundWindow()));
    return false;
}

}  // namespace

bool OwnWindowInFront() {
    DWORD front = 0;
    ::GetWindowThreadProcessId(::GetForegroundWindow(), &front);
    if (front == 0) {
        return false;
    }
    // This process or one it started, through any number of others.
    std::vector<DWORD> family{::GetCurrentProcessId()};
    for (std::size_t i = 0; i < family.size(); ++i) {
        if (family[i] == front) {
            return true;
        }
        const std::vector<DWORD> children = ChildProcesses(family[i]);
        family.insert(family.end(), children.begin(), children.end());
    }
    const std::u16string name = win32::ProgramFileName(front);
    return name.starts_with(u"quillrun") || name.starts_with(u"qr_");
}

void OnForeignWindowInFront(std::function<void(const std::wstring& caption)> handler) {
    g_foreignFront = std::move(handler);
}

void PressKey(WORD virtualKey, bool shift) {
    if (!MayType()) {
        return;
    }
    std::vector<INPUT> inputs;
    if (shift) {
        inputs.push_back(KeyInput(VK_SHIFT, false));
    }
    inputs.push_back(KeyInput(virtualKey, false));
    inputs.push_back(KeyInput(virtualKey, true));
    if (shift) {
        inputs.push_back(KeyInput(VK_SHIFT, true));
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void HoldKeys(const std::vector<WORD>& keys) {
    if (!MayType()) {
        return;
    }
    std::vector<INPUT> inputs;
    for (const WORD key : keys) {
        inputs.push_back(KeyInput(key, false));
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void LetGoOfKeys(const std::vector<WORD>& keys) {
    // Whatever is in front: a key left down would stay down for every later test.
    std::vector<INPUT> inputs;
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        inputs.push_back(KeyInput(*key, true));
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void TypeUnicode(const std::wstring& text) {
    if (!MayType()) {
        return;
    }
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        for (bool up : {false, true}) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = c;
            input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
            inputs.push_back(input);
        }
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool CopyInto(const std::wstring& source, const std::wstring& destination) {
    return ::CopyFileW(source.c_str(), destination.c_str(), FALSE) != 0;
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::optional<POINT> BarePointOf(HWND window) {
    RECT frame{};
    ::GetWindowRect(window, &frame);
    // Between the controls first: a press on the caption begins moving the window.
    for (const LRESULT wanted : {HTCLIENT, HTCAPTION}) {
        for (LONG y = frame.top + 2; y < frame.bottom - 2; y += 3) {
            for (LONG x = frame.left + 2; x < frame.right - 2; x += 3) {
                DWORD_PTR hit = HTNOWHERE;
                if (::WindowFromPoint({x, y}) == window &&
                    ::SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_NORMAL,
                                          1000, &hit) &&
                    static_cast<LRESULT>(hit) == wanted) {
                    return POINT{x, y};
                }
            }
        }
    }
    return std::nullopt;
}

void ClickAt(POINT screen) {
    // Absolute positions run from 0 to 65535 across the virtual screen.
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = std::max(::GetSystemMetrics(SM_CXVIRTUALSCREEN), 2);
    const int height = std::max(::GetSystemMetrics(SM_CYVIRTUALSCREEN), 2);
    const auto send = [&](DWORD flags) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = ::MulDiv(screen.x - left, 65535, width - 1);
        input.mi.dy = ::MulDiv(screen.y - top, 65535, height - 1);
        input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK | flags;
        ::SendInput(1, &input, sizeof(INPUT));
    };
    // Each button event carries the point: Wine moves the X pointer to follow the cursor, and
    // the X server's report of an earlier position can put the cursor back there for a moment,
    // where a bare button event would then land.
    send(MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN);
    send(MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTUP);
}

bool ClickWindow(HWND window) {
    // The middle of the client area, or else the first point of a grid over it that no other
    // window covers: windows cascade differently as a session goes on.
    RECT client{};
    ::GetClientRect(window, &client);
    constexpr int kSteps = 8;
    for (int i = 0; i <= kSteps * kSteps; ++i) {
        const int col = i == 0 ? kSteps / 2 : (i - 1) % kSteps;
        const int row = i == 0 ? kSteps / 2 : (i - 1) / kSteps;
        POINT point{client.left + (client.right - client.left) * (2 * col + 1) / (2 * kSteps),
                    client.top + (client.bottom - client.top) * (2 * row + 1) / (2 * kSteps)};
        ::ClientToScreen(window, &point);
        if (::GetAncestor(::WindowFromPoint(point), GA_ROOT) == window) {
            ClickAt(point);
            return true;
        }
    }
    return false;
}

bool SetClipboardText(const std::optional<std::wstring>& text) {
    // Another program (Quillrun reading it) may hold it open for a moment.
    if (!WaitUntil([] { return ::OpenClipboard(nullptr) != FALSE; })) {
        return false;
    }
    bool done = ::EmptyClipboard() != FALSE;
    if (done && text) {
        const std::size_t bytes = (text->size() + 1) * sizeof(wchar_t);
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
        void* locked = memory != nullptr ? ::GlobalLock(memory) : nullptr;
        done = locked != nullptr;
        if (done) {
            std::copy_n(text->c_str(), text->size() + 1, static_cast<wchar_t*>(locked));
            ::GlobalUnlock(memory);
            done = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!done && memory != nullptr) {
            ::GlobalFree(memory);
        }
    }
    ::CloseClipboard();
    return done;
}

std::vector<HWND> WindowsWithCaption(const std::wstring& caption) {
    return VisibleTopLevelWindows([&](HWND window) { return Text(window) == caption; });
}

QuillrunInstall::QuillrunInstall() : exe_(folder_ / L"quillrun.exe") {
    CopyInto(BuildBinFolder() + L"\\quillrun.exe", exe_);
}

std::pair<Process, HWND> QuillrunInstall::Launch(const std::wstring& workingFolder) const {
    Process process = Process::Start(L"\"" + exe_ + L"\"",
                                     workingFolder.empty() ? folder_.path() : workingFolder);
    HWND window = process.started() ? WaitForWindow(process.id(), kCaption) : nullptr;
    return {std::move(process), window};
}

TargetProgram::TargetProgram(const std::wstring& arguments, const std::wstring& title)
    : out_(folder_ / L"typed.bin"), title_(title) {
    if (title_.empty()) {
        static unsigned counter = 0;
        title_ = std::wstring(kTargetTitle) + L" " + std::to_wstring(::GetCurrentProcessId()) +
                 L"." + std::to_wstring(++counter);
    }
    commandLine_ = L"\"" + BuildBinFolder() + L"\\qr_target.exe\" --out \"" + out_ +
                   L"\" --title \"" + title_ + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
}

HWND TargetProgram::Start() {
    // In its own folder, which it is ended before leaving.
    process_ = Process::Start(commandLine_, folder_.path());
    window_ = testing::WaitForWindow(process_.id(), title_);
    return window_;
}

HWND TargetProgram::WaitForWindow(Clock::duration timeout) {
    WaitUntil(
        [&] {
            const auto found = WindowsWithCaption(title_);
            window_ = found.empty() ? nullptr : found.front();
            return window_ != nullptr;
        },
        timeout);
    return window_;
}

long TargetProgram::CharCount() const {
    DWORD_PTR count = 0;
    if (!::SendMessageTimeoutW(window_, kCharCountMessage, 0, 0, SMTO_NORMAL, 10000, &count)) {
        return -1;
    }
    return static_cast<long>(count);
}

HandledCharCount::HandledCharCount(HWND target) {
    ::GetWindowThreadProcessId(target, &process_);
    mapping_.reset(
        ::OpenFileMappingW(FILE_MAP_READ, FALSE, CharCountMappingName(process_).c_str()));
    if (mapping_) {
        view_ = static_cast<const volatile LONG*>(
            ::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
    }
}

HandledCharCount::~HandledCharCount() {
    if (view_ != nullptr) {
        ::UnmapViewOfFile(const_cast<const LONG*>(view_));
    }
}

std::wstring TargetProgram::Text() const {
    DWORD_PTR written = 0;
    ::SendMessageTimeoutW(window_, kDumpMessage, 0, 0, SMTO_NORMAL, 10000, &written);
    return Utf16LeText(ReadBytes(out_));
}

std::string TargetProgram::Events() const {
    static_cast<void>(Text());
    return ReadBytes(out_ + L".events");
}

void TargetProgram::Close() {
    for (HWND window : WindowsWithCaption(title_)) {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    WaitUntil([&] { return WindowsWithCaption(title_).empty(); });
    window_ = nullptr;
}

HWND PathBoxOf(HWND quillrunWindow) {
    return ::GetDlgItem(quillrunWindow, static_cast<int>(ControlId::FPath));
}

void SetPathBox(HWND quillrunWindow, const std::wstring& text) {
    ::SendMessageW(PathBoxOf(quillrunWindow), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(text.c_str()));
}

void ClickChoose(HWND quillrunWindow) {
    ::PostMessageW(::GetDlgItem(quillrunWindow, static_cast<int>(ControlId::Choose)), BM_CLICK, 0,
                   0);
}

void ClickStart(HWND quillrunWindow) {
    // Quillrun types into whatever window is in front when it cannot bring its target forward.
    if (!MayType()) {
        return;
    }
    ::PostMessageW(::GetDlgItem(quillrunWindow, static_cast<int>(ControlId::Start)), BM_CLICK, 0,
                   0);
}

HWND OpenStartMenu(HWND quillrunWindow) {
    HWND start = ::GetDlgItem(quillrunWindow, static_cast<int>(ControlId::Start));
    if (!BringToFront(quillrunWindow)) {
        return nullptr;
    }
    RECT button{};
    ::GetWindowRect(start, &button);
    // The arrow is the button's right end. The window in front is raised by its own thread,
    // and under Wine a program that activates late can be raised over it again: raise it
    // until nothing covers the arrow, as a user would click its caption.
    const POINT arrow{button.right - 6, (button.top + button.bottom) / 2};
    const bool uncovered = WaitUntil([&] {
        if (::WindowFromPoint(arrow) == start) {
            return true;
        }
        ::SetWindowPos(quillrunWindow, HWND_TOP, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
        return false;
    });
    if (!uncovered) {
        return nullptr;
    }
    ClickAt(arrow);
    return WaitForOpenMenu();
}

HWND WaitForOpenMenu(Clock::duration timeout) {
    HWND menu = nullptr;
    WaitUntil(
        [&] {
            const auto menus =
                VisibleTopLevelWindows([](HWND w) { return ClassName(w) == L"#32768"; });
            menu = menus.empty() ? nullptr : menus.front();
            return menu != nullptr;
        },
        timeout);
    return menu;
}

bool ChooseMenuItem(HWND menu, int index) {
    // Home first: the pointer may rest over the menu, whose item under it is then selected,
    // and Down would count from there.
    PressKey(VK_HOME);
    for (int i = 0; i < index; ++i) {
        PressKey(VK_DOWN);
    }
    PressKey(VK_RETURN);
    return WaitUntil([&] { return !::IsWindowVisible(menu); });
}

int StartMenuIndexOf(int id) {
    const auto found = std::find_if(kStartCommands.begin(), kStartCommands.end(),
                                    [&](const StartMenuItem& item) { return item.id == id; });
    return static_cast<int>(found - kStartCommands.begin());
}

std::vector<std::wstring> MenuItemTexts(HWND menu) {
    // A menu's items can be read only in the process that shows it: the probe library's hook
    // reads them in that process's window thread and writes them to a file for this one.
    const HMODULE probe = ::LoadLibraryW((BuildBinFolder() + L"\\qr_menu_probe.dll").c_str());
    // Through void*: an exported function's address comes untyped.
    const auto hook = probe != nullptr ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                                             ::GetProcAddress(probe, kMenuItemsHookName)))
                                       : nullptr;
    if (hook == nullptr) {
        return {};
    }
    HHOOK hooked =
        ::SetWindowsHookExW(WH_GETMESSAGE, hook, probe, ::GetWindowThreadProcessId(menu, nullptr));
    if (hooked == nullptr) {
        return {};
    }
    const std::wstring file = MenuItemsFile(::GetCurrentProcessId());
    ::DeleteFileW(file.c_str());
    ::PostMessageW(menu, ::RegisterWindowMessageW(kMenuItemsRequest), ::GetCurrentProcessId(), 0);
    WaitUntil([&] { return FileExists(file); });
    ::UnhookWindowsHookEx(hooked);
    const std::wstring text = Utf16LeText(ReadBytes(file));
    ::DeleteFileW(file.c_str());
    std::vector<std::wstring> lines;
    for (std::size_t from = 0, end = text.find(L'\n'); end != std::wstring::npos;
         from = end + 1, end = text.find(L'\n', from)) {
        lines.push_back(text.substr(from, end - from));
    }
    return lines;
}

long CharacterMessages(const std::wstring& typed) {
    long count = static_cast<long>(typed.size());
    for (std::size_t at = typed.find(L"\r\n"); at != std::wstring::npos;
         at = typed.find(L"\r\n", at + 2)) {
        --count;
    }
    return count;
}

std::wstring WaitForTyped(const TargetProgram& target, const std::wstring& expected,
                          Clock::duration timeout) {
    const long expectedChars = CharacterMessages(expected);
    WaitUntil([&] { return target.CharCount() >= expectedChars; }, timeout);
    return target.Text();
}

QuillrunSession::QuillrunSession(const std::wstring& targetArguments,
                                 const std::string& settingsLines)
    : target(targetArguments) {
    WriteBytes(install.settingsFile(), Narrow(target.commandLine()) + "\r\n" + settingsLines);
    std::tie(process, window) = install.Launch();
}

QuillrunSession::~QuillrunSession() {
    if (process.Running()) {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        process.WaitForExit();
    }
}

void QuillrunSession::TypeFile(const std::string& bytes, const std::wstring& name) {
    file = work / name;
    WriteBytes(file, bytes);
    SetPathBox(window, file);
    ClickStart(window);
}

std::string LongText() {
    std::string text;
    for (int line = 0; line < 40; ++line) {
        text += "line " + std::to_string(line) + " of a file that takes a while to type\r\n";
    }
    return text;
}

std::wstring StoppedAfter(const std::string& text, long count) {
    long line = 1;
    long column = 1;
    long seen = 0;
    for (std::size_t i = 0; i < text.size() && seen < count; ++i) {
        if (text[i] == '\n') {
            continue;  // part of the line end, which typed one Enter for the CR
        }
        ++seen;
        if (text[i] == '\r') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return L"line " + std::to_wstring(line) + L", column " + std::to_wstring(column) +
           L" of the file; " + std::to_wstring(count) + L" characters were typed";
}

bool Answers(HWND window, UINT timeoutMs) {
    DWORD_PTR ignored = 0;
    return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &ignored) != 0;
}

std::vector<HWND> MessageBoxes(DWORD processId, HWND owner) {
    std::vector<HWND> boxes;
    for (HWND candidate : TopLevelWindows(processId)) {
        if (candidate != owner && ::GetWindow(candidate, GW_OWNER) == owner &&
            ClassName(candidate) == L"#32770" && Text(candidate) == kCaption) {
            boxes.push_back(candidate);
        }
    }
    return boxes;
}

HWND FindMessageBox(DWORD processId, HWND owner, Clock::duration timeout) {
    HWND box = nullptr;
    WaitUntil(
        [&] {
            const auto boxes = MessageBoxes(processId, owner);
            box = boxes.empty() ? nullptr : boxes.front();
            return box != nullptr;
        },
        timeout);
    return box;
}

std::wstring AllChildText(HWND window) {
    std::wstring text;
    for (HWND child : Children(window)) {
        text += Text(child) + L"\n";
    }
    return text;
}

std::string Narrow(const std::wstring& ascii) {
    return {ascii.begin(), ascii.end()};
}

bool DisplayIsJapanese() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE;
}

std::string Utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          size, nullptr, nullptr);
    return bytes;
}

std::wstring Utf16LeText(const std::string& bytes) {
    std::wstring text(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return text;
}

std::vector<SeenKey> KeyEvents(const std::string& events, bool characters) {
    std::vector<SeenKey> keys;
    std::istringstream lines(events);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string ms;
        SeenKey key;
        std::string vk;
        std::string scan;
        std::string ch;
        fields >> ms >> key.name >> vk >> scan >> ch;
        if (key.name != "KEYDOWN" && key.name != "KEYUP" && (!characters || key.name != "CHAR")) {
            continue;
        }
        const std::string& code = key.name == "CHAR" ? ch : vk;
        key.virtualKey = static_cast<unsigned>(std::stoul(code.substr(3), nullptr, 16));
        key.scan = static_cast<unsigned>(std::stoul(scan.substr(5), nullptr, 16));
        key.handledMs = std::stod(ms);
        const std::size_t sent = line.find("sent=");
        key.sentMs = sent == std::string::npos ? 0 : std::stol(line.substr(sent + 5));
        keys.push_back(key);
    }
    return keys;
}

}  // namespace quillrun::testing
