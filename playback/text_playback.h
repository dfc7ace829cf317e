// Typing a text file into the program in front, one key string per character.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/desktop_services.h"
#include "keys/key_sequence.h"

namespace quillrun {

// How a run ended.
enum class PlaybackEnd {
    NotOpened,            // the path box was empty or named a folder: nothing was typed
    OpenFailed,           // the file named could not be opened (not there, locked, no access)
    ReservedName,         // the path opens a device (CON, say), not a file: nothing was read
    NothingConfirmed,     // the target confirmed none of the keystrokes: nothing was typed
    TargetClosed,         // the program typed into ended before the end of the text
    Finished,             // every line was typed
    FocusMoved,           // another window came to the front: the rest stays untyped
    NoTarget,             // no other program's window was in front to type into
    NotAllowed,           // the program in front runs with higher rights than Quillrun
    Stopped,              // Quillrun was asked to stop (its window closed, or a newer Start came)
    NotResponding,        // the program in front stopped taking keystrokes
    ReadFailed,           // the file could not be read on
    NoText,               // the clipboard held no text: nothing was typed
    ClipboardUnreadable,  // the clipboard could not be read: nothing was typed
    ClipboardBusy,        // another program held the clipboard open: nothing was typed
    NothingPicked,        // no window was clicked in time to type into: nothing was typed
    LayoutMissing,        // the other computer's keyboard layout is not installed: nothing typed
    TextChanged,          // the rest of a stopped run: its text has changed since, nothing typed
    ChangedAfterCheck,    // the file changed between the check before typing and the typing
    NotTypableAsKeys,     // keys only, and a character has no keys on the layout: nothing typed
    BadSequence,          // a key sequence that cannot be typed as written: nothing typed
    ShortcutNotOnLayout,  // a key sequence's shortcut has no key on the layout: nothing typed
    StoppedByHotKey,      // the hot key was pressed again: the rest stays untyped
    StoppedByClick,       // Quillrun's window was clicked (Start too): the rest stays untyped
    KeysHeld,             // keys were still held long after the hot key: nothing was typed
    HotKeyBeforeTyping,   // the hot key stopped a run before it began typing: nothing typed
    NoMainWindow,  // the launched program showed only windows without a taskbar button (a splash
                   // screen): nothing was typed
    Interrupted,   // Ctrl+C or Ctrl+Break in the console of a run from the command line
};

// Where a run's text comes from.
enum class TextOrigin { File, Clipboard, StandardInput, Secret };

// Where in the file a run stopped, so that the user can take it from there by hand.
struct TypingPosition {
    std::uint64_t line = 1;    // the line of the first character not typed, from 1
    std::uint64_t column = 1;  // its place in the line, from 1, in characters (a surrogate pair
                               // is one); one past the last character when only the line end
                               // is left
    std::uint64_t typed = 0;   // characters typed, each line end counted as one
    // The first character not typed (or the line end) was sent, but whether it arrived cannot
    // be told: another window took the keyboard just then.
    bool nextMayHaveArrived = false;

    // Whether nothing of the text can have reached the window.
    [[nodiscard]] bool NothingArrived() const { return typed == 0 && !nextMayHaveArrived; }

    friend bool operator==(const TypingPosition&, const TypingPosition&) = default;
};

// What a run's text was, so that a later run can tell whether it is still the same: a file's
// size and last-write time as the run opened it, or a hash of the clipboard's text (the text
// itself is never kept beyond its run).
struct TextStamp {
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0;
    std::uint64_t hash = 0;

    friend bool operator==(const TextStamp&, const TextStamp&) = default;
};

// Where a run that types the rest of a stopped one begins, and what its text must still be.
struct RestOfRun {
    TypingPosition from;       // the line and column of the first character not confirmed typed
    TextStamp stamp;           // the stopped run's
    bool keySequence = false;  // the stopped run read its text as a key sequence
};

// Characters of a run's text that were not typed as written, though the run went on: how many,
// and the first of them (its place, and the character; 0 for a named key).
struct PassedOver {
    std::uint64_t count = 0;
    std::uint64_t line = 0;
    std::uint64_t column = 0;
    char32_t character = 0;

