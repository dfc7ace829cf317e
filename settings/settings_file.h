// The settings file: its first line the command line of the program to type into, as it always
// was, so that whatever reads only that line goes on working; then, one a line as name=value, how
// the keys are typed, each only when it differs from the default.
#pragma once

#include <string>
#include <string_view>

#include "desktop/desktop_services.h"
#include "text/text_encoding.h"

namespace quillrun {

inline constexpr std::u16string_view kSettingsFileName = u"quillrun.ini";
inline constexpr std::u16string_view kDefaultTargetPath = u"C:\\WINDOWS\\Notepad.exe";

struct Settings {
    std::u16string targetPath{kDefaultTargetPath};
    // How the file was stored, so that saving keeps every character of the path.
    TextEncoding encoding = TextEncoding::Ansi;
    TypingOptions typing;
    // The key that types the clipboard into the window in front; None(): no hot key.
    HotKey hotKey = kDefaultHotKey;

    friend bool operator==(const Settings&, const Settings&) = default;
};

// Reads "quillrun.ini" from the working directory or, when there is none to open there, from
// the application folder. No file, an empty file or a blank first line give the default target.
// Later lines that are not a known name=value, or whose value is out of range, are passed over.
// Never fails: settings are a convenience, not a precondition.
Settings LoadSettings(DesktopServices& desktop);

// Writes the target as the file's first line, and the typing options that differ from the
// default after it, into the application folder, replacing the old file only once the new one
// is complete.
Status SaveSettings(DesktopServices& desktop, const Settings& settings);

}  // namespace quillrun
