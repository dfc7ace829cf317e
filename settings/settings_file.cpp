#include "settings/settings_file.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "text/ascii.h"
#include "text/paths.h"
#include "text/utf.h"

namespace quillrun {
namespace {

// Quillrun's own lines after the first, in the order a new file lists them.
enum class Key { Pace, KeysOnly, KeySequences, Layout, LineWait, HotKey };
constexpr std::array<std::u16string_view, 6> kKeyNames{
    u"pace",          // ms a key, 0 to 1000
    u"keysonly",      // 1 or 0
    u"keysequences",  // 1 or 0
    u"layout",        // a layout identifier, or nothing for this computer's
    u"linewait",      // ms after each line, 0 to 60000
    u"hotkey",        // as "Ctrl+Shift+Alt+V", or "none"
};

std::optional<bool> ParseSwitch(std::u16string_view value) {
    if (value == u"1" || value == u"0") {
        return value == u"1";
    }
    return std::nullopt;
}

// One of Quillrun's lines: which key, and its value as written.
struct OwnLine {
    Key key;
    std::u16string_view value;
};

std::optional<OwnLine> OwnLineOf(std::u16string_view line) {
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) {
        return std::nullopt;
    }
    const std::u16string_view name = TrimBlanks(line.substr(0, equals));
    for (std::size_t i = 0; i < kKeyNames.size(); ++i) {
        if (SameIgnoringAsciiCase(name, kKeyNames[i])) {
            return OwnLine{static_cast<Key>(i), TrimBlanks(line.substr(equals + 1))};
        }
    }
    return std::nullopt;
}

// Takes the line's value into `settings` if Quillrun can use it; whether it could.
bool ApplyOwnLine(const OwnLine& line, Settings& settings) {
    TypingOptions& typing = settings.typing;
    switch (line.key) {
        case Key::Pace:
            if (const auto pace = ParseMilliseconds(line.value, TypingOptions::kMaxPace)) {
                typing.pace = *pace;
                return true;
            }
            return false;
        case Key::KeysOnly:
            if (const auto on = ParseSwitch(line.value)) {
                typing.keyMode = *on ? KeyMode::KeysOnly : KeyMode::UnicodeWhereNeeded;
                return true;
            }
            return false;
        case Key::KeySequences:
            if (const auto on = ParseSwitch(line.value)) {
                typing.keySequences = *on;
                return true;
            }
            return false;
        case Key::Layout:
            if (auto layout = ParseLayout(line.value)) {
                typing.layout = *std::move(layout);
                return true;
            }
            return false;
        case Key::LineWait:
            if (const auto wait = ParseMilliseconds(line.value, TypingOptions::kMaxLineWait)) {
                typing.lineWait = *wait;
                return true;
            }
            return false;
        case Key::HotKey:
            break;
    }
    const auto key = ParseHotKey(line.value);
    if (!key) {
        return false;
    }
    // A hot key that would take a key from every program is passed over like any bad line,
    // and the menu says why.
    if (const auto refusal = RefusalOf(*key)) {
        settings.refusedHotKey = RefusedHotKey{*key, *refusal};
        return false;
    }
    settings.hotKey = *key;
    settings.refusedHotKey.reset();
    return true;
}

// How Quillrun writes the value of `key` in `settings`.
std::u16string ValueText(Key key, const Settings& settings) {
    const TypingOptions& typing = settings.typing;
    switch (key) {
        case Key::Pace:
            return DecimalText(static_cast<std::uint64_t>(typing.pace.count()));
        case Key::KeysOnly:
            return typing.keyMode == KeyMode::KeysOnly ? u"1" : u"0";
        case Key::KeySequences:
            return typing.keySequences ? u"1" : u"0";
        case Key::Layout:
            return typing.layout;
        case Key::LineWait:
            return DecimalText(static_cast<std::uint64_t>(typing.lineWait.count()));
        case Key::HotKey:
            break;
    }
    return HotKeyText(settings.hotKey);
}

// The file as it stands, cut into lines without decoding them, so that a line Quillrun does not
// own is written back byte for byte.
struct FileLines {
    struct Line {
        std::size_t begin;  // of the text
        std::size_t end;    // of the text; its line end runs to the next line's begin
        std::size_t next;
    };
    TextEncoding encoding = TextEncoding::Ansi;
    std::size_t markLength = 0;
    std::vector<Line> lines;
};

// The UTF-16 unit at `at` of `bytes`, in the byte order `encoding` names.
char16_t Utf16UnitAt(std::string_view bytes, std::size_t at, TextEncoding encoding) {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    return static_cast<char16_t>(encoding == TextEncoding::Utf16LE ? first | second << 8
                                                                   : first << 8 | second);
}

// Carriage return, carriage return and line feed, or line feed alone end a line, in units of
// the encoding (two bytes in UTF-16).
FileLines SplitLines(std::string_view bytes) {
    FileLines file;
    if (const auto mark = DetectByteOrderMark(bytes)) {
        file.encoding = mark->encoding;
        file.markLength = mark->length;
    } else {
        file.encoding = DetectUnmarkedEncoding(bytes);
    }
    const bool wide =
        file.encoding == TextEncoding::Utf16LE || file.encoding == TextEncoding::Utf16BE;
    const std::size_t unit = wide ? 2 : 1;
    const auto unitAt = [&](std::size_t at) -> char16_t {
        return wide ? Utf16UnitAt(bytes, at, file.encoding) : static_cast<unsigned char>(bytes[at]);
    };
    std::size_t begin = file.markLength;
    std::size_t at = begin;
    while (at + unit <= bytes.size()) {
        const char16_t c = unitAt(at);
        if (c != u'\r' && c != u'\n') {
            at += unit;
            continue;
        }
        std::size_t next = at + unit;
        if (c == u'\r' && next + unit <= bytes.size() && unitAt(next) == u'\n') {
            next += unit;
        }
        file.lines.push_back({begin, at, next});
        begin = at = next;
    }
    if (begin < bytes.size()) {
        file.lines.push_back({begin, bytes.size(), bytes.size()});
    }
    return file;
}

// A line's text. Bytes that are not text in the file's encoding become U+FFFD: a line that is
// not Quillrun's is never written from its text, and a damaged program path then fails to
// launch under a name that shows the damage.
std::u16string LineText(DesktopServices& desktop, std::string_view bytes, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
        case TextEncoding::Utf8WithBom:
            return Utf8ToUtf16Replacing(bytes).text;
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE: {
            std::u16string text;
            for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
                text += Utf16UnitAt(bytes, i, encoding);
            }
            return text;
        }
        case TextEncoding::Ansi:
            break;
    }
    const std::uint32_t codePage =
        FileCodePage(desktop.AnsiCodePage(), desktop.LegacyAnsiCodePage());
    if (auto text = desktop.DecodeCodePage(codePage, bytes)) {
        return std::move(text).value();
    }
    std::u16string text;
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text += b < 0x80 ? static_cast<char16_t>(b) : u'\uFFFD';
    }
    return text;
}

