// How Quillrun tells the encoding of a text file and writes text back in it. Files are in the
// system's ANSI code page unless they carry a byte-order mark, or unless they are valid UTF-8
// with at least one non-ASCII character (what today's editors save without a mark).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "desktop/desktop_services.h"

namespace quillrun {

enum class TextEncoding {
    Ansi,         // the system's ANSI code page (also plain ASCII)
    Utf8,         // UTF-8 without a byte-order mark
    Utf8WithBom,  // EF BB BF
    Utf16LE,      // FF FE
    Utf16BE,      // FE FF
};

// The encoding that a byte-order mark at the start of `head` names, and the mark's length.
struct ByteOrderMark {
    TextEncoding encoding;
    std::size_t length;
};
std::optional<ByteOrderMark> DetectByteOrderMark(std::string_view head);

// Checks UTF-8 fed in pieces of any size, as a file is read.
class Utf8Validator {
  public:
    void Feed(std::string_view bytes);
    // Valid so far and not cut off inside a character.
    [[nodiscard]] bool CompleteAndValid() const { return valid_ && pending_ == 0; }
    [[nodiscard]] bool Valid() const { return valid_; }
    [[nodiscard]] bool SawNonAscii() const { return nonAscii_; }

  private:
    int pending_ = 0;  // continuation bytes still expected
    std::uint8_t low_ = 0x80;
    std::uint8_t high_ = 0xBF;
    bool valid_ = true;
    bool nonAscii_ = false;
};

// `text` as the bytes of a file in `encoding`, byte-order mark included. Fails only when the
// ANSI code page has no form for a character of the text.
Result<std::string> EncodeText(DesktopServices& desktop, std::u16string_view text,
                               TextEncoding encoding);

}  // namespace quillrun
