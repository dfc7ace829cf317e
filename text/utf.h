// Conversions between UTF-8 and UTF-16 that need no system call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillrun {

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

// Strict decoding: overlong forms, surrogates encoded in UTF-8, code points past U+10FFFF and
// truncated sequences make the whole input invalid (nullopt).
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// UTF-8 decoded with its bytes that are not UTF-8 replaced, so that one stray byte costs one
// character and not the text around it.
struct ReplacedUtf8 {
    std::u16string text;
    // Where in `text` the first U+FFFD stands that replaced such bytes (a U+FFFD written in the
    // file as UTF-8 is no such thing); nullopt when every byte was UTF-8.
    std::optional<std::size_t> firstInvalid;
};
// Each maximal stretch that begins a character but cannot be completed (a stray byte, a lead
// byte whose continuation breaks off, an overlong form, a surrogate, a code point past
// U+10FFFF) becomes one U+FFFD, and decoding goes on at the next byte, as Unicode recommends
// and browsers do. A character cut off by the end of `utf8` is such a stretch: give whole
// characters only, or the whole rest of the file.
ReplacedUtf8 Utf8ToUtf16Replacing(std::string_view utf8);

// A lone surrogate has no UTF-8 form and becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Appends the code point `cp` as one or two UTF-16 units.
void AppendUtf16(std::u16string& out, char32_t cp);
// The halves of a surrogate pair, and the code point they make together.
constexpr bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
constexpr char32_t CombineSurrogates(char16_t high, char16_t low) {
    return 0x10000 + ((char32_t{high} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
}
// The code point at `utf16[i]`: a surrogate pair taken whole, a lone surrogate as it is.
char32_t CodePointAt(std::u16string_view utf16, std::size_t i);

// The decimal digits of `n`, for messages.
std::u16string DecimalText(std::uint64_t n);

}  // namespace quillrun
