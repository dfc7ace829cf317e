#include "settings/settings_file.h"

#include <algorithm>

#include "desktop/paths.h"
#include "desktop/text_reader.h"

namespace quillrun {
namespace {

bool IsBlank(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char16_t c) { return c == u' ' || c == u'\t'; });
}

// The settings in the file at `path`, or nothing if the file cannot be opened.
std::optional<Settings> ReadSettingsFile(DesktopServices& desktop, std::u16string_view path) {
    // Any line end counts here: a path never holds a line feed, and an editor may well save
    // the file with line feeds alone.
    auto reader = TextReader::Open(desktop, path, LineEnds::Any);
    if (!reader) {
        return std::nullopt;
    }
    Settings settings;
    settings.encoding = reader.value().encoding();
    auto line = reader.value().ReadLine();
    if (line && line.value() && !IsBlank(*line.value())) {
        settings.targetPath = *std::move(line).value();
    }
    return settings;
}

}  // namespace

Settings LoadSettings(DesktopServices& desktop) {
    if (auto settings = ReadSettingsFile(desktop, kSettingsFileName)) {
        return *settings;
    }
    const std::u16string saved = JoinFolderAndName(desktop.AppFolder(), kSettingsFileName);
    if (auto settings = ReadSettingsFile(desktop, saved)) {
        return *settings;
    }
    return Settings{};
}

Status SaveSettings(DesktopServices& desktop, const Settings& settings) {
    const std::u16string line = settings.targetPath + u"\r\n";
    auto bytes = EncodeText(desktop, line, settings.encoding);
    // Keep every character of the path rather than the code page when the ANSI code page lacks
    // one, or when its bytes would read back as something else (valid UTF-8, a byte-order mark).
    if (!bytes || (settings.encoding == TextEncoding::Ansi &&
                   DetectUnmarkedEncoding(bytes.value()) != TextEncoding::Ansi)) {
        bytes = EncodeText(desktop, line, TextEncoding::Utf8WithBom);
    }
    const std::u16string path = JoinFolderAndName(desktop.AppFolder(), kSettingsFileName);
    return desktop.ReplaceFileContents(path, bytes.value());
}

}  // namespace quillrun
