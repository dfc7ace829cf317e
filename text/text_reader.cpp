#include "text/text_reader.h"

#include <algorithm>

#include "text/utf.h"

namespace quillrun {
namespace {

#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// Tiny chunks, so that the fuzzer's small inputs reach every path of chunk and piece handling.
constexpr std::size_t kChunkSize = 64;
#else
// Large enough that reading costs little per byte, small enough to keep memory flat.
constexpr std::size_t kChunkSize = std::size_t{64} * 1024;
#endif

// Reads the whole text through a second handle to learn whether it is valid UTF-8.
Result<Utf8Validator> ScanUtf8(const ByteSource& source) {
    auto file = source();
    if (!file) {
        return file.failure();
    }
    Utf8Validator validator;
    std::string chunk(kChunkSize, '\0');
    for (;;) {
        auto got = file.value()->Read(chunk);
        if (!got) {
            return got.failure();
        }
        if (got.value() == 0 || !validator.Valid()) {
            return validator;
        }
        validator.Feed(std::string_view(chunk).substr(0, got.value()));
    }
}

// One UTF-16 unit from two bytes in the file's byte order.
char16_t Utf16Unit(const char* bytes, bool littleEndian) {
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    return littleEndian ? static_cast<char16_t>(first | (second << 8))
                        : static_cast<char16_t>((first << 8) | second);
}

}  // namespace

Result<std::size_t> MemoryByteReader::Read(std::span<char> buffer) {
    const std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
    std::copy_n(bytes_.data() + position_, count, buffer.data());
    position_ += count;
    return count;
}

Result<TextReader> TextReader::Open(DesktopServices& desktop, std::u16string_view path,
                                    LineEnds lineEnds) {
    return Open(desktop, [&desktop, path] { return desktop.OpenForReading(path); }, lineEnds);
}

Result<TextReader> TextReader::Open(DesktopServices& desktop, const ByteSource& source,
                                    LineEnds lineEnds) {
    auto file = source();
    if (!file) {
        return file.failure();
    }
    TextReader reader(desktop, std::move(file).value(), lineEnds);
    reader.fileSize_ = reader.file_->Size();
    // Enough of the file to see a byte-order mark, and all of a small file. A read may return
    // less than asked for (pipes, network shares), so keep reading until a chunk is full.
    while (reader.buffer_.size() < kChunkSize) {
        auto filled = reader.Fill();
        if (!filled) {
            return filled.failure();
        }
        if (!filled.value()) {
            break;
        }
    }
    if (const auto mark = DetectByteOrderMark(reader.buffer_)) {
        reader.encoding_ = mark->encoding;
        reader.position_ = mark->length;
        return reader;
    }
    Utf8Validator validator;
    if (reader.endOfFile_) {
        validator.Feed(reader.buffer_);  // the whole file is in the buffer
    } else {
        // Larger than one chunk: decide on the whole file, not on its start.
        auto scanned = ScanUtf8(source);
        if (!scanned) {
            return scanned.failure();
        }
        validator = scanned.value();
    }
    reader.encoding_ = UnmarkedEncoding(validator);
    reader.codePage_ = FileCodePage(desktop.AnsiCodePage(), desktop.LegacyAnsiCodePage());
    return reader;
}

Result<bool> TextReader::Fill() {
    if (endOfFile_) {
        return false;
    }
    // Drop what has been consumed before growing the buffer.
    if (position_ > 0 && position_ >= buffer_.size() / 2) {
        buffer_.erase(0, position_);
        position_ = 0;
    }
    // Read into a buffer of its own: growing buffer_ for every read would clear a whole chunk
    // each time, however little the read returns.
    chunk_.resize(kChunkSize);
    auto got = file_->Read(chunk_);
    if (!got) {
        return got.failure();
    }
    buffer_.append(chunk_.data(), got.value());
    bytesRead_ += got.value();
    endOfFile_ = got.value() == 0;
    return !endOfFile_;
}

std::size_t TextReader::UnitSize() const {
    return encoding_ == TextEncoding::Utf16LE || encoding_ == TextEncoding::Utf16BE ? 2 : 1;
}

char16_t TextReader::UnitAt(std::size_t offset) const {
    if (UnitSize() == 1) {
        return static_cast<unsigned char>(buffer_[offset]);
    }
    return Utf16Unit(buffer_.data() + offset, encoding_ == TextEncoding::Utf16LE);
}

Result<ReplacedUtf8> TextReader::Decode(std::string_view bytes) {
    switch (encoding_) {
        case TextEncoding::Ansi: {
            auto text = desktop_->DecodeCodePage(codePage_, bytes);
            if (!text) {
                return text.failure();
            }
            return ReplacedUtf8{std::move(text).value(), std::nullopt};
        }
        case TextEncoding::Utf8:
        case TextEncoding::Utf8WithBom:
            // A stray byte in spite of the mark (or of the scan, if the file changed since)
            // costs that character only; pieces end between characters, so a character is never
            // taken for cut off unless the file ends inside it.
            return Utf8ToUtf16Replacing(bytes);
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE: {
            std::u16string text;
            text.reserve(bytes.size() / 2);
            for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
                text.push_back(Utf16Unit(bytes.data() + i, encoding_ == TextEncoding::Utf16LE));
            }
            if (bytes.size() % 2 != 0) {
                text.push_back(u'\uFFFD');  // a file cut off inside a character
            }
            return ReplacedUtf8{std::move(text), std::nullopt};
        }
    }
    return Failure{"ReadLine", u"Unknown text encoding.", 0};
}

