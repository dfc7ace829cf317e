// Quillrun run from a script: what its arguments ask for, the run they describe, and how the run
// ended, as an exit code that stays the same from release to release.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "desktop/desktop_services.h"
#include "playback/text_playback.h"

namespace quillrun {

// What to type.
enum class CommandText { File, StandardInput, Clipboard };
// Where to type it: into the program quillrun.ini names, started anew (as Start does), into the
// open window whose title contains a text, or into the window in front after a wait.
enum class CommandTarget { Launch, Window, Front };

// The longest wait for the user to click into the target: as long as the window's wait.
inline constexpr Milliseconds kMaxFrontWait{60000};
// Standard input is read whole before typing (it cannot be read twice, as a large file's
// encoding needs); a stream beyond this is no text to type by keystrokes.
inline constexpr std::size_t kMaxStandardInputBytes = std::size_t{64} << 20;
// The matching titles a message lists when more than one window matched.
inline constexpr std::size_t kMaxListedWindows = 10;

struct CommandRun {
    CommandText text = CommandText::File;
    std::u16string path;  // the file's, for CommandText::File
    CommandTarget target = CommandTarget::Launch;
    std::u16string windowTitle;  // a part of it, for CommandTarget::Window
    Milliseconds frontAfter{0};  // for CommandTarget::Front
    // The typing choices given; the others come from quillrun.ini.
    std::optional<Milliseconds> pace;
    std::optional<bool> keysOnly;
    std::optional<std::u16string> layout;
    std::optional<bool> keySequences;
    std::optional<Milliseconds> lineWait;

    friend bool operator==(const CommandRun&, const CommandRun&) = default;
};

enum class CommandAction {
    OpenWindow,  // no arguments: the window, as always
    Run,
    Help,
    Version,
    Refused,  // the arguments cannot be carried out: `refusal` says why
};

struct ParsedCommand {
    CommandAction action = CommandAction::OpenWindow;
    CommandRun run;
    std::u16string refusal;  // a whole message, in the display language
};

// Reads the arguments after the program's name. "--name value" and "--name=value" are the same;
// after "--" every argument is a file's name.
[[nodiscard]] ParsedCommand ParseCommandLine(std::span<const std::u16string> arguments,
                                             Language language);

// The exit codes, one for each kind of end, grouped: 0 and 1 typed to the end, 2 to 6 typed
// nothing, 7 and 8 stopped part-way. Scripts rely on them: never renumber.
enum class ExitCode : int {
    TypedWhole = 0,
    PassedOver = 1,      // typed to the end, but characters were passed over
    BadArguments = 2,    // nothing was typed
    TextUnreadable = 3,  // the file, standard input or the clipboard: unreadable or no text
    NoTarget = 4,        // no window matched or several did, the program did not start or show one
    CannotType = 5,      // keys only, a key sequence or the layout: nothing was typed
    TargetElevated = 6,  // the target runs with higher rights: nothing was typed
    Stopped = 7,         // another window came to the front, the target closed, Ctrl+C
    NotResponding = 8,   // the target stopped taking keystrokes (or took none)
};

// The usage: the arguments, the exit codes and where to read more, in `language`.
[[nodiscard]] std::u16string UsageText(Language language);

// The exit code for how a run ended.
[[nodiscard]] ExitCode ExitCodeOf(const PlaybackResult& result);

struct CommandOutcome {
    ExitCode exitCode = ExitCode::TypedWhole;
    std::u16string message;  // for standard error; empty: nothing to say
};

// Carries out `run` as a run from the window would: the settings file's choices (never written),
// the same waits, guards and messages. `interrupted` is asked before every keystroke and during
// every wait: true (Ctrl+C in the console) ends the run. Never types into the window the command
// was typed in: its console, or a window of a process that started Quillrun.
[[nodiscard]] CommandOutcome RunFromCommandLine(DesktopServices& desktop, const CommandRun& run,
                                                const std::function<bool()>& interrupted);

}  // namespace quillrun
