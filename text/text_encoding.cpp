#include "text/text_encoding.h"

#include "text/utf.h"

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

TextEncoding DetectUnmarkedEncoding(std::string_view wholeFile) {
    if (const auto mark = DetectByteOrderMark(wholeFile)) {
        return mark->encoding;
    }
    Utf8Validator validator;
    validator.Feed(wholeFile);
    return UnmarkedEncoding(validator);
}

TextEncoding UnmarkedEncoding(const Utf8Validator& wholeFile) {
    return wholeFile.CompleteAndValid() && wholeFile.SawNonAscii() ? TextEncoding::Utf8
                                                                   : TextEncoding::Ansi;
}

std::uint32_t FileCodePage(std::uint32_t ansiCodePage, std::uint32_t legacyCodePage) {
    if (ansiCodePage != kUtf8CodePage) {
        return ansiCodePage;
    }
    // 0 to 3 stand for "the code page of the thread or system" (CP_ACP, CP_OEMCP, CP_MACCP,
    // CP_THREAD_ACP), which is UTF-8 again here; 65000 is UTF-7. Neither reads a legacy file.
    constexpr std::uint32_t kUtf7CodePage = 65000;
    if (legacyCodePage <= 3 || legacyCodePage == kUtf7CodePage || legacyCodePage == kUtf8CodePage) {
        return kWesternCodePage;
    }
    return legacyCodePage;
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
