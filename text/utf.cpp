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

// What a byte that begins a character asks of the bytes after it: how many continuation bytes,
// and the range of the first of them, which shuts out overlong forms, UTF-16 surrogates and code
// points past U+10FFFF. No character begins with a byte that asks for none.
struct Lead {
    int pending = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
};

Lead LeadOf(std::uint8_t byte) {
    if (byte >= 0xC2 && byte <= 0xDF) {
        return {1};
    }
    if (byte == 0xE0) {
        return {2, 0xA0};
    }
    if ((byte >= 0xE1 && byte <= 0xEC) || byte == 0xEE || byte == 0xEF) {
        return {2};
    }
    if (byte == 0xED) {
        return {2, 0x80, 0x9F};
    }
    if (byte == 0xF0) {
        return {3, 0x90};
    }
    if (byte >= 0xF1 && byte <= 0xF3) {
        return {3};
    }
    if (byte == 0xF4) {
        return {3, 0x80, 0x8F};
    }
    return {};
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
        const Lead lead = LeadOf(byte);
        if (lead.pending == 0) {
            valid_ = false;
            return;
        }
        pending_ = lead.pending;
        low_ = lead.low;
        high_ = lead.high;
    }
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
    ReplacedUtf8 decoded = Utf8ToUtf16Replacing(utf8);
    if (decoded.firstInvalid) {
        return std::nullopt;
    }
    return std::move(decoded.text);
}

ReplacedUtf8 Utf8ToUtf16Replacing(std::string_view utf8) {
    ReplacedUtf8 out;
    out.text.reserve(utf8.size());
    const auto replace = [&out] {
        if (!out.firstInvalid) {
            out.firstInvalid = out.text.size();
        }
        out.text.push_back(static_cast<char16_t>(kReplacement));
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<std::uint8_t>(utf8[i++]);
        if (lead < 0x80) {
            out.text.push_back(lead);
            continue;
        }
        auto [pending, low, high] = LeadOf(lead);
        if (pending == 0) {
            replace();  // a continuation byte on its own, or a byte UTF-8 never uses
            continue;
        }
        auto cp = static_cast<char32_t>(lead & (0x3F >> pending));
        for (; pending > 0 && i < utf8.size(); --pending, ++i) {
            const auto next = static_cast<std::uint8_t>(utf8[i]);
            if (next < low || next > high) {
                break;  // this byte is not part of the stretch: it starts the next one
            }
            cp = (cp << 6) | (next & 0x3F);
            low = 0x80;
            high = 0xBF;
        }
        if (pending > 0) {
            replace();
        } else {
            AppendUtf16(out.text, cp);
        }
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
    if (IsHighSurrogate(unit) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
        return CombineSurrogates(unit, utf16[i + 1]);
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
