#include "win32/win32_console.h"

#include <windows.h>

#include <atomic>
#include <utility>
#include <string_view>

#include "app/command_line.h"
#include "app/form_layout.h"
#include "quillrun_version.h"
#include "win32/win32_desktop.h"
#include "win32/win32_handles.h"
#include "win32/win32_text.h"

namespace quillrun::win32 {
namespace {

// Set by Ctrl+C, Ctrl+Break or the console's closing, on a thread the system starts for it;
// the run looks before every keystroke and during its waits.
std::atomic<bool> g_interrupted{false};
// Set once the run has ended and let go of every key.
HANDLE g_runEnded = nullptr;

// Closing the console, signing out or shutting down ends the process as soon as the handler
// returns (at the latest after 5 s, "HandlerRoutine callback function"): the run is given the
// time to stop at its next key and let go of what it holds.
constexpr DWORD kEndingGraceMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD event) {
    g_interrupted = true;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        ::WaitForSingleObject(g_runEnded, kEndingGraceMs);
    }
    return TRUE;  // handled: the run stops by itself, rather than the process in mid-keystroke
}

// Where the text goes: the console as text, a redirection as bytes in the console's code page
// (what cmd.exe and PowerShell decode it by), or UTF-8 without a console.
class Output {
  public:
    explicit Output(DWORD which) : handle_(::GetStdHandle(which)) {}
    [[nodiscard]] bool Usable() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

    void Write(std::u16string_view text) const {
        std::wstring wide = ToWide(text);
        if (!wide.empty() && wide.back() != L'\n') {
            wide += L'\n';
        }
        DWORD mode = 0;
        if (::GetConsoleMode(handle_, &mode)) {
            // The console wants a carriage return before each line feed.
            std::wstring lines;
            for (const wchar_t c : wide) {
                if (c == L'\n') {
                    lines += L'\r';
                }
                lines += c;
            }
            DWORD written = 0;
            ::WriteConsoleW(handle_, lines.data(), static_cast<DWORD>(lines.size()), &written,
                            nullptr);
            return;
        }
        const UINT codePage = ::GetConsoleOutputCP() != 0 ? ::GetConsoleOutputCP() : CP_UTF8;
        const int size = ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                               nullptr, 0, nullptr, nullptr);
        std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
        ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                              size, nullptr, nullptr);
        DWORD written = 0;
        ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

  private:
    HANDLE handle_;
};

// Says `text` where the user will see it: on standard output or error when there is one, else
// (quillrun.exe started by a shortcut or a file dropped on it) in a message box. Never a box for
// quillrun.com, which scripts run, maybe with no one to close it.
void Tell(std::u16string_view text, DWORD which, bool failure, Subsystem subsystem) {
    const Output output(which);
    if (output.Usable()) {
        output.Write(text);
        return;
    }
    if (subsystem == Subsystem::Console) {
        return;
    }
    ::MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(kWindowCaption).c_str(),
                  MB_OK | (failure ? MB_ICONWARNING : MB_ICONINFORMATION));
}

}  // namespace

int RunWithArguments(std::span<const std::u16string> arguments, Subsystem subsystem) {
    // quillrun.exe has no console of its own: messages go to the one it was started from, if
    // any, where its output was not redirected.
    const bool outputRedirected = Output(STD_OUTPUT_HANDLE).Usable();
    const bool errorsRedirected = Output(STD_ERROR_HANDLE).Usable();
    if (subsystem == Subsystem::Window && !(outputRedirected && errorsRedirected) &&
        ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        for (const auto& [which, redirected] :
             {std::pair(STD_OUTPUT_HANDLE, outputRedirected), std::pair(STD_ERROR_HANDLE, errorsRedirected)}) {
            if (!redirected) {
                ::SetStdHandle(which, ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, 0, nullptr));  // kept till exit
            }
        }
    }
    // A program line naming a document or a shortcut is opened through the shell, which wants
    // COM on the thread ("ShellExecuteEx": CoInitializeEx before calling it).
    const ComApartment com;
    Win32Desktop desktop;
    const Language language = desktop.DisplayLanguage();
    const ParsedCommand parsed = ParseCommandLine(arguments, language);
    switch (parsed.action) {
        case CommandAction::OpenWindow:  // not reached: there are arguments
        case CommandAction::Help:
            Tell(UsageText(language), STD_OUTPUT_HANDLE, false, subsystem);
            return static_cast<int>(ExitCode::TypedWhole);
        case CommandAction::Version:
            Tell(u"Quillrun " QUILLRUN_VERSION_TEXT_U, STD_OUTPUT_HANDLE, false, subsystem);
            return static_cast<int>(ExitCode::TypedWhole);
        case CommandAction::Refused:
            Tell(parsed.refusal, STD_ERROR_HANDLE, true, subsystem);
            return static_cast<int>(ExitCode::BadArguments);
        case CommandAction::Run:
            break;
    }
    const UniqueHandle runEnded(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_runEnded = runEnded.get();
    // Ctrl+C may come ignored from a parent started with CREATE_NEW_PROCESS_GROUP: heard again.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const CommandOutcome outcome =
        RunFromCommandLine(desktop, parsed.run, [] { return g_interrupted.load(); });
    ::SetEvent(g_runEnded);
    if (!outcome.message.empty()) {
        Tell(outcome.message, STD_ERROR_HANDLE, true, subsystem);
    }
    return static_cast<int>(outcome.exitCode);
}

}  // namespace quillrun::win32
