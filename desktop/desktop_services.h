// The one seam between Quillrun's logic and the Windows desktop. The real implementation lives in
// win32/win32_desktop.*, a scripted in-memory one for tests in tests/fake/. Everything the handlers
// need from the system (programs, input, the window's timer, files, time) comes through here.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/result.h"

namespace quillrun {

using Milliseconds = std::chrono::milliseconds;

// SendKeyString's failure code when the program in front stopped taking input within the bound
// (the system's ERROR_TIMEOUT): a run must end rather than type on blindly.
inline constexpr std::uint32_t kNotRespondingCode = 1460;
// SendKeyString's failure code when no window, or another window than the one typed into (of
// another program or of the same one), was in front at the moment of sending (the system's
// ERROR_INVALID_WINDOW_HANDLE): nothing was sent.
inline constexpr std::uint32_t kNoWindowInFrontCode = 1400;
// SendKeyString's failure code when the keys went out but another window took the keyboard
// before the target was seen to have read them (the system's ERROR_OPERATION_ABORTED): input
// that finds no focus window is dropped, so whether they arrived cannot be told.
inline constexpr std::uint32_t kMayNotHaveArrivedCode = 995;

// ActivateTask's failure codes when the launched program has no window to bring to the front:
// it has ended (as a launcher does once it has handed the launch to another process), or it
// shows none, or none yet (the system's ERROR_PROCESS_ABORTED and ERROR_INVALID_WINDOW_HANDLE).
inline constexpr std::uint32_t kTaskEndedCode = 1067;
inline constexpr std::uint32_t kTaskHasNoWindowCode = 1400;

// LaunchProgram's failure code when the program may only run as administrator (the system's
// ERROR_ELEVATION_REQUIRED).
inline constexpr std::uint32_t kElevationRequiredCode = 740;

// ClipboardText's failure code while another program holds the clipboard open (OpenClipboard
// then fails with the system's ERROR_ACCESS_DENIED).
inline constexpr std::uint32_t kClipboardBusyCode = 5;

// OpenForReading's failure code when the path names a folder (the system's ERROR_DIRECTORY).
inline constexpr std::uint32_t kIsFolderCode = 267;
// OpenForReading's failure code when the path opens a device or a pipe, not a file on disk (the
// system's ERROR_BAD_FILE_TYPE): told by what Windows opens for the name (con.txt is the console
// on Windows 10, a file on Windows 11), and never opened for reading, which could wait on the
// device or act on it.
inline constexpr std::uint32_t kIsDeviceCode = 222;

// A read of standard input's failure code when Ctrl+C ended it (the console's read then returns
// nothing, with the system's ERROR_OPERATION_ABORTED).
inline constexpr std::uint32_t kReadInterruptedCode = 995;

// BeginTyping's failure code when the keyboard layout named for the other computer is not
// installed here (the system's ERROR_NOT_FOUND).
inline constexpr std::uint32_t kLayoutMissingCode = 1168;

// SendKeyString's failure code, in a run typed with `waitWhileKeysHeld`, while the user holds a
// modifier key (the system's ERROR_BUSY): nothing was sent, and no release of it either.
inline constexpr std::uint32_t kKeysHeldCode = 170;

// RegisterHotKey's failure code when another program has the combination (the system's
// ERROR_HOTKEY_ALREADY_REGISTERED).
inline constexpr std::uint32_t kHotKeyTakenCode = 1409;

// Whether a character may go as a Unicode event when the layout has no key for it.
enum class KeyMode : std::uint8_t {
    UnicodeWhereNeeded,
    // Every character as keys of the layout (a console that ignores Unicode input): dead keys
    // included, Caps Lock taken as off where it is not known.
    KeysOnly,
    // Every character but Enter and Tab as a Unicode event, whatever the layout has: for a
    // window whose layout the system does not tell (see ModeForUnknownLayout in keys/keystrokes.h).
    UnicodeForText,
};

// How keystrokes are typed: for a remote desktop or virtual machine, whose far side follows more
// slowly than the program in front takes the keys, and may read keys only, with a keyboard
// layout of its own.
struct TypingOptions {
    // The slowest pace a user can set (ms a key): far sides repeat a key held much longer.
    static constexpr Milliseconds kMaxPace{1000};

