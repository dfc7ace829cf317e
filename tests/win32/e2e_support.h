// Helpers for end-to-end tests that drive real Windows programs: start them in a folder of
// their own, find their windows, read controls, press keys, and wait on conditions with limits.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win32/win32_handles.h"

namespace quillrun::testing {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long a program under Wine may take to show a window or react to input.
inline constexpr auto kUiTimeout = 15s;

// A key's press or release as SendInput takes it, with the layout's scan code.
INPUT KeyInput(WORD virtualKey, bool up);

// Polls `condition` until it holds or `timeout` passes; true if it held.
bool WaitUntil(const std::function<bool()>& condition, Clock::duration timeout = kUiTimeout);

// The folder of this test program, where the build puts every executable.
std::wstring BuildBinFolder();

// A fresh, empty folder that is removed with everything in it when this goes away.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    [[nodiscard]] const std::wstring& path() const { return path_; }
    [[nodiscard]] std::wstring operator/(const std::wstring& name) const {
        return path_ + L"\\" + name;
    }

  private:
    std::wstring path_;
};

// A started program; ended by force if it is still running when this goes away.
class Process {
  public:
    Process() = default;
    // Starts `commandLine` in `workingFolder` (empty: this process's own).
    static Process Start(const std::wstring& commandLine, const std::wstring& workingFolder = {});
    // Starts a console program as a scheduled script is started: in a console of its own that
    // has no window (none can come to the front), with `input`, `output` and `errors` (which
    // must be inheritable) as its standard handles.
    static Process StartConsole(const std::wstring& commandLine, const std::wstring& workingFolder,
                                HANDLE input, HANDLE output, HANDLE errors);

    [[nodiscard]] bool started() const { return handle_.valid(); }
    [[nodiscard]] DWORD id() const { return id_; }
    [[nodiscard]] HANDLE handle() const { return handle_.get(); }
    // True once the process has ended (within `timeout`).
    bool WaitForExit(Clock::duration timeout = kUiTimeout);
    [[nodiscard]] DWORD ExitCode() const;
    [[nodiscard]] bool Running() const;
    void Kill();

    Process(Process&&) = default;
    Process& operator=(Process&&) = default;
    ~Process();

  private:
    static Process Started(std::wstring commandLine, const std::wstring& workingFolder, DWORD flags,
                           STARTUPINFOW& startup);

    win32::UniqueHandle handle_;
    DWORD id_ = 0;
};

// A console program run by a script: `input` is written into its standard input, which is then
// closed; its standard output and error go to files (a pipe that is read only after the end
// would fill and stall it), read once it has ended.
class ConsoleRun {
  public:
    ConsoleRun(const std::wstring& commandLine, const std::wstring& workingFolder,
               const std::string& input = {});
    [[nodiscard]] const Process& process() const { return process_; }
    // True once it has ended (within `timeout`).
    bool WaitForExit(Clock::duration timeout = kUiTimeout) { return process_.WaitForExit(timeout); }
    [[nodiscard]] std::string Output() const;
    [[nodiscard]] std::string Errors() const;

  private:
    TempFolder files_;  // outlives the process, which is ended first
    Process process_;
};

// The process's visible top-level window with this caption, once it shows; null on timeout.
HWND WaitForWindow(DWORD processId, const std::wstring& caption,
                   Clock::duration timeout = kUiTimeout);
// Visible top-level windows, of any process, for which `wanted` holds.
std::vector<HWND> VisibleTopLevelWindows(const std::function<bool(HWND)>& wanted);
// Visible top-level windows of the process.
std::vector<HWND> TopLevelWindows(DWORD processId);
// Ids of the running processes that this process started.
std::vector<DWORD> ChildProcesses(DWORD parentId);

std::wstring ClassName(HWND window);
std::wstring Text(HWND window);
// Child windows in Z order, which is their tab order.
std::vector<HWND> Children(HWND parent);
// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);
// The window that has the keyboard focus in `window`'s thread.
HWND FocusIn(HWND window);

// Brings `window` to the front and waits until it is there.
bool BringToFront(HWND window);
// Synthesized key presses, delivered to whatever window is in front.
// Whether the window in front is one of the test's own: of this process, of one it started
// (directly or through Quillrun), or of a program of this project. On a shared desktop (a
// hosted Windows runner) another program may hold the front, and a keystroke meant for the
// test's window would reach that program instead: a console, say, which runs it.
bool OwnWindowInFront();
// What happens when a helper that types finds another window in front: it types nothing and
// tells `handler` (a test program makes that a test failure). Without a handler it types.
void OnForeignWindowInFront(std::function<void(const std::wstring& caption)> handler);