// Text of ASCII characters only (Quillrun's own lines) in `encoding`, without a mark.
std::string AsciiBytes(std::u16string_view text, TextEncoding encoding) {
    std::string bytes;
    for (const char16_t c : text) {
        const char ascii = static_cast<char>(c);
        if (encoding == TextEncoding::Utf16BE) {
            bytes.push_back('\0');
        }
        bytes.push_back(ascii);
        if (encoding == TextEncoding::Utf16LE) {
            bytes.push_back('\0');
        }
    }
    return bytes;
}

// The whole file's bytes, or why not. "Not there" is an empty file.
Result<std::string> ReadWholeFile(DesktopServices& desktop, std::u16string_view path) {
    auto file = desktop.OpenForReading(path);
    if (!file) {
        return file.failure();
    }
    std::string bytes;
    std::array<char, 4096> buffer{};
    for (;;) {
        auto read = file.value()->Read(buffer);
        if (!read) {
            return read.failure();
        }
        if (read.value() == 0) {
            return bytes;
        }
        if (bytes.size() + read.value() > kMaxSettingsFileBytes) {
            return Failure{"ReadSettings", u"The settings file is too large.", 0};
        }
        bytes.append(buffer.data(), read.value());
    }
}

// The settings in the file at `path`, or nothing if the file cannot be read.
std::optional<Settings> ReadSettingsFile(DesktopServices& desktop, std::u16string_view path) {
    const auto bytes = ReadWholeFile(desktop, path);
    if (!bytes) {
        return std::nullopt;
    }
    const std::string_view all = bytes.value();
    const FileLines file = SplitLines(all);
    Settings settings;
    settings.encoding = file.encoding;
    settings.file = desktop.FullPath(path);
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const FileLines::Line& line = file.lines[i];
        std::u16string text =
            LineText(desktop, all.substr(line.begin, line.end - line.begin), file.encoding);
        if (i == 0) {
            if (!TrimBlanks(text).empty()) {
                settings.targetPath = std::move(text);
            }
        } else if (const auto own = OwnLineOf(text)) {
            static_cast<void>(ApplyOwnLine(*own, settings));
        }
    }
    return settings;
}

// The file written anew: the target, then the choices that differ from the default.
Result<std::string> NewFile(DesktopServices& desktop, const Settings& settings) {
    std::u16string text = settings.targetPath + u"\r\n";
    const Settings defaults;
    for (std::size_t i = 0; i < kKeyNames.size(); ++i) {
        const auto key = static_cast<Key>(i);
        if (ValueText(key, settings) != ValueText(key, defaults)) {
            text.append(kKeyNames[i]).append(u"=").append(ValueText(key, settings)).append(u"\r\n");
        }
    }
    auto bytes = EncodeText(desktop, text, settings.encoding);
    // Keep every character of the path rather than the code page when the ANSI code page lacks
    // one, or when its bytes would read back as something else (valid UTF-8, a byte-order mark).
    if (!bytes || (settings.encoding == TextEncoding::Ansi &&
                   DetectUnmarkedEncoding(bytes.value()) != TextEncoding::Ansi)) {
        bytes = EncodeText(desktop, text, TextEncoding::Utf8WithBom);
    }
    return bytes;
}

