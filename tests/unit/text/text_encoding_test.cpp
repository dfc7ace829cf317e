#include "text/text_encoding.h"

#include <gtest/gtest.h>

#include "tests/fake/fake_desktop.h"
#include "text/utf.h"

namespace quillrun {
namespace {

// Whatever way a byte sequence is cut into pieces, the streaming validator must agree with the
// whole-string decoder.
TEST(Utf8Validator, AgreesWithTheDecoderAtEverySplit) {
    const std::string samples[] = {"",
                                   "abc",
                                   "\xC3\xA9",
                                   "\xE6\x97\xA5\xE6\x9C\xAC",
                                   "\xF0\x9F\x98\x80",
                                   "\xF4\x8F\xBF\xBF",
                                   "\x80",
                                   "\xC0\xAF",
                                   "\xE0\x80\xAF",
                                   "\xED\xA0\x80",
                                   "\xF4\x90\x80\x80",
                                   "ab\xE6\x97",
                                   "\xE6\x41\xA5",
                                   "caf\xE9",
                                   "\xFF",
                                   "\xED\x9F\xBF",
                                   "\xEF\xBF\xBF",
                                   "\xC2\x80"};
    for (const std::string& sample : samples) {
        const bool valid = Utf8ToUtf16(sample).has_value();
        for (std::size_t split = 0; split <= sample.size(); ++split) {
            Utf8Validator validator;
            validator.Feed(std::string_view(sample).substr(0, split));
            validator.Feed(std::string_view(sample).substr(split));
            EXPECT_EQ(validator.CompleteAndValid(), valid)
                << "sample of " << sample.size() << " bytes split at " << split;
        }
    }
}

TEST(EncodeText, WritesMarksAndByteOrderOfEachEncoding) {
    FakeDesktop desktop;
    desktop.ansiCodePage = 1252;
    struct Case {
        TextEncoding encoding;
        std::string bytes;
    };
    for (const Case& c :
         {Case{TextEncoding::Ansi, "\xE9\r\n"}, Case{TextEncoding::Utf8, "\xC3\xA9\r\n"},
          Case{TextEncoding::Utf8WithBom, "\xEF\xBB\xBF\xC3\xA9\r\n"},
          Case{TextEncoding::Utf16LE, std::string("\xFF\xFE\xE9\0\r\0\n\0", 8)},
          Case{TextEncoding::Utf16BE, std::string("\xFE\xFF\0\xE9\0\r\0\n", 8)}}) {
        auto bytes = EncodeText(desktop, u"\u00E9\r\n", c.encoding);
        ASSERT_TRUE(bytes.ok());
        EXPECT_EQ(bytes.value(), c.bytes) << static_cast<int>(c.encoding);
    }
    EXPECT_FALSE(EncodeText(desktop, u"\u65E5", TextEncoding::Ansi).ok())
        << "a character the code page lacks must not be written as a question mark";
}

}  // namespace
}  // namespace quillrun