void PressKey(WORD virtualKey, bool shift = false);
// Presses `keys` in order and holds them (a hot key's, as fingers do), or lets them go in the
// opposite order.
void HoldKeys(const std::vector<WORD>& keys);
void LetGoOfKeys(const std::vector<WORD>& keys);
void TypeUnicode(const std::wstring& text);

// A real click of the left mouse button at a point of the screen, as the user's mouse makes it.
void ClickAt(POINT screen);
// A point of `window` that no other window covers, on its caption or between its controls
// (never a button); none when it is covered.
std::optional<POINT> BarePointOf(HWND window);
// A real click on the window's client area, where no other window covers it; false if none
// of it shows.
bool ClickWindow(HWND window);
// Sets the clipboard's text; nullopt empties it.
bool SetClipboardText(const std::optional<std::wstring>& text);

// Every visible top-level window with this caption, of any process.
std::vector<HWND> WindowsWithCaption(const std::wstring& caption);

inline constexpr wchar_t kCaption[] = L"Quillrun";

// quillrun.exe copied into a folder of its own, so that its application folder and the files
// it keeps there belong to one test.
class QuillrunInstall {
  public:
    QuillrunInstall();
    [[nodiscard]] const std::wstring& folder() const { return folder_.path(); }
    [[nodiscard]] const std::wstring& exe() const { return exe_; }
    [[nodiscard]] std::wstring settingsFile() const { return folder_ / L"quillrun.ini"; }

    // Starts it in `workingFolder` (default: its own folder) and waits for its window; the
    // window is null if none appeared in time.
    std::pair<Process, HWND> Launch(const std::wstring& workingFolder = {}) const;

  private:
    TempFolder folder_;
    std::wstring exe_;
};

// The test target (qr_target.exe) writing into a folder of its own.
// The count of characters a test target has handled, read from its shared memory at once,
// without waiting for the target to finish what it is handling: reading costs the target
// nothing. -1 when it cannot be read.
class HandledCharCount {
  public:
    explicit HandledCharCount(HWND target);
    ~HandledCharCount();
    HandledCharCount(const HandledCharCount&) = delete;
    HandledCharCount& operator=(const HandledCharCount&) = delete;

    [[nodiscard]] long Now() const { return view_ != nullptr ? *view_ : -1; }
    // The target's process.
    [[nodiscard]] DWORD process() const { return process_; }

  private:
    DWORD process_ = 0;
    win32::UniqueHandle mapping_;
    const volatile LONG* view_ = nullptr;
};

class TargetProgram {
  public:
    // Its command line, for starting it directly or for naming it in quillrun.ini. Without a
    // title of its own, it gets one that no other test's target has.
    explicit TargetProgram(const std::wstring& arguments = {}, const std::wstring& title = {});
    ~TargetProgram() { Close(); }
    TargetProgram(const TargetProgram&) = delete;
    TargetProgram& operator=(const TargetProgram&) = delete;
    [[nodiscard]] const std::wstring& commandLine() const { return commandLine_; }
    [[nodiscard]] const std::wstring& title() const { return title_; }

    // Starts it and waits for its window (null if none appeared in time).
    HWND Start();
    // Its window once something else started it (Quillrun's Start); null on timeout.
    HWND WaitForWindow(Clock::duration timeout = kUiTimeout);
    [[nodiscard]] HWND window() const { return window_; }

    // Characters handled so far; -1 when the target does not answer.
    [[nodiscard]] long CharCount() const;
    // The same, as HandledCharCount reads it.
    [[nodiscard]] long HandledCharsNow() const { return HandledCharCount(window_).Now(); }
    // What it holds now: the text built from WM_CHAR (CR as CR LF), and its keyboard events.
    [[nodiscard]] std::wstring Text() const;
    [[nodiscard]] std::string Events() const;
    // Closes every window with its title and waits for them to go.
    void Close();

  private:
    TempFolder folder_;
    std::wstring out_;
    std::wstring title_;
    std::wstring commandLine_;
    Process process_;
    HWND window_ = nullptr;
};

// Watches `target`'s count of characters for `duration`: true once it moves more than `slack`
// past the most it showed (kept in `most`), or once `also` holds. A stopped run's last keystroke
// may still arrive; more than that is typing that went on.
bool CountMovedOn(const TargetProgram& target, long& most, long slack, Clock::duration duration,
                  const std::function<bool()>& also = nullptr);

// One key event as the test target saw it.
struct SeenKey {
    std::string name;         // KEYDOWN, KEYUP, CHAR
    unsigned virtualKey = 0;  // for a CHAR, the character
    unsigned scan = 0;        // the scan code, 0x100 added for the E0 prefix
    long sentMs = 0;          // when the system took it
    double handledMs = 0;     // when the target handled it, on the target's clock
};