// `current` with the choices in which `now` differs from `before` written into it.
std::string MergedFile(DesktopServices& desktop, std::string_view current, const Settings& now,
                       const Settings& before) {
    const FileLines file = SplitLines(current);
    // The line whose value each key takes when the file is read: the last usable one.
    std::array<std::optional<std::size_t>, kKeyNames.size()> used{};
    Settings scratch;
    for (std::size_t i = 1; i < file.lines.size(); ++i) {
        const FileLines::Line& line = file.lines[i];
        const std::u16string text =
            LineText(desktop, current.substr(line.begin, line.end - line.begin), file.encoding);
        if (const auto own = OwnLineOf(text); own && ApplyOwnLine(*own, scratch)) {
            used[static_cast<std::size_t>(own->key)] = i;
        }
    }
    // A hot key chosen over a line of the file that named one the hot key may not be gets a
    // line of its own, even the default: the refused line would otherwise be read again.
    const auto overridesRefused = [&](std::size_t key) {
        return static_cast<Key>(key) == Key::HotKey && before.refusedHotKey && !now.refusedHotKey;
    };
    const auto changed = [&](std::size_t key) {
        return ValueText(static_cast<Key>(key), now) != ValueText(static_cast<Key>(key), before) ||
               overridesRefused(key);
    };
    const auto ownLine = [&](std::size_t key) {
        return AsciiBytes(std::u16string(kKeyNames[key]) + u"=" +
                              ValueText(static_cast<Key>(key), now),
                          file.encoding);
    };
    std::string merged(current.substr(0, file.markLength));
    bool rewroteLast = false;  // the last line, half unit and all, is one of Quillrun's, rewritten
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const FileLines::Line& line = file.lines[i];
        const auto key = std::find(used.begin(), used.end(), i) - used.begin();
        if (static_cast<std::size_t>(key) < used.size() && changed(static_cast<std::size_t>(key))) {
            merged += ownLine(static_cast<std::size_t>(key));
            merged += current.substr(line.end, line.next - line.end);
            rewroteLast = i + 1 == file.lines.size();
        } else {
            merged += current.substr(line.begin, line.next - line.begin);
        }
    }
    // New lines end as the file's lines do.
    const auto ended = std::find_if(file.lines.begin(), file.lines.end(),
                                    [](const FileLines::Line& l) { return l.next > l.end; });
    const std::string lineEnd = ended == file.lines.end()
                                    ? AsciiBytes(u"\r\n", file.encoding)
                                    : std::string(current.substr(ended->end, ended->next - ended->end));
    const Settings defaults;
    bool lastLineEnded = file.lines.back().next > file.lines.back().end;
    // A UTF-16 file cut off inside a unit: what follows must start on a unit of its own, and
    // the half unit, which reads as no character, goes.
    const bool wide =
        file.encoding == TextEncoding::Utf16LE || file.encoding == TextEncoding::Utf16BE;
    bool unitCut = wide && !rewroteLast && (current.size() - file.markLength) % 2 != 0;
    for (std::size_t key = 0; key < kKeyNames.size(); ++key) {
        // A choice back at its default needs no line of its own.
        if (used[key] || !changed(key) ||
            (ValueText(static_cast<Key>(key), now) == ValueText(static_cast<Key>(key), defaults) &&
             !overridesRefused(key))) {
            continue;
        }
        if (std::exchange(unitCut, false)) {
            merged.pop_back();
        }
        if (!std::exchange(lastLineEnded, true)) {
            merged += lineEnd;
        }
        merged += ownLine(key) + lineEnd;
    }
    return merged;
}

}  // namespace

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

std::optional<std::u16string> ParseLayout(std::u16string_view value) {
    if (!value.empty() && value.size() != 8) {
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

Status SaveSettings(DesktopServices& desktop, const Settings& now, const Settings& before) {
    const std::u16string path = now.file.empty()
                                    ? JoinFolderAndName(desktop.AppFolder(), kSettingsFileName)
                                    : now.file;
    // ERROR_FILE_NOT_FOUND and ERROR_PATH_NOT_FOUND: there is no file to keep lines of.
    constexpr std::uint32_t kFileNotFound = 2;
    constexpr std::uint32_t kPathNotFound = 3;
    auto current = ReadWholeFile(desktop, path);
    if (!current && current.failure().code != kFileNotFound &&
        current.failure().code != kPathNotFound) {
        return current.failure();  // a file that cannot be read cannot be kept
    }
    const std::string_view old = current ? std::string_view(current.value()) : std::string_view();
    std::string bytes;
    if (SplitLines(old).lines.empty()) {
        auto whole = NewFile(desktop, now);
        if (!whole) {
            return whole.failure();
        }
        bytes = std::move(whole).value();
    } else {
        bytes = MergedFile(desktop, old, now, before);
    }
    if (current && bytes == old) {
        return {};
    }
    return desktop.ReplaceFileContents(path, bytes);
}

}  // namespace quillrun
