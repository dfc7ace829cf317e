// A scripted, in-memory desktop for tests. It records every call in order, keeps files in a map,
// runs a virtual clock that only tests move, and fails whatever a test scripts to fail.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "desktop/desktop_services.h"

namespace quillrun {

class FakeDesktop final : public DesktopServices {
  public:
    struct Call {
        std::string operation;
        std::u16string argument;

        friend bool operator==(const Call&, const Call&) = default;
    };

    // --- What a test sets up -----------------------------------------------------------------
    std::u16string appFolder = u"C:\\Tools\\Quillrun";
    std::u16string workingFolder = u"C:\\Tools\\Quillrun";
    std::uint32_t ansiCodePage = 1252;
    // The system locale's own ANSI code page, which differs where the system uses UTF-8 (65001).
    std::uint32_t legacyAnsiCodePage = 1252;
    Language displayLanguage = Language::English;
    // Most bytes one read of a file returns (0: as many as asked for), as pipes and network
    // shares may deliver less than asked.
    std::size_t readPieceLimit = 0;
    // What a timer tick runs (the window's tick handler) and what PumpEvents runs besides ticks
    // (events the user caused meanwhile). Either may be empty.
    std::function<void()> onTick;
    std::function<void()> onPump;
    // Runs after each key string is "typed" (e.g. to move the focus or close the window).
    std::function<void(std::u16string_view keys)> onKeys;
    // Runs at each Sleep (e.g. to let the window in front settle).
    std::function<void()> onSleep;
    // The process in front; a successful ActivateTask puts the task's process there. Each
    // process has a main window, whose id is the process id.
    std::uint32_t foregroundProcess = 0;
    // The window in front when it is another window of foregroundProcess than its main one (a
    // second document, a dialog it opened); 0: its main window. An activation sets it to 0.
    std::uint64_t foregroundWindow = 0;
    std::uint32_t ownProcess = 4;
    // Processes that have ended, and windows that have closed (with the ended processes' own).
    std::set<std::uint32_t> endedProcesses;
    std::set<std::uint64_t> closedWindows;
    // Processes Quillrun may not type into, and the programs' names; by process id.
    std::map<std::uint32_t, InputAccess> inputAccess;
    std::map<std::uint32_t, std::u16string> programNames;
    // Windows that have an input method, and its state; by window id.
    std::map<std::uint64_t, InputMethodState> inputMethods;
    // How many reads of an input method's state still show the old one after a change.
    int inputMethodLag = 0;
    // Windows without a taskbar button (splash screens), by window id.
    std::set<std::uint64_t> windowsWithoutTaskbarButton;
    // Processes started since a launch that show a window with a taskbar button behind others,
    // frontmost first.
    std::vector<std::uint32_t> openedBehind;
    // The shell's windows (desktop, taskbar), by window id.
    std::set<std::uint64_t> shellWindows;
    // A mouse button or Alt held by the user.
    bool choosingInputHeld = false;
    // A key held by the user: AnyKeyHeld says so, and a run typed with waitWhileKeysHeld is
    // refused its keys, as "KeysHeld".
    bool keyHeld = false;
    // Hot keys other programs have, and the one Quillrun has (None(): none). A key string that
    // presses Quillrun's lets go of it while it is typed (onKeys runs then), and asks for it
    // again after: should hotKeysTaken hold it by then, Quillrun has none.
    std::vector<HotKey> hotKeysTaken;
    HotKey registeredHotKey;
    // Keyboard layouts installed, by identifier, with their names.
    std::vector<std::pair<std::u16string, std::u16string>> keyboardLayouts = {{u"00000409", u"US"}};
    // The characters the layouts' keys type; any other goes only as Unicode input.
    std::u16string keyCharacters =
        u" !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
        u"abcdefghijklmnopqrstuvwxyz{|}~\t\r\n";
    // Windows a user can type into and their titles, frontmost first, beside the processes'
    // main windows (which have none here). Closed ones and splash screens are not listed.
    std::vector<TitledWindow> titledWindows;
    // The console Quillrun was started from; 0: none.
    std::uint64_t consoleWindow = 0;
    // What standard input holds; read in pieces of readPieceLimit like a file, and once: a
    // second open finds it read. A scripted "OpenStandardInput" failure stands for one that
    // cannot be read (kReadInterruptedCode: Ctrl+C ended the read).
    std::string standardInput;
    // The clipboard's text; nullopt: none (empty, or a picture). A scripted "ClipboardText"
    // failure stands for another program holding it open.
    std::optional<std::u16string> clipboard;

