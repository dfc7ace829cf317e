// Process entry: with arguments, a run from the command line; without, MainForm's window, shown
// until it closes. quillrun.exe is built for the window, quillrun.com (QUILLRUN_CONSOLE) for the
// console from the same code, so that cmd.exe and PowerShell, which try .com before .exe, wait
// for `quillrun FILE` and see its exit code, while a double-click opens no console.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/form_layout.h"
#include "win32/win32_console.h"
#include "win32/win32_main_window.h"
#include "win32/win32_desktop.h"
#include "win32/win32_handles.h"
#include "win32/win32_text.h"

namespace {

// The arguments after the program's name, as the C runtime would split them.
std::vector<std::u16string> Arguments() {
    int count = 0;
    LPWSTR* split = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::u16string> arguments;
    for (int i = 1; split != nullptr && i < count; ++i) {
        arguments.push_back(quillrun::win32::FromWide(split[i]));
    }
    ::LocalFree(split);
    return arguments;
}

#ifndef QUILLRUN_CONSOLE
int OpenWindow(HINSTANCE instance, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_HOTKEY_CLASS};
    ::InitCommonControlsEx(&controls);

    // The taskbar button's progress is a COM service.
    const quillrun::win32::ComApartment com;
    quillrun::win32::Win32Desktop desktop;
    auto window = quillrun::win32::MainWindow::Create(instance, desktop);
    if (!window) {
        constexpr quillrun::Localized kNoWindow{
            u"Quillrun could not create its window ({operation}):\n{reason}",
            u"Quillrun はウィンドウを作成できませんでした ({operation})。\n{reason}"};
        const quillrun::Failure& failure = window.failure();
        const std::u16string operation(failure.operation.begin(), failure.operation.end());
        const std::wstring text = quillrun::win32::ToWide(
            quillrun::FillIn(kNoWindow.In(desktop.DisplayLanguage()),
                             {{u"operation", operation}, {u"reason", failure.reason}}));
        ::MessageBoxW(nullptr, text.c_str(),
                      quillrun::win32::ToWide(quillrun::kWindowCaption).c_str(),
                      MB_OK | MB_ICONERROR);
        return 1;
    }
    return window.value()->Run(showCommand);
}
#endif

#ifdef QUILLRUN_CONSOLE
// quillrun.com without arguments: the window is quillrun.exe's, beside it, which the console
// does not wait for.
int StartWindowProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path = path.substr(0, path.find_last_of(L'.')) + L".exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    // Quoted: a folder with a blank in its name would otherwise split into arguments.
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &started)) {
        const std::u16string reason = quillrun::win32::SystemMessage(::GetLastError());
        const std::wstring text = L"quillrun: " + path + L": " + quillrun::win32::ToWide(reason) + L"\r\n";
        DWORD written = 0;
        ::WriteConsoleW(::GetStdHandle(STD_ERROR_HANDLE), text.data(),
                        static_cast<DWORD>(text.size()), &written, nullptr);
        return static_cast<int>(quillrun::ExitCode::NoTarget);
    }
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return 0;
}
#endif

int Main([[maybe_unused]] HINSTANCE instance, [[maybe_unused]] int showCommand) {
    const std::vector<std::u16string> arguments = Arguments();
#ifdef QUILLRUN_CONSOLE
    if (arguments.empty()) {
        return StartWindowProgram();
    }
    return quillrun::win32::RunWithArguments(arguments, quillrun::win32::Subsystem::Console);
#else
    if (!arguments.empty()) {
        return quillrun::win32::RunWithArguments(arguments, quillrun::win32::Subsystem::Window);
    }
    return OpenWindow(instance, showCommand);
#endif
}

}  // namespace

#ifdef QUILLRUN_CONSOLE
int wmain() {
    return Main(::GetModuleHandleW(nullptr), SW_SHOWNORMAL);
}
#else
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
    return Main(instance, showCommand);
}
#endif
