#include "text/language.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/form_layout.h"
#include "app/main_form.h"
#include "app/start_menu.h"
#include "text/utf.h"

namespace quillrun {
namespace {

TEST(FillIn, FillsEachBlankOnceAndReadsNothingIntoTheValues) {
    const struct {
        std::u16string_view pattern;
        std::u16string_view filled;
    } cases[] = {
        {u"line {line}, column {column}", u"line 12, column 7"},
        {u"{column} 文字目、{line} 行目", u"7 文字目、12 行目"},  // another word order
        {u"{line}{line}", u"1212"},
        // Values go in as they stand: a path may hold what looks like a blank.
        {u"\"{path}\" at {line}", u"\"C:\\{line}\\x\" at 12"},
        // What is no blank stays as written.
        {u"{} {Line} {li ne} {unknown} { {line", u"{} {Line} {li ne} {unknown} { {line"},
        {u"{{line}}", u"{12}"},
        {u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            FillIn(c.pattern, {{u"line", u"12"}, {u"column", u"7"}, {u"path", u"C:\\{line}\\x"}}),
            c.filled)
            << Utf16ToUtf8(c.pattern);
    }
    EXPECT_EQ(BlanksOf(u"{} {b} {Line} {a}{b"), (std::vector<std::u16string_view>{u"b", u"a"}));
}

bool HasJapanese(std::u16string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char16_t c) { return c >= 0x3041 && c <= 0x9FFF; });
}

// Every text of the window and its menu exists in both languages with the same blanks; only
// the button's own caption, "Start", and OK read the same in both.
TEST(Texts, EveryMenuAndCaptionTextHasBothLanguagesWithTheSameBlanks) {
    std::vector<Localized> texts = {kPickCaption,      kOtherPaceText,       kKeysOnlyText,
                                    kLayoutMenuText,   kSameLayoutText,      kMissingLayoutText,
                                    kLineWaitMenuText, kOtherLineWaitText,   kHotKeyItemText,
                                    kNoHotKeyItemText, kHotKeyTakenItemText, kHotKeyPrompt,
                                    kHotKeyTakenNote,  kNoHotKeyButton,      kOkButton,
                                    kCancelButton,     kHotKeyTakenMessage};
    for (const StartMenuItem& item : kStartCommands) {
        texts.push_back(item.text);
    }
    for (const auto& choices : {kPaceChoices, kLineWaitChoices}) {
        for (const DurationChoice& choice : choices) {
            texts.push_back(choice.text);
        }
    }
    for (const Localized& text : texts) {
        SCOPED_TRACE(Utf16ToUtf8(text.english));
        EXPECT_EQ(BlanksOf(text.english), BlanksOf(text.japanese));
        EXPECT_FALSE(HasJapanese(text.english));
        EXPECT_EQ(HasJapanese(text.japanese), text.english != u"Start" && text.english != u"OK");
    }
}

}  // namespace
}  // namespace quillrun
