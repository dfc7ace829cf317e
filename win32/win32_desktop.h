// DesktopServices on the real Windows desktop.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "desktop/desktop_services.h"
#include "win32/win32_handles.h"
#include "win32/win32_keyboard.h"

namespace quillrun::win32 {

// Hands one message to the window it is for, letting `dialogWindow` handle Tab and Shift+Tab
// between its controls the way a dialog does. Keystrokes Quillrun typed itself are dropped.
void DispatchWindowMessage(HWND dialogWindow, MSG& message);

// Handles Quillrun's messages as they come (through DispatchWindowMessage) until `done` holds,
// asked after each batch, or `deadline` passes. True once `done` held; false at the deadline,
// or once the program is quitting: then `quitting` is set and WM_QUIT posted again, so that the
// main loop still sees it.
bool PumpMessagesUntil(HWND dialogWindow, const std::function<bool()>& done,
                       std::chrono::steady_clock::time_point deadline, bool& quitting);

// Brings `window` to the front, where it gets the keyboard, within a moment; false when the
// system refused. Asks as a program without the last input may (see the definition).
bool BringToFront(HWND window);

// Restores `window` if minimized and brings it to the front; fails for `operation` with
// ERROR_INVALID_WINDOW_HANDLE for none, ERROR_ACCESS_DENIED when the system refused.
Status Activate(const char* operation, HWND window);

// The file name of the process's program (e.g. u"notepad.exe"); empty when unknown.
std::u16string ProgramFileName(std::uint32_t process);

class Win32Desktop final : public DesktopServices {
  public:
    // The timer id that WM_TIMER carries for Tmr.
    static constexpr UINT_PTR kTimerId = 1;

    Win32Desktop() = default;
    Win32Desktop(const Win32Desktop&) = delete;
    Win32Desktop& operator=(const Win32Desktop&) = delete;

    // The main window: it owns the timer and gets the dialog keyboard handling while pumping.
    void AttachWindow(HWND window) {
        window_ = window;
        typist_.AttachWindow(window);
    }
    // How long the window in front may take to handle one keystroke before typing ends.
    void SetResponseTimeout(Milliseconds timeout) { typist_.SetResponseTimeout(timeout); }
    void AllowSharingInput(bool allowed) { typist_.AllowSharingInput(allowed); }

    Result<TaskId> LaunchProgram(std::u16string_view commandLine) override;
    Status ActivateTask(TaskId task) override;
    void ReleaseTask(TaskId task) override { tasks_.erase(task.value); }
    Status ActivateWindowOpenedSince(TaskId task) override;
    [[nodiscard]] std::vector<TitledWindow> TitledWindows() override;
    Status ActivateWindow(WindowId window) override;
    [[nodiscard]] WindowId ConsoleWindow() override;
    Result<std::unique_ptr<ByteReader>> OpenStandardInput() override;
    [[nodiscard]] bool HasTaskbarButton(WindowId window) override;
    Status SendKeyString(std::u16string_view keys, WindowId window) override;
    Status BeginTyping(const TypingOptions& options) override;
    [[nodiscard]] std::optional<std::size_t> FirstNotTypableAsKeys(
        std::u16string_view text) override {
        return typist_.FirstNotTypableAsKeys(text);
    }
    [[nodiscard]] bool KeyStringTypable(std::u16string_view keys) override;
    void EndTyping() override { typist_.End(); }
    [[nodiscard]] std::vector<std::u16string> InstalledKeyboardLayouts() override;
    [[nodiscard]] std::u16string KeyboardLayoutName(std::u16string_view id) override {
        return KeyboardLayoutDisplayName(id);
    }
    [[nodiscard]] std::uint32_t ForegroundProcess() override;
    [[nodiscard]] bool IsShellWindow(WindowId window) override;
    [[nodiscard]] bool ChoosingInputHeld() override;
    [[nodiscard]] bool AnyKeyHeld() override;
    Status RegisterHotKey(HotKey key) override;
    [[nodiscard]] bool HotKeyRegistered() override { return hotKey_.None() || hotKeyRegistered_; }
    std::optional<HotKey> AskHotKey(const HotKeyDialog& dialog) override;
    std::optional<SecretEntry> AskSecret(const SecretDialog& dialog) override;
    void ForgetKeys() override { typist_.ForgetPlans(); }
    // The identifier of the hot key's WM_HOTKEY messages.
    static constexpr int kHotKeyId = 1;
    Result<std::optional<std::u16string>> ClipboardText() override;
    [[nodiscard]] std::uint32_t OwnProcess() const override { return ::GetCurrentProcessId(); }
    [[nodiscard]] WindowId ForegroundWindow() override;
    void PumpEvents() override;
    void PumpEventsFor(Milliseconds duration) override;
    [[nodiscard]] InputAccess InputAccessTo(std::uint32_t process) override;
    [[nodiscard]] bool WindowClosed(WindowId window) override;
    [[nodiscard]] bool ProcessEnded(std::uint32_t process) override;
    [[nodiscard]] std::u16string ProgramName(std::uint32_t process) override;
    [[nodiscard]] std::optional<InputMethodState> InputMethodStatus(WindowId window) override;
    bool SetInputMethodStatus(WindowId window, InputMethodState state) override;
    std::u16string AppFolder() override;
    [[nodiscard]] std::u16string FullPath(std::u16string_view path) override;
    Result<std::u16string> AskFileToOpen(std::span<const FileTypeFilter> filters) override;
    void EnableTimer(Milliseconds interval) override;
    void DisableTimer() override;
    [[nodiscard]] bool TimerEnabled() const override { return timerEnabled_; }
    Result<std::unique_ptr<ByteReader>> OpenForReading(std::u16string_view path) override;
    Status ReplaceFileContents(std::u16string_view path, std::string_view bytes) override;
    [[nodiscard]] Language DisplayLanguage() const override;
    [[nodiscard]] std::uint32_t AnsiCodePage() const override { return ::GetACP(); }
    [[nodiscard]] std::uint32_t LegacyAnsiCodePage() const override;
    Result<std::u16string> DecodeCodePage(std::uint32_t codePage, std::string_view bytes) override;
    Result<std::string> EncodeCodePage(std::uint32_t codePage, std::u16string_view text) override;
    [[nodiscard]] Milliseconds Now() const override;
    void Sleep(Milliseconds duration) override;

  private:
    HWND window_ = nullptr;
    bool timerEnabled_ = false;
    HotKey hotKey_;  // the one asked for last, registered or not
    bool hotKeyRegistered_ = false;
    KeyboardTypist typist_;
    // A launched program: holding its process handle keeps the process id from being reused
    // while Quillrun may still activate it.
    struct Task {
        UniqueHandle process;
        ULONGLONG launchedAt = 0;  // system time (FILETIME units) just before the launch
    };
    std::map<std::uint64_t, Task> tasks_;
    std::optional<WindowId> consoleWindow_;  // found at the first ask
    std::uint64_t nextTask_ = 1;
};

}  // namespace quillrun::win32
