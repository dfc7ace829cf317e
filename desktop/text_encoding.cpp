#include "desktop/text_encoding.h"

#include "desktop/utf.h"

namespace quillrun {

std::optional<ByteOrderMark> DetectByteOrderMark(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF")) {
        return ByteOrderMark{TextEncoding::Utf8WithBom, 3};
    }
    if (head.starts_with("\xFF\xFE")) {
        return ByteOrderMark{TextEncoding::Utf16LE, 2};
    }
    if (head.starts_with("\xFE\xFF")) {
        return ByteOrderMark{TextEncoding::Utf16BE, 2};
    }
    return std::nullopt;
}

void Utf8Validator::Feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (!valid_) {
            return;
        }
        const auto byte = static_cast<std::uint8_t>(c);
        if (pending_ > 0) {
            if (byte < low_ || byte > high_) {
                valid_ = false;
                return;
            }
            // Only the first continuation byte has a narrowed range.
            low_ = 0x80;
            high_ = 0xBF;
            --pending_;
            continue;
        }
        if (byte < 0x80) {
            continue;
        }
        nonAscii_ = true;
        // Ranges of the first continuation byte exclude overlong forms, UTF-16 surrogates and
        // code points past U+10FFFF.
        if (byte >= 0xC2 && byte <= 0xDF) {
            pending_ = 1;
        } else if (byte == 0xE0) {
            pending_ = 2, low_ = 0xA0;
        } else if ((byte >= 0xE1 && byte <= 0xEC) || byte == 0xEE || byte == 0xEF) {
            pending_ = 2;
        } else if (byte == 0xED) {
            pending_ = 2, high_ = 0x9F;
        } else if (byte == 0xF0) {
            pending_ = 3, low_ = 0x90;
        } else if (byte >= 0xF1 && byte <= 0xF3) {
            pending_ = 3;
        } else if (byte == 0xF4) {
            pending_ = 3, high_ = 0x8F;
        } else {
            valid_ = false;
        }
    }
}

Result<std::string> EncodeText(DesktopServices& desktop, std::u16string_view text,
                               TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Ansi:
            return desktop.EncodeCodePage(desktop.AnsiCodePage(), text);
        case TextEncoding::Utf8:
            return Utf16ToUtf8(text);
        case TextEncoding::Utf8WithBom:
            return "\xEF\xBB\xBF" + Utf16ToUtf8(text);
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE: {
            const bool little = encoding == TextEncoding::Utf16LE;
            std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
            for (const char16_t unit : text) {
                const auto low = static_cast<char>(unit & 0xFF);
                const auto high = static_cast<char>(unit >> 8);
                bytes.push_back(little ? low : high);
                bytes.push_back(little ? high : low);
            }
            return bytes;
        }
    }
    return Failure{"EncodeText", u"Unknown text encoding.", 0};
}

}  // namespace quillrun
