// Reads a text file line by line in whatever encoding it turns out to have (see
// text_encoding.h), holding only about one line and one read buffer in memory at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "desktop/desktop_services.h"
#include "text/text_encoding.h"

namespace quillrun {

enum class LineEnds {
    // A carriage return, or a carriage return and line feed, ends a line; a line feed alone is
    // a character of the line (the rule for files being typed).
    CarriageReturn,
    // Carriage return, carriage return and line feed, or a line feed alone end a line.
    Any,
};

// A stretch of one line: a long line comes in several pieces, the last of which ends it.
struct LinePiece {
    std::u16string text;
    bool endsLine = false;
    // Where in `text` the first U+FFFD stands that replaced bytes that are not UTF-8.
    std::optional<std::size_t> firstInvalid = std::nullopt;
};

// Opens the bytes of a text from their beginning, each time it is called: the encoding of a
// large text is settled by reading it twice.
using ByteSource = std::function<Result<std::unique_ptr<ByteReader>>()>;

// Bytes held in memory (standard input, read whole before typing), read as a file is.
class MemoryByteReader final : public ByteReader {
  public:
    explicit MemoryByteReader(std::string_view bytes) : bytes_(bytes) {}
    Result<std::size_t> Read(std::span<char> buffer) override;
    [[nodiscard]] std::uint64_t Size() const override { return bytes_.size(); }
    [[nodiscard]] std::uint64_t LastWriteTime() const override { return 0; }

  private:
    std::string_view bytes_;
    std::size_t position_ = 0;
};

class TextReader {
  public:
    // Opens the file and settles its encoding; fails as opening the file fails.
    static Result<TextReader> Open(DesktopServices& desktop, std::u16string_view path,
                                   LineEnds lineEnds);
    static Result<TextReader> Open(DesktopServices& desktop, const ByteSource& source,
                                   LineEnds lineEnds);

    // The next line without its terminator; nullopt once the file is at its end. The last line
    // needs no terminator; an empty file has no line.
    Result<std::optional<std::u16string>> ReadLine();

    // The next piece of the current line, so that a line of any length needs no more memory
    // than a piece (about 64 KiB of the file); nullopt once the file is at its end. Pieces end
    // on character boundaries where the encoding allows it to be known.
    Result<std::optional<LinePiece>> ReadLinePiece();

    [[nodiscard]] TextEncoding encoding() const { return encoding_; }
    // How far reading has got: the bytes of the file taken as lines so far, and its size
    // (0 when unknown).
    [[nodiscard]] std::uint64_t BytesConsumed() const {
        return bytesRead_ - (buffer_.size() - position_);
    }
    [[nodiscard]] std::uint64_t FileSize() const { return fileSize_; }
    [[nodiscard]] std::uint64_t LastWriteTime() const { return file_->LastWriteTime(); }

  private:
    TextReader(DesktopServices& desktop, std::unique_ptr<ByteReader> file, LineEnds lineEnds)
        : desktop_(&desktop), file_(std::move(file)), lineEnds_(lineEnds) {}

    // Appends the next chunk to the buffer; false at the end of the file.
    Result<bool> Fill();
    [[nodiscard]] std::size_t UnitSize() const;
    [[nodiscard]] char16_t UnitAt(std::size_t offset) const;
    Result<ReplacedUtf8> Decode(std::string_view bytes);
    // Where a piece of the unterminated bytes [position_, scanned) may end; position_ if not
    // yet (no safe place to cut).
    [[nodiscard]] std::size_t PieceEnd(std::size_t scanned) const;
    Result<std::optional<LinePiece>> TakePiece(std::size_t end, std::size_t next, bool endsLine);

    DesktopServices* desktop_;
    std::unique_ptr<ByteReader> file_;
    LineEnds lineEnds_;
    TextEncoding encoding_ = TextEncoding::Ansi;
    std::uint32_t codePage_ = 0;  // for TextEncoding::Ansi
    std::string buffer_;
    std::string chunk_;            // what one read returns
    std::size_t position_ = 0;     // first unread byte of buffer_
    std::uint64_t bytesRead_ = 0;  // from the file so far
    std::uint64_t fileSize_ = 0;   // as it was opened
    bool endOfFile_ = false;
    bool insideLine_ = false;        // a piece of the current line went out without its end
    std::size_t pieceSearched_ = 0;  // unread bytes searched in vain for a place to cut
};

}  // namespace quillrun