    // The next call of `operation` (its name in the interface) fails with `failure`.
    void FailNext(const std::string& operation, Failure failure);
    // Queues the open-file dialog's next answer; without one the dialog reports a cancel.
    void QueueDialogAnswer(Result<std::u16string> answer);
    // Queues the hot-key dialog's next answer, the keys the user presses into it (nullopt:
    // Cancel); without one it is cancelled. As in the real dialog, Win is not seen (the key
    // in force with it stays itself), and a key its `refusal` refuses shows the reason, recorded
    // as "HotKeyRefused", and is cancelled: OK cannot be chosen.
    void QueueHotKeyAnswer(std::optional<HotKey> answer);
    // Queues the secret dialog's next answer (nullopt: Cancel); without one it is cancelled. As
    // in the real dialog, an empty secret, one longer than kMaxSecretLength or one its `refusal`
    // refuses cannot be chosen: it is recorded as "SecretRefused" and the dialog cancelled.
    void QueueSecretAnswer(std::optional<SecretEntry> answer);
    // The secret dialogs shown, in order.
    [[nodiscard]] const std::vector<SecretDialog>& secretDialogs() const { return secretDialogs_; }
    // The hot-key dialogs shown, in order.
    [[nodiscard]] const std::vector<HotKeyDialog>& hotKeyDialogs() const { return hotKeyDialogs_; }
    // Files by full path; relative paths resolve against workingFolder. Each put is a write,
    // at a later time than the one before.
    void PutFile(std::u16string_view path, std::string bytes);
    void PutFolder(std::u16string_view path);
    // A path that opens a device or a pipe, whatever its name (Windows 10 takes "con.txt" for
    // the console, Windows 11 for a file): opening it fails with kIsDeviceCode, as on Windows.
    void PutDevice(std::u16string_view path);
    [[nodiscard]] std::optional<std::string> FileBytes(std::u16string_view path) const;
    // Lets idle time pass, as the message loop would: due timer ticks fire.
    void Advance(Milliseconds duration);

    // --- What a test reads back --------------------------------------------------------------
    [[nodiscard]] const std::vector<Call>& calls() const { return calls_; }
    [[nodiscard]] std::vector<Call> CallsOf(const std::string& operation) const;
    [[nodiscard]] std::vector<TaskId> launched() const { return launched_; }
    // The process id the fake gives a launched task.
    [[nodiscard]] static std::uint32_t ProcessOf(TaskId task) {
        return 1000 + static_cast<std::uint32_t>(task.value);
    }