// The key presses and releases in a target's events, in order; with `characters`, its
// characters too.
std::vector<SeenKey> KeyEvents(const std::string& events, bool characters = false);

// Quillrun's own controls, found by their ids.
HWND PathBoxOf(HWND quillrunWindow);
void SetPathBox(HWND quillrunWindow, const std::wstring& text);
// Posted, not sent: a click may open a modal dialog or message box.
void ClickChoose(HWND quillrunWindow);
void ClickStart(HWND quillrunWindow);
// Clicks the arrow of Quillrun's Start button, as a user opens its menu; the menu's window once
// it shows, or null.
HWND OpenStartMenu(HWND quillrunWindow);
// The popup menu that is open, once one is (within `timeout`); null if none.
HWND WaitForOpenMenu(Clock::duration timeout = kUiTimeout);
// Picks the menu's `index`-th item (from 0) with the keyboard, as a user does: Home, Down to it,
// then Enter; false if the menu did not close.
bool ChooseMenuItem(HWND menu, int index);
// Where Start's menu shows the command `id` (as 205, the secret's): its commands come first,
// in the order of kStartCommands.
int StartMenuIndexOf(int id);
// The texts of an open popup menu's items, as it shows them: a separator as "-", a submenu's
// items after it, indented by four spaces. Empty if they could not be read.
std::vector<std::wstring> MenuItemTexts(HWND menu);
// The caption Quillrun shows while it waits for the window to type into.
inline constexpr wchar_t kPickCaption[] = L"Quillrun - click the window to type into";

// The character messages that put `typed` into the test target: each CR LF is one Enter.
long CharacterMessages(const std::wstring& typed);

// Waits until the target has handled as many characters as `expected` holds (each CR LF is
// one Enter) or `timeout` passes; returns what it holds then.
std::wstring WaitForTyped(const TargetProgram& target, const std::wstring& expected,
                          Clock::duration timeout = kUiTimeout);

// quillrun.exe set up to type into the test target, with its window up (null if it did not
// come up).
class QuillrunSession {
  public:
    // `settingsLines`: what quillrun.ini holds after the target's line (choices of how to type).
    explicit QuillrunSession(const std::wstring& targetArguments = {},
                             const std::string& settingsLines = {});
    ~QuillrunSession();
    QuillrunSession(const QuillrunSession&) = delete;
    QuillrunSession& operator=(const QuillrunSession&) = delete;

    [[nodiscard]] HWND PathBox() const { return PathBoxOf(window); }
    // Writes `bytes` as the file to type, names it in FPath and clicks Start.
    void TypeFile(const std::string& bytes, const std::wstring& name = L"text.txt");

    QuillrunInstall install;
    TempFolder work;
    TargetProgram target;
    Process process;
    HWND window = nullptr;
    std::wstring file;
};

// How long the tick may come after its 1.5 s under a loaded machine.
inline constexpr auto kTickSlack = 2500ms;
// Long enough for the tick and the start of typing to have happened surely.
inline constexpr auto kNothingHappens = 1500ms + kTickSlack;

// Brings Quillrun's window to the front, as a user who comes back to it does, and waits until
// Quillrun holds the front: its window, or the message it shows the moment it is back (which
// can come before a poll sees the window itself in front).
bool ComeBackToQuillrun(const QuillrunSession& session);

// A file long enough to be still typing while a test acts, into a target that takes 5 ms per
// character: 40 lines.
std::string LongText();

// Where a stop message says typing stopped once `count` characters of the file `text` were
// typed, each line end one Enter: "line L, column C of the file; N characters were typed".
std::wstring StoppedAfter(const std::string& text, long count);

// True if `window`'s thread answers a message within `timeoutMs` (and is not hung).
bool Answers(HWND window, UINT timeoutMs = 500);

// Quillrun's message boxes (of a failed launch, of a run that fell short): owned by its
// window, captioned "Quillrun". FindMessageBox waits for one; null if none came up in time.
std::vector<HWND> MessageBoxes(DWORD processId, HWND owner);
HWND FindMessageBox(DWORD processId, HWND owner, Clock::duration timeout = kUiTimeout);
// The texts of a window's children, one per line.
std::wstring AllChildText(HWND window);

// ASCII text as bytes (for file contents and messages).
std::string Narrow(const std::wstring& ascii);
// Whether this process's display language (which the programs it starts share) is Japanese.
bool DisplayIsJapanese();
// Any text as UTF-8 (for failure output).
std::string Utf8(const std::wstring& text);
// UTF-16LE bytes as text.
std::wstring Utf16LeText(const std::string& bytes);

// Files.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool CopyInto(const std::wstring& source, const std::wstring& destination);
std::string ReadBytes(const std::wstring& path);  // empty if missing
bool FileExists(const std::wstring& path);

}  // namespace quillrun::testing
