#include "settings/settings_file.h"

#include <algorithm>

#include "keys/hot_key.h"
#include "text/paths.h"
#include "text/utf.h"
#include "text/text_reader.h"

namespace quillrun {
namespace {

bool IsBlank(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char16_t c) { return c == u' ' || c == u'\t'; });
}

// The names of the options' lines.
constexpr std::u16string_view kPaceName = u"pace";          // ms a key, 0 to 1000
constexpr std::u16string_view kKeysOnlyName = u"keysonly";  // 1 or 0
constexpr std::u16string_view kLayoutName = u"layout";      // a layout identifier
constexpr std::u16string_view kLineWaitName = u"linewait";  // ms after each line, 0 to 60000
constexpr std::u16string_view kHotKeyName = u"hotkey";      // as "Ctrl+Shift+Alt+V", or "none"
constexpr std::u16string_view kKeySequencesName = u"keysequences";  // 1 or 0

std::u16string_view Trimmed(std::u16string_view text) {
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A whole number of milliseconds from 0 to `most`, in decimal digits only.
std::optional<Milliseconds> ParseMilliseconds(std::u16string_view value, Milliseconds most) {
    if (value.empty() || value.size() > 5) {
        return std::nullopt;
    }
    Milliseconds::rep ms = 0;
    for (const char16_t c : value) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        ms = ms * 10 + (c - u'0');
    }
    if (ms > most.count()) {
        return std::nullopt;
    }
    return Milliseconds(ms);
}

// A layout identifier as Windows names layouts: eight hexadecimal digits, kept in capitals.
std::optional<std::u16string> ParseLayout(std::u16string_view value) {
    if (value.size() != 8) {
        return std::nullopt;
    }
    std::u16string id;
    for (const char16_t c : value) {
        if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) {
            id += c;
        } else if (c >= u'a' && c <= u'f') {
            id += static_cast<char16_t>(c - u'a' + u'A');
        } else {
            return std::nullopt;
        }
    }
    return id;
}

// Takes one later line of the file into `settings` if it is a known name with a valid value.
void ReadOption(std::u16string_view line, Settings& settings) {
    TypingOptions& typing = settings.typing;
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) {
        return;
    }
    const std::u16string_view name = Trimmed(line.substr(0, equals));
    const std::u16string_view value = Trimmed(line.substr(equals + 1));
    if (name == kPaceName) {
        if (const auto pace = ParseMilliseconds(value, TypingOptions::kMaxPace)) {
            typing.pace = *pace;
        }
    } else if (name == kKeysOnlyName) {
        if (value == u"1" || value == u"0") {
            typing.keyMode = value == u"1" ? KeyMode::KeysOnly : KeyMode::UnicodeWhereNeeded;
        }
    } else if (name == kKeySequencesName) {
        if (value == u"1" || value == u"0") {
            typing.keySequences = value == u"1";
        }
    } else if (name == kLayoutName) {
        if (auto layout = ParseLayout(value)) {
            typing.layout = *std::move(layout);
        }
    } else if (name == kLineWaitName) {
        if (const auto wait = ParseMilliseconds(value, TypingOptions::kMaxLineWait)) {
            typing.lineWait = *wait;
        }
    } else if (name == kHotKeyName) {
        if (const auto key = ParseHotKey(value)) {
            settings.hotKey = *key;
        }
    }
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
    auto first = reader.value().ReadLine();
    if (!first || !first.value()) {
        return settings;
    }
    if (!IsBlank(*first.value())) {
        settings.targetPath = *std::move(first).value();
    }
    for (auto line = reader.value().ReadLine(); line && line.value();
         line = reader.value().ReadLine()) {
        ReadOption(*line.value(), settings);
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
    std::u16string text = settings.targetPath + u"\r\n";
    const TypingOptions& typing = settings.typing;
    const auto write = [&](std::u16string_view name, std::u16string_view value) {
        text.append(name).append(u"=").append(value).append(u"\r\n");
    };
    if (typing.pace != TypingOptions{}.pace) {
        write(kPaceName, DecimalText(static_cast<std::uint64_t>(typing.pace.count())));
    }
    if (typing.keyMode == KeyMode::KeysOnly) {
        write(kKeysOnlyName, u"1");
    }
    if (typing.keySequences) {
        write(kKeySequencesName, u"1");
    }
    if (!typing.layout.empty()) {
        write(kLayoutName, typing.layout);
    }
    if (typing.lineWait != TypingOptions{}.lineWait) {
        write(kLineWaitName, DecimalText(static_cast<std::uint64_t>(typing.lineWait.count())));
    }
    if (settings.hotKey != kDefaultHotKey) {
        write(kHotKeyName, HotKeyText(settings.hotKey));
    }
    auto bytes = EncodeText(desktop, text, settings.encoding);
    // Keep every character of the path rather than the code page when the ANSI code page lacks
    // one, or when its bytes would read back as something else (valid UTF-8, a byte-order mark).
    if (!bytes || (settings.encoding == TextEncoding::Ansi &&
                   DetectUnmarkedEncoding(bytes.value()) != TextEncoding::Ansi)) {
        bytes = EncodeText(desktop, text, TextEncoding::Utf8WithBom);
    }
    const std::u16string path = JoinFolderAndName(desktop.AppFolder(), kSettingsFileName);
    return desktop.ReplaceFileContents(path, bytes.value());
}

}  // namespace quillrun
