#include "playback/launch.h"
#include "text/language.h"

#include <gtest/gtest.h>

namespace quillrun {
namespace {

struct MessageCase {
    const char* name;
    std::u16string targetPath;
    std::vector<std::u16string> shows;  // pieces the message must contain in either language
    std::size_t longest;                // most characters the message may have
    std::uint32_t code = 2;             // the system's error code of the failed launch
    // What it says in each language, where it is Quillrun's own words.
    std::u16string english = u"Quillrun could not start the program to type into";
    std::u16string japanese = u"Quillrun は入力先のプログラムを起動できませんでした";
};

class LaunchFailureMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(LaunchFailureMessageTest, NamesTheProgramAndTheReasonInABoundedText) {
    const MessageCase& c = GetParam();
    // The system's words come in the user's language already.
    const Failure failure{"LaunchProgram", u"The system cannot find the file specified.", c.code};
    for (const Language language : {Language::English, Language::Japanese}) {
        const std::u16string message = LaunchFailureMessage(c.targetPath, failure, language);
        std::vector<std::u16string> shows = c.shows;
        shows.push_back(language == Language::Japanese ? c.japanese : c.english);
        for (const std::u16string& piece : shows) {
            EXPECT_NE(message.find(piece), std::u16string::npos)
                << "in " << (language == Language::Japanese ? "Japanese" : "English");
        }
        // Every blank filled, and none read from the path.
        EXPECT_EQ(BlanksOf(message), BlanksOf(c.targetPath));
        // The system's own words, except where plain ones say more.
        EXPECT_EQ(message.find(failure.reason) != std::u16string::npos,
                  c.code != kElevationRequiredCode);
        EXPECT_LE(message.size(), c.longest);
    }
}

const std::u16string kLongPath = u"C:\\" + std::u16string(100'000, u'a') + u"\\editor.exe";

INSTANTIATE_TEST_SUITE_P(
    Cases, LaunchFailureMessageTest,
    ::testing::Values(
        MessageCase{"WholePath", u"C:\\Apps\\editor.exe /new", {u"C:\\Apps\\editor.exe /new"}, 200},
        MessageCase{"BracesInThePathStayAsWritten",
                    u"C:\\{reason}\\{path}.exe",
                    {u"\n\nC:\\{reason}\\{path}.exe\n\nThe system cannot"},
                    200},
        MessageCase{"NoPath",
                    u"",
                    {},
                    200,
                    2,
                    u"(no program is named in quillrun.ini)",
                    u"(quillrun.ini にプログラムが指定されていません)"},
        MessageCase{"PathAtTheLimit",
                    u"C:\\" + std::u16string(157, u'b'),
                    {u"C:\\" + std::u16string(157, u'b')},
                    500},
        // A damaged settings file: the start and the program's name, and how long it was.
        MessageCase{"HugePathIsCut",
                    kLongPath,
                    {u"C:\\aaaa", u"aaaa\\editor.exe", u"\u2026"},
                    600,
                    2,
                    u"(100014 characters)",
                    u"(100014 文字)"},
        // A program that may only run as administrator would not take the keystrokes anyway.
        MessageCase{"NeedsAdministrator",
                    u"C:\\Apps\\setup.exe",
                    {u"C:\\Apps\\setup.exe"},
                    400,
                    kElevationRequiredCode,
                    u"To type into it, start Quillrun as administrator.",
                    u"入力するには、Quillrun を管理者として実行してください。"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quillrun

namespace quillrun {
namespace {

// Which window of a launched program is typed into: one with a taskbar button, never a splash.
TEST(MainWindow, IsAWindowWithATaskbarButton) {
    const struct {
        const char* name;
        WindowTraits window;
        bool main;
    } cases[] = {
        {"plain window", {.visible = true}, true},
        {"hidden", {}, false},
        {"tool-window splash", {.visible = true, .toolWindow = true}, false},
        {"owned splash or dialog", {.visible = true, .owned = true}, false},
        {"owned, marked as an application window",
         {.visible = true, .owned = true, .appWindow = true},
         true},
        {"tool window marked as an application window",
         {.visible = true, .toolWindow = true, .appWindow = true},
         true},
        {"hidden application window", {.appWindow = true}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HasTaskbarButton(c.window), c.main) << c.name;
    }
}

}  // namespace
}  // namespace quillrun
