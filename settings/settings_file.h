// The settings file: its first line the command line of the program to type into, as it always
// was, so that whatever reads only that line goes on working; then, one a line as name=value, how
// the keys are typed. Quillrun owns only those: a comment, another tool's line or a line it
// cannot use stays where the user put it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "desktop/desktop_services.h"
#include "keys/hot_key.h"
#include "text/text_encoding.h"

namespace quillrun {

inline constexpr std::u16string_view kSettingsFileName = u"quillrun.ini";
inline constexpr std::u16string_view kDefaultTargetPath = u"C:\\WINDOWS\\Notepad.exe";
// A settings file is a few lines; a larger one is not Quillrun's to read or rewrite.
inline constexpr std::size_t kMaxSettingsFileBytes = 1 << 20;

// A hot key line that names a combination the hot key may not be, and why: passed over.
struct RefusedHotKey {
    HotKey key;
    HotKeyRefusal refusal;

    friend bool operator==(const RefusedHotKey&, const RefusedHotKey&) = default;
};

struct Settings {
    std::u16string targetPath{kDefaultTargetPath};
    // How the file was stored, for a file written anew.
    TextEncoding encoding = TextEncoding::Ansi;
    TypingOptions typing;
    // The key that types the clipboard into the window in front; None(): no hot key.
    HotKey hotKey = kDefaultHotKey;
    // The last hot key line of the file, if the hot key may not be what it names.
    std::optional<RefusedHotKey> refusedHotKey;
    // The file the settings came from, and go back to: "quillrun.ini" in the working directory
    // when there was one, else the one in the application folder. Empty: none was read.
    std::u16string file;

    friend bool operator==(const Settings&, const Settings&) = default;
};

// A whole number of milliseconds from 0 to `most`, in decimal digits only.
[[nodiscard]] std::optional<Milliseconds> ParseMilliseconds(std::u16string_view value,
                                                            Milliseconds most);
// A layout identifier as Windows names layouts: eight hexadecimal digits, kept in capitals;
// nothing for this computer's own.
[[nodiscard]] std::optional<std::u16string> ParseLayout(std::u16string_view value);

// Reads "quillrun.ini" from the working directory or, when there is none to open there, from
// the application folder. No file, an empty file or a blank first line give the default target.
// Later lines that are not a known name (in any case) = value, or whose value cannot be used,
// are passed over. Never fails: settings are a convenience, not a precondition.
Settings LoadSettings(DesktopServices& desktop);

// Writes the choices in which `now` differs from `before` (the settings as last read or saved)
// into the file they were read from (the application folder's when none was), each on the line
// that set it, or added at the end; every other line stays as it stands in the file now, which
// is read again first, so that what another copy of Quillrun or the user wrote meanwhile is
// kept. A file that is not there is written whole: the target first, then the choices that
// differ from the default. The old file is replaced only once the new one is complete; an
// unchanged file is not written at all.
Status SaveSettings(DesktopServices& desktop, const Settings& now, const Settings& before);

}  // namespace quillrun