    void Note(const TypingPosition& at, char32_t c) {
        if (count++ == 0) {
            line = at.line;
            column = at.column;
            character = c;
        }
    }
    friend bool operator==(const PassedOver&, const PassedOver&) = default;
};

struct PlaybackResult {
    PlaybackEnd end = PlaybackEnd::NotOpened;
    TypingPosition position;
    std::u16string program;  // the program typed into, when known
    std::u16string reason;   // the system's words for what failed; a layout's name
    TextOrigin origin = TextOrigin::File;
    bool intoPickedWindow = false;  // typed into the window in front, not a launched program
    // The character that has no keys on the layout (NotTypableAsKeys, ShortcutNotOnLayout), at
    // `position`.
    char32_t character = 0;
    std::u16string path{};  // the file named, when it could not be opened or has changed
    TextStamp stamp{};      // the text's, once it was read
    // The text was read as a key sequence: `position` is a piece's, and `typed` counts keys.
    bool keySequence = false;
    SequenceError sequenceError{};  // why it cannot be typed (BadSequence), at `position`
    // Control characters, which are never typed: programs act on them as editing commands
    // (a backspace deletes, Ctrl+Z undoes).
    PassedOver controls{};
    // Keystrokes that failed on their own and were passed over (typing went on after them).
    PassedOver notTyped{};
    // Bytes of a UTF-8 file that are not UTF-8, each typed as U+FFFD: the first's place.
    PassedOver invalidBytes{};
    // The other computer's layout, when it was chosen and has no keys for `character`.
    std::u16string layoutName{};
};

// What a run asks of the window that started it.
struct PlaybackHooks {
    // Asked before every keystroke and after every wait: true ends the run.
    std::function<bool()> stopRequested;
    // Told as the file is read: bytes taken so far and the file's size (0 when unknown).
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
    // How the keys are typed (pace, keys only, the other computer's layout).
    TypingOptions typing{};
    // Windows never typed into, besides Quillrun's own: the console a command was typed in, say,
    // whose keys would become commands. A launch's hand-off looks past them.
    std::vector<WindowId> neverTypeInto{};
};

// How long a program launched through another one (a launcher that hands the launch over and
// exits, or a program that shows no window) may take to bring a window to the front.
inline constexpr Milliseconds kHandOffWait{5000};
// How long a launched program that shows a splash screen (a window without a taskbar button)
// may take to show its main window: business programs load for a while behind one.
inline constexpr Milliseconds kSplashWait{30000};

// How long a clipboard that another program holds open is tried again: programs hold it only
// for the moment of a copy or a paste.
inline constexpr Milliseconds kClipboardRetryFor{500};

// How long a program whose window went away during a run may take to end: its process ends a
// moment after its last window closes.
inline constexpr Milliseconds kProgramEndWait{500};

// Opens `path` unchanged, activates `task` once (or, without one, types into the window in front
// at the start: one the user picked), then types the file line by line: each character as its
// own key string, a line end after every line (also the last), Quillrun's pending events
// handled after each line. Keystrokes go only to the window that was in front right after the
// activation (not to another window of its program), and only if Quillrun is allowed to type
// into its program; an open input method of its
// window is closed for the run and opened again afterwards. With keys only, the whole text is
// gone through first, and nothing is typed if a character of it has no keys on the layout.
// A path that opens a device (CON, say) is never read. A program that ends right after the
// text's last keystroke (a console's "exit") has taken the whole text.
// With `rest`, only the text from `rest->from` on is typed (positions stay the whole text's),
// and nothing at all if the file is no longer the one the stopped run read.
// With key sequences, the whole text is read as one first, and nothing is typed if a piece of it
// cannot be; then each key goes as its own key string, its modifiers held around it, line ends
// are not typed, and the wait after each line follows each Enter.
PlaybackResult PlayTextFile(DesktopServices& desktop, std::u16string_view path,
                            std::optional<TaskId> task, const PlaybackHooks& hooks,
                            const std::optional<RestOfRun>& rest = std::nullopt);

// How a run ends whose file could not be opened, as OpenForReading failed for `path`: an empty
// path or a folder is NotOpened.
PlaybackResult OpenFailure(std::u16string_view path, const Failure& failure);

// Types a secret the user gave (a password) into the window in front, as PlayClipboard types the
// clipboard's text: literally (key sequences do not apply), with no line end after it unless
// `entry.pressEnter`. Every copy the run makes of it is wiped, and the keys planned for it are
// forgotten (DesktopServices::ForgetKeys), however it ends.
PlaybackResult PlaySecret(DesktopServices& desktop, const SecretEntry& entry,
                          const PlaybackHooks& hooks);

// Types `bytes` (standard input, read whole) as PlayTextFile types a file of those bytes: the
// same encodings, line ends and Enter after every line. The bytes must outlive the run.
PlaybackResult PlayTextBytes(DesktopServices& desktop, std::string_view bytes,
                             std::optional<TaskId> task, const PlaybackHooks& hooks);

// Reads the clipboard's text now and types it into the window in front (or `task`'s, activated
// as PlayTextFile does), as PlayTextFile types a file but exactly as the text stands (see
// MemoryTextPieces): no Enter is added at its end. With `rest`, as PlayTextFile: nothing if the
// clipboard's text has changed.
PlaybackResult PlayClipboard(DesktopServices& desktop, const PlaybackHooks& hooks,
                             const std::optional<RestOfRun>& rest = std::nullopt,
                             std::optional<TaskId> task = std::nullopt);

}  // namespace quillrun