    // --- DesktopServices ---------------------------------------------------------------------
    Result<TaskId> LaunchProgram(std::u16string_view commandLine) override;
    Status ActivateTask(TaskId task) override;
    // Recorded; the task cannot be activated afterwards, as on Windows.
    void ReleaseTask(TaskId task) override;
    Status ActivateWindowOpenedSince(TaskId task) override;
    [[nodiscard]] std::vector<TitledWindow> TitledWindows() override;
    // Puts `window` (one of titledWindows, or a process's main window) in front; fails like
    // the real side for a closed one.
    Status ActivateWindow(WindowId window) override;
    [[nodiscard]] WindowId ConsoleWindow() override { return WindowId{consoleWindow}; }
    Result<std::unique_ptr<ByteReader>> OpenStandardInput() override;
    [[nodiscard]] bool HasTaskbarButton(WindowId window) override {
        return !windowsWithoutTaskbarButton.contains(window.value);
    }
    // Refused, as "KeysRefused", while another window than `window` is in front, outside a
    // run (kNotTypingCode), for a key string that is not one key, and for one that the run's
    // rules plan no keys for (kNoKeysCode), as the real side refuses them.
    Status SendKeyString(std::u16string_view keys, WindowId window) override;
    static constexpr std::uint32_t kNotTypingCode = 1;  // ERROR_INVALID_FUNCTION
    static constexpr std::uint32_t kNoKeysCode = 1113;  // ERROR_NO_UNICODE_TRANSLATION
    // Recorded with the options, as "pace=..;keys=..;layout=..".
    Status BeginTyping(const TypingOptions& options) override;
    [[nodiscard]] std::optional<std::size_t> FirstNotTypableAsKeys(
        std::u16string_view text) override;
    [[nodiscard]] bool KeyStringTypable(std::u16string_view keys) override;
    void EndTyping() override;
    [[nodiscard]] std::vector<std::u16string> InstalledKeyboardLayouts() override;
    [[nodiscard]] std::u16string KeyboardLayoutName(std::u16string_view id) override;
    [[nodiscard]] std::uint32_t ForegroundProcess() override { return foregroundProcess; }
    [[nodiscard]] bool IsShellWindow(WindowId window) override {
        return shellWindows.contains(window.value);
    }
    [[nodiscard]] bool ChoosingInputHeld() override { return choosingInputHeld; }
    [[nodiscard]] bool AnyKeyHeld() override { return keyHeld; }
    Status RegisterHotKey(HotKey key) override;
    [[nodiscard]] bool HotKeyRegistered() override { return registeredHotKey == hotKeyAsked_; }
    std::optional<HotKey> AskHotKey(const HotKeyDialog& dialog) override;
    std::optional<SecretEntry> AskSecret(const SecretDialog& dialog) override;
    // Recorded, as the real side wipes its keys' plans.
    void ForgetKeys() override { Record("ForgetKeys"); }
    Result<std::optional<std::u16string>> ClipboardText() override;
    [[nodiscard]] std::uint32_t OwnProcess() const override { return ownProcess; }
    [[nodiscard]] WindowId ForegroundWindow() override {
        return WindowId{foregroundWindow != 0 ? foregroundWindow : foregroundProcess};
    }
    void PumpEvents() override;
    void PumpEventsFor(Milliseconds duration) override;
    [[nodiscard]] InputAccess InputAccessTo(std::uint32_t process) override;
    [[nodiscard]] bool WindowClosed(WindowId window) override {
        return closedWindows.contains(window.value) ||
               (window.value <= 0xFFFFFFFF &&
                endedProcesses.contains(static_cast<std::uint32_t>(window.value)));
    }
    [[nodiscard]] bool ProcessEnded(std::uint32_t process) override {
        return endedProcesses.contains(process);
    }
    [[nodiscard]] std::u16string ProgramName(std::uint32_t process) override;
    [[nodiscard]] std::optional<InputMethodState> InputMethodStatus(WindowId window) override;
    // Recorded as "#window open|closed conversion".
    bool SetInputMethodStatus(WindowId window, InputMethodState state) override;
    std::u16string AppFolder() override;
    [[nodiscard]] std::u16string FullPath(std::u16string_view path) override { return Resolve(path); }
    Result<std::u16string> AskFileToOpen(std::span<const FileTypeFilter> filters) override;
    void EnableTimer(Milliseconds interval) override;
    void DisableTimer() override;
    [[nodiscard]] bool TimerEnabled() const override { return timerEnabled_; }
    Result<std::unique_ptr<ByteReader>> OpenForReading(std::u16string_view path) override;
    Status ReplaceFileContents(std::u16string_view path, std::string_view bytes) override;
    [[nodiscard]] Language DisplayLanguage() const override { return displayLanguage; }
    [[nodiscard]] std::uint32_t AnsiCodePage() const override { return ansiCodePage; }
    [[nodiscard]] std::uint32_t LegacyAnsiCodePage() const override { return legacyAnsiCodePage; }
    Result<std::u16string> DecodeCodePage(std::uint32_t codePage, std::string_view bytes) override;
    Result<std::string> EncodeCodePage(std::uint32_t codePage, std::u16string_view text) override;
    [[nodiscard]] Milliseconds Now() const override { return now_; }
    void Sleep(Milliseconds duration) override;

  private:
    void Record(std::string operation, std::u16string argument = {});
    std::optional<Failure> TakeScriptedFailure(const std::string& operation);
    [[nodiscard]] std::u16string Resolve(std::u16string_view path) const;
    void FireDueTicks();

    std::vector<Call> calls_;
    // A change of an input method's state that reads do not show yet, and for how many more.
    std::map<std::uint64_t, InputMethodState> pendingInputMethods_;
    int lagLeft_ = 0;
    std::map<std::string, std::deque<Failure>> failures_;
    std::deque<Result<std::u16string>> dialogAnswers_;
    std::deque<std::optional<HotKey>> hotKeyAnswers_;
    std::vector<HotKeyDialog> hotKeyDialogs_;
    std::deque<std::optional<SecretEntry>> secretAnswers_;
    std::vector<SecretDialog> secretDialogs_;
    HotKey hotKeyAsked_;              // by the last RegisterHotKey
    bool waitWhileKeysHeld_ = false;  // as the run typing now began
    bool keysOnly_ = false;           // likewise: keys only, or a layout chosen
    bool typing_ = false;             // between BeginTyping and EndTyping
    std::map<std::u16string, std::string> files_;
    // When each file was last written, as a count of writes: each write is a later time.
    std::map<std::u16string, std::uint64_t> writeTimes_;
    std::uint64_t writes_ = 0;
    std::map<std::u16string, bool> folders_;
    std::set<std::u16string> devices_;
    std::vector<TaskId> launched_;
    std::set<std::uint64_t> released_;
    std::uint64_t nextTask_ = 1;
    bool timerEnabled_ = false;
    Milliseconds interval_{0};
    Milliseconds nextTick_{0};
    Milliseconds now_{0};
};

}  // namespace quillrun