    // How long a key takes at least (ms): each key event goes on its own, half the pace after
    // the one before, so that a far side with a small buffer sees press and release apart.
    // 0: as fast as the program in front takes the keys.
    Milliseconds pace{0};
    KeyMode keyMode = KeyMode::UnicodeWhereNeeded;
    // The keyboard layout the keys are chosen from, by its identifier (as "00000407"): the
    // other computer's. Empty: the layout of the window in front.
    std::u16string layout;
    // How long to wait after a line's Enter has been handled before the next line's first key
    // (ms): serial consoles, boot loaders and shells take a moment over a line and drop what
    // comes meanwhile. 0: no wait. At most a minute, which no line needs.
    static constexpr Milliseconds kMaxLineWait{60000};
    Milliseconds lineWait{0};
    // Whether the text is read as a key sequence ("{TAB}", "^a", "{WAIT 500}": see
    // keys/key_sequence.h) rather than typed as it stands.
    bool keySequences = false;
    // Not a setting, but a run's: a modifier the user holds pauses typing until it is let go,
    // instead of being released ahead of each key. For a run the user starts with a hot key,
    // which they may press again to stop it: a release sent for a key they hold would undo it.
    bool waitWhileKeysHeld = false;

    friend bool operator==(const TypingOptions&, const TypingOptions&) = default;
};

// A system-wide key combination: the modifiers (the system's MOD_ bits) and a virtual key.
struct HotKey {
    static constexpr std::uint8_t kAlt = 0x1;
    static constexpr std::uint8_t kCtrl = 0x2;
    static constexpr std::uint8_t kShift = 0x4;
    static constexpr std::uint8_t kWin = 0x8;

    std::uint8_t modifiers = 0;
    std::uint8_t key = 0;  // 0: no hot key

    [[nodiscard]] bool None() const { return key == 0; }
    friend bool operator==(const HotKey&, const HotKey&) = default;
};

// Ctrl+Shift+V pastes in terminals, Win+V opens the clipboard history, and Windows and common
// utilities keep other Win combinations with V: Alt makes the combination free.
inline constexpr HotKey kDefaultHotKey{HotKey::kCtrl | HotKey::kShift | HotKey::kAlt,
                                       static_cast<std::uint8_t>('V')};

// What the dialog that sets the hot key shows, in the user's language.
struct HotKeyDialog {
    HotKey current;
    std::u16string prompt;  // what to do; says so when the current key is taken
    std::u16string none;    // the button that clears the key
    std::u16string ok;
    std::u16string cancel;
    // Why a combination may not be the hot key, shown under the key while the dialog holds it
    // (OK cannot be chosen meanwhile); empty for one it may be. None: every one may.
    std::function<std::u16string(HotKey)> refusal;
};

// The longest secret the secret's dialog takes, in UTF-16 units: a password, not a text.
inline constexpr std::size_t kMaxSecretLength = 1024;

// What the dialog that asks for a secret shows, in the user's language.
struct SecretDialog {
    std::u16string prompt;
    std::u16string show;        // the check box that unmasks the box while checked
    std::u16string pressEnter;  // the check box: Enter is pressed after the secret
    std::u16string ok;
    std::u16string cancel;
    // Why a secret of this many units cannot be typed, shown under the box while it holds that
    // many (OK cannot be chosen meanwhile); empty when it can. An empty box grays OK besides.
    std::function<std::u16string(std::size_t length)> refusal;
};

// A secret as the dialog gave it. Its text is the caller's to wipe (see text/wipe.h) once the
// run is over.
struct SecretEntry {
    std::u16string text;
    bool pressEnter = false;
};

// The user's display language decides; Japanese where it is Japanese, English elsewhere.
enum class Language { English, Japanese };

// Identifies a launched program for ActivateTask. Opaque: the real desktop keeps the process
// handle behind it, so a later process that reuses the id can never be mistaken for it.
struct TaskId {
    std::uint64_t value = 0;  // 0: nothing launched yet

    friend bool operator==(const TaskId&, const TaskId&) = default;
};

// What decides whether a top-level window has a button on the taskbar.
struct WindowTraits {
    bool visible = false;
    bool owned = false;       // it has an owner window (a dialog, a splash screen's host)
    bool toolWindow = false;  // WS_EX_TOOLWINDOW: floating palettes, most splash screens
    bool appWindow = false;   // WS_EX_APPWINDOW: on the taskbar whatever else it is
};

// The rule the taskbar follows ("Managing Taskbar Buttons" in the shell's documentation): a
// visible window that is unowned and not a tool window, or marked as an application window.
// Such a window is what counts as a launched program's main window, the one to type into; a
// splash screen shown before it is not.
[[nodiscard]] constexpr bool HasTaskbarButton(const WindowTraits& window) {
    return window.visible && (window.appWindow || (!window.owned && !window.toolWindow));
}

// Identifies a top-level window; 0: none.
struct WindowId {
    std::uint64_t value = 0;

