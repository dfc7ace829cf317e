// The settings file: one line, the command line of the program to type into.
#pragma once

#include <string>
#include <string_view>

#include "desktop/desktop_services.h"
#include "desktop/text_encoding.h"

namespace quillrun {

inline constexpr std::u16string_view kSettingsFileName = u"quillrun.ini";
inline constexpr std::u16string_view kDefaultTargetPath = u"C:\\WINDOWS\\Notepad.exe";

struct Settings {
    std::u16string targetPath{kDefaultTargetPath};
    // How the file was stored, so that saving keeps every character of the path.
    TextEncoding encoding = TextEncoding::Ansi;

    friend bool operator==(const Settings&, const Settings&) = default;
};

// Reads "quillrun.ini" from the working directory or, when there is none to open there, from
// the application folder. Only the first line counts. No file, an empty file or a blank first
// line give the default target. Never fails: settings are a convenience, not a precondition.
Settings LoadSettings(DesktopServices& desktop);

// Writes the target as the file's one line into the application folder, replacing the old file
// only once the new one is complete.
Status SaveSettings(DesktopServices& desktop, const Settings& settings);

}  // namespace quillrun
