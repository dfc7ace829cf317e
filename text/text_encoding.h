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

// Windows' code page for UTF-8, which is the ANSI code page itself where the system uses UTF-8
// for programs that are not Unicode (a language setting since Windows 10 version 1903).
inline constexpr std::uint32_t kUtf8CodePage = 65001;
// What Windows uses for Western European languages, the usual ANSI code page.
inline constexpr std::uint32_t kWesternCodePage = 1252;

// The code page a file without a mark that is not UTF-8 is read in: the system's ANSI code page,
// or, where that is UTF-8 itself, the code page the system locale had before UTF-8 took its
// place (`legacyCodePage`, as the desktop reports it), because such a file was written by a
// program of that era in that code page, and UTF-8 would read it up to its first non-UTF-8 byte
// only. Where the locale names none of its own, Western European.
std::uint32_t FileCodePage(std::uint32_t ansiCodePage, std::uint32_t legacyCodePage);

// `text` as the bytes of a file in `encoding`, byte-order mark included. Fails only when the
// ANSI code page has no form for a character of the text.
Result<std::string> EncodeText(DesktopServices& desktop, std::u16string_view text,
                               TextEncoding encoding);

}  // namespace quillrun