    friend bool operator==(const WindowId&, const WindowId&) = default;
};

// Whether keystrokes Quillrun synthesizes can reach a process's windows. The system silently
// drops them for a process of a higher integrity level (a program run as administrator while
// Quillrun is not), so this must be known before typing, not learnt from the keystrokes.
enum class InputAccess {
    Allowed,     // its integrity level is Quillrun's or lower
    Elevated,    // it runs at a higher integrity level
    Unreadable,  // its level cannot be read for lack of rights, as for an elevated program
};

// The state of a window's input method (Japanese, Chinese or Korean): open or not, and its
// conversion mode (the system's IME_CMODE_ bits).
struct InputMethodState {
    // Kana, hangul or Chinese characters (IME_CMODE_NATIVE), and full-width letters
    // (IME_CMODE_FULLSHAPE): what an open input method composes keys into.
    static constexpr std::uint32_t kComposingModes = 0x1 | 0x8;

    bool open = false;
    std::uint32_t conversion = 0;

    // Whether keys typed now would be composed rather than typed as they are.
    [[nodiscard]] bool Composes() const { return open && (conversion & kComposingModes) != 0; }
    // The state in which keys type themselves. Japanese input methods switch by their open
    // status; Chinese and Korean ones by the conversion mode and may ignore the open status.
    [[nodiscard]] InputMethodState Latin() const { return {false, conversion & ~kComposingModes}; }

    friend bool operator==(const InputMethodState&, const InputMethodState&) = default;
};

// A window a user can type into, as listed for a choice by its title.
struct TitledWindow {
    WindowId window;
    std::uint32_t process = 0;
    std::u16string title;

    friend bool operator==(const TitledWindow&, const TitledWindow&) = default;
};

// One entry of the open-file dialog's file-type list.
struct FileTypeFilter {
    std::u16string name;     // shown to the user
    std::u16string pattern;  // e.g. u"*.txt"

    friend bool operator==(const FileTypeFilter&, const FileTypeFilter&) = default;
};

// Sequential reading of an open file; closing happens when the reader is destroyed.
class ByteReader {
  public:
    virtual ~ByteReader() = default;
    // Fills the front of `buffer`; returns how many bytes were read, 0 at the end of the file.
    virtual Result<std::size_t> Read(std::span<char> buffer) = 0;
    // The file's size in bytes when it was opened; 0 when unknown (a pipe, say).
    [[nodiscard]] virtual std::uint64_t Size() const = 0;
    // When the file was last written, in the system's units; 0 when unknown. Told apart from
    // another time only, so that a file changed since an earlier read can be recognised.
    [[nodiscard]] virtual std::uint64_t LastWriteTime() const = 0;
};

class DesktopServices {
  public:
    virtual ~DesktopServices() = default;

