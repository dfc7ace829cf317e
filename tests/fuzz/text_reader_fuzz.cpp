// Fuzzes reading text files: encoding detection, decoding and splitting into lines.
//
// The first byte chooses the mode, the line-end rule, the code page and how many bytes each
// read returns (files on network shares and pipes deliver short reads). Fuzzing builds read in
// chunks of 64 bytes, so that small inputs span several chunks and their lines come in pieces.
// Raw mode reads the rest as a file and checks what any file must give, and for a file without a
// byte-order mark or one marked UTF-8 that its lines are those split on its bytes and decoded
// whole (bytes that are not UTF-8 replaced, in a marked file); round-trip mode writes the rest (as
// UTF-16 text) in an encoding that marks itself and checks that reading gives exactly the lines
// written, and that the same text typed from memory (the clipboard's) is cut into those lines too.
#include <cstdint>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "tests/fake/fake_desktop.h"
#include "text/text_encoding.h"
#include "text/text_reader.h"
#include "text/utf.h"
#include "playback/text_pieces.h"
#include "tests/fuzz/fuzz_input.h"

namespace quillrun::fuzz {
namespace {

constexpr std::u16string_view kPath = u"C:\\Texts\\input.txt";

struct ReadOutcome {
    std::vector<std::u16string> lines;
    TextEncoding encoding = TextEncoding::Ansi;
    bool failed = false;
};

ReadOutcome ReadAll(FakeDesktop& desktop, LineEnds lineEnds) {
    ReadOutcome outcome;
    auto reader = TextReader::Open(desktop, kPath, lineEnds);
    if (!reader) {
        outcome.failed = true;
        return outcome;
    }
    outcome.encoding = reader.value().encoding();
    for (;;) {
        auto line = reader.value().ReadLine();
        if (!line) {
            outcome.failed = true;
            return outcome;
        }
        if (!line.value()) {
            return outcome;
        }
        outcome.lines.push_back(*std::move(line).value());
    }
}

// How a writer's text (or, for a file without a mark, its bytes) splits into lines: CR LF, CR
// and (under LineEnds::Any) LF end lines, and a final terminator starts no further line.
template <class Char>
std::vector<std::basic_string<Char>> SplitLines(std::basic_string_view<Char> text,
                                                LineEnds lineEnds) {
    const auto cr = static_cast<Char>('\r');
    const auto lf = static_cast<Char>('\n');
    std::vector<std::basic_string<Char>> lines;
    std::basic_string<Char> current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Char c = text[i];
        if (c == cr || (c == lf && lineEnds == LineEnds::Any)) {
            if (c == cr && i + 1 < text.size() && text[i + 1] == lf) {
                ++i;
            }
            lines.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) {
        lines.push_back(std::move(current));
    }
    return lines;
}

// The lines of a file without a byte-order mark, split on its bytes and each decoded whole: what
// reading must give however it cuts a long line into pieces. Nothing when a line does not decode
// on its own.
std::optional<std::vector<std::u16string>> WholeLines(FakeDesktop& desktop, std::string_view bytes,
                                                      LineEnds lineEnds, TextEncoding encoding) {
    std::vector<std::u16string> lines;
    for (const std::string& line : SplitLines(bytes, lineEnds)) {
        if (encoding == TextEncoding::Utf8) {
            auto text = Utf8ToUtf16(line);
            if (!text) {
                return std::nullopt;
            }
            lines.push_back(*std::move(text));
        } else {
            auto text = desktop.DecodeCodePage(desktop.ansiCodePage, line);
            if (!text) {
                return std::nullopt;
            }
            lines.push_back(std::move(text).value());
        }
    }
    return lines;
}

void CheckRaw(FakeDesktop& desktop, std::string_view bytes, LineEnds lineEnds) {
    desktop.PutFile(kPath, std::string(bytes));
    const ReadOutcome outcome = ReadAll(desktop, lineEnds);
    if (!outcome.failed &&
        (outcome.encoding == TextEncoding::Ansi || outcome.encoding == TextEncoding::Utf8)) {
        if (const auto whole = WholeLines(desktop, bytes, lineEnds, outcome.encoding)) {
            Require(outcome.lines == *whole);
        }
    }
    if (outcome.encoding == TextEncoding::Utf8WithBom) {
        // A file marked UTF-8 always reads, and each line is its bytes decoded whole with what is
        // not UTF-8 replaced: however reads and pieces cut it, no valid character is lost.
        Require(!outcome.failed);
        std::vector<std::u16string> whole;
        for (const std::string& line : SplitLines(bytes.substr(3), lineEnds)) {
            whole.push_back(Utf8ToUtf16Replacing(line).text);
        }
        Require(outcome.lines == whole);
    }
    std::size_t units = 0;
    for (const std::u16string& line : outcome.lines) {
        // Terminators never leak into a line.
        Require(line.find(u'\r') == std::u16string::npos);
        Require(lineEnds == LineEnds::CarriageReturn || line.find(u'\n') == std::u16string::npos);
        units += line.size();
    }
    // Every byte decodes to at most one unit and every line but an empty file's gives one.
    Require(units <= bytes.size());
    Require(outcome.lines.size() <= bytes.size());
}

void CheckRoundTrip(FakeDesktop& desktop, std::u16string_view text, std::uint8_t choice,
                    LineEnds lineEnds) {
    static constexpr TextEncoding kMarked[] = {TextEncoding::Utf8WithBom, TextEncoding::Utf16LE,
                                               TextEncoding::Utf16BE};
    const TextEncoding encoding = kMarked[choice % 3];
    auto bytes = EncodeText(desktop, text, encoding);
    Require(bytes.ok());  // these encodings hold every text
    desktop.PutFile(kPath, bytes.value());
    const ReadOutcome outcome = ReadAll(desktop, lineEnds);
    Require(!outcome.failed);
    // UTF-8 has no form for a lone surrogate; it is written as U+FFFD.
    const std::u16string written = encoding == TextEncoding::Utf8WithBom
                                       ? Utf8ToUtf16(Utf16ToUtf8(text)).value()
                                       : std::u16string(text);
    Require(outcome.lines == SplitLines<char16_t>(written, lineEnds));
}

// A text typed from memory (the clipboard's): its pieces make up the lines LineEnds::Any gives,
// progress moves with every piece, and the last line ends with an Enter only where the text
// itself ends with a line end.
void CheckMemoryPieces(std::u16string_view text) {
    MemoryTextPieces pieces{std::u16string(text)};
    std::vector<std::u16string> lines;
    std::u16string current;
    bool lastEnded = true;
    std::uint64_t done = 0;
    for (;;) {
        auto piece = pieces.Next();
        Require(piece.ok());
        if (!piece.value()) {
            break;
        }
        Require(pieces.Done() > done);
        done = pieces.Done();
        Require(piece.value()->text.size() <= MemoryTextPieces::kMaxPieceUnits);
        current += piece.value()->text;
        lastEnded = piece.value()->endsLine;
        if (lastEnded) {
            lines.push_back(std::move(current));
            current.clear();
        }
    }
    if (!lastEnded) {
        lines.push_back(std::move(current));
    }
    Require(pieces.Done() == text.size() && pieces.Total() == text.size());
    Require(lines == SplitLines<char16_t>(text, LineEnds::Any));
    Require(text.empty() || lastEnded == (text.back() == u'\r' || text.back() == u'\n'));
}

}  // namespace
}  // namespace quillrun::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillrun;
    using namespace quillrun::fuzz;
    FuzzInput input(data, size);
    const std::uint8_t mode = input.Byte();
    FakeDesktop desktop;
    ServeFilesAsModeSays(desktop, mode);
    const LineEnds lineEnds = (mode & 0x80) != 0 ? LineEnds::Any : LineEnds::CarriageReturn;
    if ((mode & 0x01) == 0) {
        CheckRaw(desktop, input.Rest(), lineEnds);
    } else {
        const std::uint8_t choice = input.Byte();
        const std::u16string text = input.RestAsUtf16();
        CheckRoundTrip(desktop, text, choice, lineEnds);
        CheckMemoryPieces(text);
    }
    return 0;
}
