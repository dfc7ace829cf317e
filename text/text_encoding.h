// How Quillrun tells the encoding of a text file and writes text back in it. Files are in the
// system's ANSI code page unless they carry a byte-order mark, or unless they are valid UTF-8
// with at least one non-ASCII character (what today's editors save without a mark).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "desktop/desktop_services.h"
#include "text/utf.h"

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

// How a whole file without instructions is read: the encoding its byte-order mark names, else
// UTF-8 when all of it is valid UTF-8 with some non-ASCII byte, else the ANSI code page.
TextEncoding DetectUnmarkedEncoding(std::string_view wholeFile);
// The same decision for a file without a mark, once `wholeFile` has seen all of it.
TextEncoding UnmarkedEncoding(const Utf8Validator& wholeFile);

// `text` as the bytes of a file in `encoding`, byte-order mark included. Fails only when the
// ANSI code page has no form for a character of the text.
Result<std::string> EncodeText(DesktopServices& desktop, std::u16string_view text,
                               TextEncoding encoding);

}  // namespace quillrun