Result<std::optional<std::u16string>> TextReader::ReadLine() {
    std::optional<std::u16string> line;
    for (;;) {
        auto piece = ReadLinePiece();
        if (!piece) {
            return piece.failure();
        }
        if (!piece.value()) {
            return line;  // end of file
        }
        if (!line) {
            line.emplace();
        }
        *line += piece.value()->text;
        if (piece.value()->endsLine) {
            return line;
        }
    }
}

std::size_t TextReader::PieceEnd(std::size_t scanned) const {
    switch (encoding_) {
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE:
            return scanned;  // every unit goes out on its own anyway
        case TextEncoding::Utf8:
        case TextEncoding::Utf8WithBom: {
            // The piece ends right before a byte that begins a character, never inside one.
            for (std::size_t end = scanned - 1; end > position_; --end) {
                if ((static_cast<unsigned char>(buffer_[end]) & 0xC0) != 0x80) {
                    return end;
                }
            }
            return position_;
        }
        case TextEncoding::Ansi:
            break;
    }
    // In the ANSI code page a cut between the two bytes of a double-byte character would spoil
    // it, and which bytes lead is the code page's secret. Bytes below 0x40 are never the second
    // byte of one in any of Windows' code pages, so the piece ends right after such a byte.
    for (std::size_t end = scanned; end > position_; --end) {
        if (static_cast<unsigned char>(buffer_[end - 1]) < 0x40) {
            return end;
        }
    }
    return position_;
}

Result<std::optional<LinePiece>> TextReader::TakePiece(std::size_t end, std::size_t next,
                                                       bool endsLine) {
    auto text = Decode(std::string_view(buffer_).substr(position_, end - position_));
    if (!text) {
        return text.failure();
    }
    position_ = next;
    insideLine_ = !endsLine;
    pieceSearched_ = 0;
    ReplacedUtf8 decoded = std::move(text).value();
    return std::optional<LinePiece>(
        LinePiece{std::move(decoded.text), endsLine, decoded.firstInvalid});
}

Result<std::optional<LinePiece>> TextReader::ReadLinePiece() {
    // Longest stretch of a line, in bytes of the file, that is held before it goes out.
    constexpr std::size_t kPieceBytes = kChunkSize;
    const std::size_t unit = UnitSize();
    std::size_t scan = position_;  // next unit to look at
    for (;;) {
        // Look for a terminator among the complete units buffered so far.
        for (; scan + unit <= buffer_.size(); scan += unit) {
            const char16_t c = UnitAt(scan);
            const bool lineFeedEnds = lineEnds_ == LineEnds::Any && c == u'\n';
            if (c != u'\r' && !lineFeedEnds) {
                continue;
            }
            if (c == u'\r') {
                // A line feed right after the carriage return belongs to the same terminator;
                // it may still be in the file rather than in the buffer.
                while (scan + 2 * unit > buffer_.size()) {
                    const std::size_t scannedFromStart = scan - position_;
                    auto more = Fill();
                    if (!more) {
                        return more.failure();
                    }
                    scan = position_ + scannedFromStart;  // Fill may move the unread bytes
                    if (!more.value()) {
                        break;
                    }
                }
            }
            std::size_t next = scan + unit;
            if (c == u'\r' && next + unit <= buffer_.size() && UnitAt(next) == u'\n') {
                next += unit;
            }
            return TakePiece(scan, next, true);
        }
        // No terminator yet: a long stretch goes out as a piece rather than growing without end.
        // Where no safe place to cut was found, looking again waits until the stretch has
        // doubled, so that small reads do not make the search quadratic.
        if (scan - position_ >= std::max(kPieceBytes, pieceSearched_ * 2)) {
            if (const std::size_t end = PieceEnd(scan); end > position_) {
                return TakePiece(end, end, false);
            }
            pieceSearched_ = scan - position_;
        }
        const std::size_t scannedFromStart = scan - position_;
        auto more = Fill();
        if (!more) {
            return more.failure();
        }
        scan = position_ + scannedFromStart;
        if (!more.value()) {
            break;
        }
    }
    if (position_ >= buffer_.size()) {
        if (insideLine_) {
            // The line's last piece ended exactly at the end of the file.
            insideLine_ = false;
            return std::optional<LinePiece>(LinePiece{{}, true});
        }
        return std::optional<LinePiece>();  // end of file
    }
    // The last line, without a terminator.
    return TakePiece(buffer_.size(), buffer_.size(), true);
}

}  // namespace quillrun
