#include "text/text_reader.h"

#include <gtest/gtest.h>

#include "tests/fake/fake_desktop.h"
#include "text/utf.h"

namespace quillrun {
namespace {

constexpr std::u16string_view kPath = u"C:\\Work\\file.txt";

struct ReadResult {
    TextEncoding encoding;
    std::vector<std::u16string> lines;
};

ReadResult ReadAll(FakeDesktop& desktop, LineEnds ends) {
    auto reader = TextReader::Open(desktop, kPath, ends);
    EXPECT_TRUE(reader.ok());
    ReadResult result{reader.value().encoding(), {}};
    for (;;) {
        auto line = reader.value().ReadLine();
        EXPECT_TRUE(line.ok());
        if (!line.ok() || !line.value()) {
            return result;
        }
        result.lines.push_back(*line.value());
    }
}

struct LineCase {
    const char* name;
    std::string bytes;
    LineEnds ends;
    std::vector<std::u16string> lines;
    TextEncoding encoding = TextEncoding::Ansi;
    std::uint32_t ansiCodePage = 1252;
    std::uint32_t legacyCodePage = 1252;  // the system locale's own, where ANSI is UTF-8
};

class TextReaderLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(TextReaderLines, SplitsAndDecodesLikeTheFileMeans) {
    const LineCase& c = GetParam();
    FakeDesktop desktop;
    desktop.ansiCodePage = c.ansiCodePage;
    desktop.legacyAnsiCodePage = c.legacyCodePage;
    desktop.PutFile(kPath, c.bytes);
    const ReadResult got = ReadAll(desktop, c.ends);
    EXPECT_EQ(got.lines, c.lines);
    EXPECT_EQ(got.encoding, c.encoding);
}

// Pipes and network shares may return fewer bytes than asked for; the byte-order mark, the
// encoding and the lines must not depend on that.
TEST_P(TextReaderLines, SameWhenEveryReadReturnsOneByte) {
    const LineCase& c = GetParam();
    FakeDesktop desktop;
    desktop.ansiCodePage = c.ansiCodePage;
    desktop.legacyAnsiCodePage = c.legacyCodePage;
    desktop.readPieceLimit = 1;
    desktop.PutFile(kPath, c.bytes);
    const ReadResult got = ReadAll(desktop, c.ends);
    EXPECT_EQ(got.lines, c.lines);
    EXPECT_EQ(got.encoding, c.encoding);
}

const auto CR = LineEnds::CarriageReturn;
const auto ANY = LineEnds::Any;

INSTANTIATE_TEST_SUITE_P(
    Cases, TextReaderLines,
    ::testing::Values(
        LineCase{"Empty", "", CR, {}}, LineCase{"OneLineNoTerminator", "abc", CR, {u"abc"}},
        LineCase{"CrLfLines", "a\r\nb\r\n", CR, {u"a", u"b"}},
        LineCase{"CrOnlyLines", "a\rb\r", CR, {u"a", u"b"}},
        LineCase{"LineFeedIsACharacter", "a\nb\n", CR, {u"a\nb\n"}},
        LineCase{"LineFeedEndsWhenAsked", "a\nb\n", ANY, {u"a", u"b"}},
        LineCase{"BlankLinesCount", "\r\n\r\nx\r\n", CR, {u"", u"", u"x"}},
        LineCase{"CrThenCrLf", "a\r\r\nb", CR, {u"a", u"", u"b"}},
        LineCase{"OnlyATerminator", "\r\n", CR, {u""}},
        LineCase{"TabsAndNulStay", std::string("a\tb\0c", 5), CR, {std::u16string(u"a\tb\0c", 5)}},
        LineCase{"AnsiByDefault", "caf\xE9\r\n", CR, {u"caf\u00E9"}},
        LineCase{"Utf8WithoutMark",
                 "caf\xC3\xA9\r\n\xE6\x97\xA5",
                 CR,
                 {u"caf\u00E9", u"\u65E5"},
                 TextEncoding::Utf8},
        LineCase{"Utf8WithMark", "\xEF\xBB\xBFhi\r\n", CR, {u"hi"}, TextEncoding::Utf8WithBom},
        LineCase{"Utf8MarkOnly", "\xEF\xBB\xBF", CR, {}, TextEncoding::Utf8WithBom},
        LineCase{"Utf16LittleEndian",
                 std::string("\xFF\xFEh\0\xE5\x65\r\0\n\0x\0", 12),
                 CR,
                 {u"h\u65E5", u"x"},
                 TextEncoding::Utf16LE},
        LineCase{"Utf16BigEndian",
                 std::string("\xFE\xFF\0h\xD8\x3D\xDE\x00\0\r\0y", 12),
                 CR,
                 {u"h\xD83D\xDE00", u"y"},
                 TextEncoding::Utf16BE},
        LineCase{"Utf16CutOffInsideACharacter",
                 std::string("\xFF\xFEh\0i", 5),
                 CR,
                 {u"h\uFFFD"},
                 TextEncoding::Utf16LE},
        LineCase{"Cp932UnderJapaneseCodePage",
                 "\x93\xFA\x96\x7B\x8C\xEA\r\n",
                 CR,
                 {u"\u65E5\u672C\u8A9E"},
                 TextEncoding::Ansi,
                 932},
        LineCase{
            "InvalidUtf8FallsBackToAnsi", "\xC3\xA9 then \xE9", CR, {u"\u00C3\u00A9 then \u00E9"}},
        LineCase{"AsciiIsAnsi", "plain\r\n", CR, {u"plain"}},
        // A mark says UTF-8: a byte that is not costs its own character, not its line's, and a
        // character broken off is one U+FFFD, as Unicode recommends and browsers do.
        LineCase{"Utf8MarkWithAStrayByte",
                 "\xEF\xBB\xBF"
                 "caf\xC3\xA9 \xE9t\xE6\x97\xA5 \xF0\x9F\x98!\r\nok",
                 CR,
                 {u"caf\u00E9 \uFFFDt\u65E5 \uFFFD!", u"ok"},
                 TextEncoding::Utf8WithBom},
        // No character may start so: one U+FFFD a byte.
        LineCase{"Utf8MarkOverlongSurrogateAndPastUnicode",
                 "\xEF\xBB\xBF\xC0\xAFx\xED\xA0\x80y\xF4\x90\x80\x80",
                 CR,
                 {u"\uFFFD\uFFFDx\uFFFD\uFFFD\uFFFDy\uFFFD\uFFFD\uFFFD\uFFFD"},
                 TextEncoding::Utf8WithBom},
        LineCase{"Utf8MarkCutOffInsideACharacter",
                 "\xEF\xBB\xBF"
                 "a\r\n\xE6\x97",
                 CR,
                 {u"a", u"\uFFFD"},
                 TextEncoding::Utf8WithBom},
        // Where the system's ANSI code page is UTF-8, a file that is not UTF-8 was written in
        // the code page the system locale had before.
        LineCase{"Utf8SystemReadsOtherFilesInTheLocalesCodePage",
                 "\x93\xFA\x96\x7B caf\xC3\xA9\r\n",
                 CR,
                 {u"\u65E5\u672C caf\uFF83\uFF69"},
                 TextEncoding::Ansi,
                 65001,
                 932},
        LineCase{"Utf8SystemWithoutALegacyCodePageReadsWestern",
                 "caf\xE9\r\n",
                 CR,
                 {u"caf\u00E9"},
                 TextEncoding::Ansi,
                 65001,
                 65001}),
    [](const auto& p) { return std::string(p.param.name); });

// Lines and terminators that straddle the 64 KiB read chunks must come out whole.
TEST(TextReaderChunks, TerminatorsAcrossChunkBoundariesAndLongLines) {
    constexpr std::size_t kChunk = 64 * 1024;
    for (const std::size_t crAt : {kChunk - 2, kChunk - 1, kChunk, kChunk + 1}) {
        SCOPED_TRACE(crAt);
        FakeDesktop desktop;
        std::string bytes(crAt, 'a');
        bytes += "\r\nnext\r\n";
        desktop.PutFile(kPath, bytes);
        const ReadResult got = ReadAll(desktop, LineEnds::CarriageReturn);
        ASSERT_EQ(got.lines.size(), 2u);
        EXPECT_EQ(got.lines[0].size(), crAt);
        EXPECT_EQ(got.lines[1], u"next");
    }
    FakeDesktop desktop;
    desktop.PutFile(kPath, std::string(3 * kChunk + 7, 'z'));  // one line longer than 32767
    const ReadResult got = ReadAll(desktop, LineEnds::CarriageReturn);
    ASSERT_EQ(got.lines.size(), 1u);
    EXPECT_EQ(got.lines[0].size(), 3 * kChunk + 7);
}

// A long line comes in pieces of about 64 KiB, each ending on a character boundary, only the
// last one ending the line; put together they are the line.
TEST(TextReaderPieces, LongLinesComeInWholeCharacterPiecesThatMakeTheLine) {
    constexpr std::size_t kChunk = 64 * 1024;
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string line;
        std::uint32_t codePage = 1252;
        std::size_t fewest;  // pieces, the empty last one included
        std::size_t most;
    };
    std::string sjis;  // "日本 " over and over: double-byte characters, now and then a space
    std::u16string sjisText;
    while (sjis.size() < 2 * kChunk + 100) {
        sjis += "\x93\xFA\x96\x7B ";
        sjisText += u"\u65E5\u672C ";
    }
    std::string utf8 = "\xEF\xBB\xBF";
    std::u16string utf8Text;
    while (utf8.size() < 2 * kChunk + 100) {
        utf8 += "\xE6\x97\xA5";
        utf8Text += u"\u65E5";
    }
    std::string utf16("\xFF\xFE", 2);
    std::u16string utf16Text;
    while (utf16.size() < 2 * kChunk + 100) {
        utf16 += std::string("\x3D\xD8\x00\xDE", 4);  // a surrogate pair, cut anywhere
        utf16Text += u"\xD83D\xDE00";
    }
    const std::vector<Case> cases = {
        {"ShiftJisCutAfterASpace", sjis + "\r\n", sjisText, 932, 2, 3},
        {"Utf8CutBeforeACharacter", utf8 + "\r\n", utf8Text, 1252, 2, 3},
        {"Utf16", utf16 + std::string("\r\0\n\0", 4), utf16Text, 1252, 2, 3},
        // The last piece ends where the file does: the line's end comes as an empty piece.
        {"EndsWithThePiece", std::string(kChunk, '0'), std::u16string(kChunk, u'0'), 1252, 2, 2},
        // No byte that is surely a character's end: kept whole rather than spoilt.
        {"NoSafePlaceToCut", std::string(2 * kChunk, '\xE9') + "\r\n",
         std::u16string(2 * kChunk, u'\u00E9'), 1252, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        desktop.ansiCodePage = c.codePage;
        desktop.PutFile(kPath, c.bytes);
        auto reader = TextReader::Open(desktop, kPath, LineEnds::CarriageReturn);
        ASSERT_TRUE(reader.ok());
        std::u16string line;
        std::size_t pieces = 0;
        for (;;) {
            auto piece = reader.value().ReadLinePiece();
            ASSERT_TRUE(piece.ok());
            ASSERT_TRUE(piece.value().has_value()) << "the file ended inside the line";
            ++pieces;
            EXPECT_LE(piece.value()->text.size(), 2 * kChunk);
            line += piece.value()->text;
            if (piece.value()->endsLine) {
                break;
            }
        }
        EXPECT_EQ(line, c.line);
        EXPECT_GE(pieces, c.fewest);
        EXPECT_LE(pieces, c.most);
        auto after = reader.value().ReadLinePiece();
        ASSERT_TRUE(after.ok());
        EXPECT_FALSE(after.value().has_value());
    }
}

// In a file marked UTF-8, each stretch that is not UTF-8 costs one character wherever pieces and
// reads end: a character split by them is never taken for a broken one, and each piece says
// where its first replacement stands.
TEST(TextReaderPieces, BytesThatAreNotUtf8CostOneCharacterWherePiecesEnd) {
    constexpr std::size_t kChunk = 64 * 1024;
    std::string bytes = "\xEF\xBB\xBF";
    std::u16string line;
    while (bytes.size() < 2 * kChunk + 100) {
        // A whole character, one broken off by a stray byte, the stray byte, a letter.
        bytes +=
            "\xE6\x97\xA5\xE6\x97\xFF"
            "a";
        line += u"\u65E5\uFFFD\uFFFDa";
    }
    bytes += "\xF0\x9F\x98";  // the file ends inside a character
    line += u"\uFFFD";
    for (const std::size_t readLimit : {std::size_t{0}, std::size_t{1}, std::size_t{4095}}) {
        SCOPED_TRACE(readLimit);
        FakeDesktop desktop;
        desktop.readPieceLimit = readLimit;
        desktop.PutFile(kPath, bytes);
        auto reader = TextReader::Open(desktop, kPath, LineEnds::CarriageReturn);
        ASSERT_TRUE(reader.ok());
        std::u16string got;
        std::size_t pieces = 0;
        for (;;) {
            auto piece = reader.value().ReadLinePiece();
            ASSERT_TRUE(piece.ok());
            ASSERT_TRUE(piece.value().has_value());
            ++pieces;
            const LinePiece& p = *piece.value();
            const std::size_t first = p.text.find(u'\uFFFD');
            EXPECT_EQ(p.firstInvalid,
                      first == std::u16string::npos ? std::nullopt : std::optional(first));
            got += p.text;
            if (p.endsLine) {
                break;
            }
        }
        EXPECT_EQ(got, line);
        EXPECT_GE(pieces, 2u);
    }
}

TEST(TextReaderChunks, EncodingIsDecidedOnTheWholeFileNotItsStart) {
    constexpr std::size_t kChunk = 64 * 1024;
    struct Case {
        std::string tail;
        TextEncoding encoding;
        std::u16string lastLine;
    };
    for (const Case& c : {Case{"\xC3\xA9", TextEncoding::Utf8, u"\u00E9"},
                          Case{"\xE9", TextEncoding::Ansi, u"\u00E9"},
                          Case{"\xC3\xA9\xE9", TextEncoding::Ansi, u"\u00C3\u00A9\u00E9"}}) {
        FakeDesktop desktop;
        desktop.PutFile(kPath, std::string(2 * kChunk, 'a') + "\r\n" + c.tail);
        const ReadResult got = ReadAll(desktop, LineEnds::CarriageReturn);
        EXPECT_EQ(got.encoding, c.encoding);
        ASSERT_EQ(got.lines.size(), 2u);
        EXPECT_EQ(got.lines[1], c.lastLine);
    }
}

TEST(TextReaderOpen, FailsForMissingFilesFoldersAndEmptyPaths) {
    FakeDesktop desktop;
    desktop.PutFolder(u"C:\\Work");
    for (const std::u16string_view path : {u"C:\\Work", u"C:\\nothing.txt", u""}) {
        auto reader = TextReader::Open(desktop, path, LineEnds::CarriageReturn);
        EXPECT_FALSE(reader.ok()) << Utf16ToUtf8(path);
    }
}

}  // namespace
}  // namespace quillrun
