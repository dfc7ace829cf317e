#include "text/utf.h"

#include <cstdint>

namespace quillrun {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

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

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
    Utf8Validator validator;
    validator.Feed(utf8);
    if (!validator.CompleteAndValid()) {
        return std::nullopt;
    }
    // Valid from here on: each lead byte says how many continuation bytes follow.
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<std::uint8_t>(utf8[i + k]) & 0x3F);
        }
        AppendUtf16(out, cp);
        i += length;
    }
    return out;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

char32_t CodePointAt(std::u16string_view utf16, std::size_t i) {
    const char16_t unit = utf16[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
    }
    return unit;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = CodePointAt(utf16, i);
        if (cp >= 0x10000) {
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string DecimalText(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    return {digits.begin(), digits.end()};
}

}  // namespace quillrun