    // Starts `commandLine` (a program path, possibly quoted, possibly followed by arguments) with
    // a normal window that takes the focus, its %NAME% environment variables filled in; a
    // shortcut or another document (see PlanLaunch in text/program_line.h) is opened as Explorer
    // opens it. Returns at once, before the program is ready. A document that went to a program
    // already running leaves a task that activates as one that has ended.
    virtual Result<TaskId> LaunchProgram(std::u16string_view commandLine) = 0;
    // Brings the task's main window (one with a taskbar button) to the front so that it
    // receives the following keystrokes; fails with kTaskHasNoWindowCode while it has none.
    virtual Status ActivateTask(TaskId task) = 0;
    // Lets go of what is kept to activate `task` (the program's process handle, which keeps the
    // ended process's entry in the system): no run will activate it again, and ActivateTask
    // fails for it from now on.
    virtual void ReleaseTask(TaskId task) = 0;
    // Brings to the front a window with a taskbar button of a process started since the task was
    // launched: a program's window that opened behind others (as a console program's in Windows
    // Terminal does). Fails with kTaskHasNoWindowCode when there is none.
    virtual Status ActivateWindowOpenedSince(TaskId task) = 0;
    // The top-level windows a user can type into, frontmost first: shown, enabled, on the
    // current virtual desktop, with a button on the taskbar (see HasTaskbarButton) or owned by
    // another window (a dialog).
    [[nodiscard]] virtual std::vector<TitledWindow> TitledWindows() = 0;
    // Brings `window` to the front (restored if minimized) so that it receives the following
    // keystrokes; fails with kTaskHasNoWindowCode once it has closed, and with the system's
    // ERROR_ACCESS_DENIED when the system refused to bring it forward.
    virtual Status ActivateWindow(WindowId window) = 0;
    // The window of the console Quillrun was started from (a terminal's, where one shows the
    // console), as it was at the first call; 0 when it has none. Never a window to type into:
    // its keys would become the next command.
    [[nodiscard]] virtual WindowId ConsoleWindow() = 0;
    // Whether `window` has a button on the taskbar (see HasTaskbarButton).
    [[nodiscard]] virtual bool HasTaskbarButton(WindowId window) = 0;
    // Types one key string into the foreground window and returns once it has been processed;
    // sends nothing unless that window is `window` at the moment of sending, which is the one
    // look at the window in front that a keystroke costs: another window of the same program (a
    // second document, a dialog it opened) is another window. The keyboard focus may move among
    // the controls inside `window`. While it waits, Quillrun's own window events are handled
    // (possibly running its handlers); a wait ends early, as kMayNotHaveArrivedCode, once
    // another window is in front. Keys that press Quillrun's hot key reach `window` too: the hot
    // key is let go of for the keystroke (see HotKeyRegistered).
    virtual Status SendKeyString(std::u16string_view keys, WindowId window) = 0;
    // Begins a run of SendKeyString calls, typed as `options` say until EndTyping. Fails with
    // kLayoutMissingCode when the layout they name is not installed (KeyboardLayoutName names
    // it); nothing may be typed then.
    virtual Status BeginTyping(const TypingOptions& options) = 0;
    // Where in `text` the first character is that the run's layout (the one named, or else
    // that of the window in front) has no keys for; nullopt when it has keys for them all.
    [[nodiscard]] virtual std::optional<std::size_t> FirstNotTypableAsKeys(
        std::u16string_view text) = 0;
    // Whether the run's rules give keys for `keys`, a key string of one key: not for a shortcut
    // on a character that no key of the layout types by itself or on a control character, nor
    // for a control character (but Tab and the line ends), nor with keys only for a character
    // without keys. What SendKeyString would refuse as a plan without keys.
    [[nodiscard]] virtual bool KeyStringTypable(std::u16string_view keys) = 0;
    // Ends a run of SendKeyString calls: lets go of whatever typing needed meanwhile.
    virtual void EndTyping() = 0;
    // The keyboard layouts installed for the user, by identifier, as Windows lists them.
    [[nodiscard]] virtual std::vector<std::u16string> InstalledKeyboardLayouts() = 0;
    // The name Windows shows for a keyboard layout, installed or not; its identifier when it
    // has none.
    [[nodiscard]] virtual std::u16string KeyboardLayoutName(std::u16string_view id) = 0;
    // The id of the process whose window is in front; 0 when there is none.
    [[nodiscard]] virtual std::uint32_t ForegroundProcess() = 0;
    // Whether `window` is the shell's desktop, taskbar or task switcher: never a window to
    // type into, whoever's process it is.
    [[nodiscard]] virtual bool IsShellWindow(WindowId window) = 0;
    // Whether the user is still choosing a window: a mouse button or Alt (of Alt+Tab) is held.
    [[nodiscard]] virtual bool ChoosingInputHeld() = 0;
    // Whether any key of the keyboard is held down.
    [[nodiscard]] virtual bool AnyKeyHeld() = 0;
    // Makes `key` the hot key whose presses reach Quillrun's window (the one before stops
    // being it); no key: none. Fails with kHotKeyTakenCode when another program has it.
    virtual Status RegisterHotKey(HotKey key) = 0;
    // Whether the key RegisterHotKey asked for last is Quillrun's now (true for none): not if
    // another program had it then, nor once another program took it in the moment that a
    // keystroke pressing it had it let go of (see SendKeyString).
    [[nodiscard]] virtual bool HotKeyRegistered() = 0;
    // Runs the modal dialog that sets the hot key; the key chosen (None() for no hot key), or
    // nullopt when the user cancelled. Never a key the dialog's `refusal` refuses.
    virtual std::optional<HotKey> AskHotKey(const HotKeyDialog& dialog) = 0;
    // Runs the modal dialog that asks for a secret: a masked box (the system's password style,
    // which gives its text to no other program), "Show", "Press Enter after it", OK and Cancel.
    // Every copy the dialog made is wiped and its box emptied before it returns; the next one
    // opens empty and masked. nullopt when the user cancelled. Never an empty secret, nor one
    // the dialog's `refusal` refuses.
    virtual std::optional<SecretEntry> AskSecret(const SecretDialog& dialog) = 0;
    // Wipes what typing kept of the keys it typed (the keys planned for each character) and
    // forgets it: after a secret's run, whose characters it would tell.
    virtual void ForgetKeys() = 0;
    // Quillrun's own process id.
    [[nodiscard]] virtual std::uint32_t OwnProcess() const = 0;
    // The window in front; 0 when there is none.
    [[nodiscard]] virtual WindowId ForegroundWindow() = 0;
    // Handles every pending window event (which may run Quillrun's own handlers) and returns.
    virtual void PumpEvents() = 0;
    // Handles Quillrun's window events as they arrive for `duration`, then returns: a wait
    // during which the window stays responsive.
    virtual void PumpEventsFor(Milliseconds duration) = 0;

    // Whether Quillrun's keystrokes can reach the process's windows.
    [[nodiscard]] virtual InputAccess InputAccessTo(std::uint32_t process) = 0;
    // Whether `window` has closed (its program may live on, as a program's dialog does).
    [[nodiscard]] virtual bool WindowClosed(WindowId window) = 0;
    // Whether the process has ended (its windows are gone with it).
    [[nodiscard]] virtual bool ProcessEnded(std::uint32_t process) = 0;
    // The file name of the process's program (e.g. u"notepad.exe"); empty when unknown.
    [[nodiscard]] virtual std::u16string ProgramName(std::uint32_t process) = 0;
    // The state of the input method that serves `window`'s keyboard focus (which may be a
    // control of another thread); nullopt when there is none that answers.
    [[nodiscard]] virtual std::optional<InputMethodState> InputMethodStatus(WindowId window) = 0;
    // Asks that input method to take `state`; false when the request did not reach it. The
    // input method may apply it a moment later.
    virtual bool SetInputMethodStatus(WindowId window, InputMethodState state) = 0;

    // The clipboard's text, read whole; nullopt when it holds none (empty, or only a picture).
    // Fails with kClipboardBusyCode while another program holds it open.
    virtual Result<std::optional<std::u16string>> ClipboardText() = 0;

    // The folder that holds the executable, without a trailing backslash unless a drive root.
    virtual std::u16string AppFolder() = 0;
    // Runs the modal open-file dialog; the chosen file's full path, or why there is none.
    virtual Result<std::u16string> AskFileToOpen(std::span<const FileTypeFilter> filters) = 0;

    // The window's interval timer: while enabled it ticks on the UI thread every interval.
    virtual void EnableTimer(Milliseconds interval) = 0;
    virtual void DisableTimer() = 0;
    [[nodiscard]] virtual bool TimerEnabled() const = 0;

    // `path` made absolute against the working directory as it is now, which the open-file
    // dialog may move (OFN_NOCHANGEDIR "is ineffective for GetOpenFileName").
    [[nodiscard]] virtual std::u16string FullPath(std::u16string_view path) = 0;
    // Files. A relative path resolves against the working directory; a folder fails to open,
    // with kIsFolderCode, and a device or a pipe (CON, NUL, COM1) with kIsDeviceCode.
    virtual Result<std::unique_ptr<ByteReader>> OpenForReading(std::u16string_view path) = 0;
    // Quillrun's standard input, read from where it stands (a pipe, a file, the console), once:
    // it cannot be read again. A read fails with kReadInterruptedCode when Ctrl+C ended it.
    virtual Result<std::unique_ptr<ByteReader>> OpenStandardInput() = 0;
    // Replaces the file's contents so that either the old or the new file survives a failure.
    virtual Status ReplaceFileContents(std::u16string_view path, std::string_view bytes) = 0;

    // The language of the user's display (menus, dialogs), which Quillrun's own texts follow.
    [[nodiscard]] virtual Language DisplayLanguage() const = 0;

    // Text in the system's ANSI code page and in other code pages.
    [[nodiscard]] virtual std::uint32_t AnsiCodePage() const = 0;
    // The ANSI code page of the system locale as it was before Windows' option to use UTF-8 for
    // programs that are not Unicode (where that is on, AnsiCodePage() is UTF-8); 0 when the
    // system does not say.
    [[nodiscard]] virtual std::uint32_t LegacyAnsiCodePage() const = 0;
    virtual Result<std::u16string> DecodeCodePage(std::uint32_t codePage,
                                                  std::string_view bytes) = 0;
    // Fails when a character has no representation in the code page.
    virtual Result<std::string> EncodeCodePage(std::uint32_t codePage,
                                               std::u16string_view text) = 0;

    // Time, so that nothing outside this seam reads a clock or sleeps.
    [[nodiscard]] virtual Milliseconds Now() const = 0;
    virtual void Sleep(Milliseconds duration) = 0;
};

}  // namespace quillrun
