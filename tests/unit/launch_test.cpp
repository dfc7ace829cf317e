#include "playback/launch.h"

#include <gtest/gtest.h>

namespace quillrun {
namespace {

struct MessageCase {
    const char* name;
    std::u16string targetPath;
    std::vector<std::u16string> shows;  // pieces the message must contain
    std::size_t longest;                // most characters the message may have
    std::uint32_t code = 2;             // the system's error code of the failed launch
};

class LaunchFailureMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(LaunchFailureMessageTest, NamesTheProgramAndTheReasonInABoundedText) {
    const MessageCase& c = GetParam();
    const Failure failure{"LaunchProgram", u"The system cannot find the file specified.", c.code};
    const std::u16string message = LaunchFailureMessage(c.targetPath, failure);
    for (const std::u16string& piece : c.shows) {
        EXPECT_NE(message.find(piece), std::u16string::npos);
    }
    // The system's own words, except where plain ones say more.
    EXPECT_EQ(message.find(failure.reason) != std::u16string::npos,
              c.code != kElevationRequiredCode);
    EXPECT_LE(message.size(), c.longest);
}

const std::u16string kLongPath = u"C:\\" + std::u16string(100'000, u'a') + u"\\editor.exe";

INSTANTIATE_TEST_SUITE_P(
    Cases, LaunchFailureMessageTest,
    ::testing::Values(
        MessageCase{"WholePath", u"C:\\Apps\\editor.exe /new", {u"C:\\Apps\\editor.exe /new"}, 200},
        MessageCase{"NoPath", u"", {u"no program is named in quillrun.ini"}, 200},
        MessageCase{"PathAtTheLimit",
                    u"C:\\" + std::u16string(157, u'b'),
                    {u"C:\\" + std::u16string(157, u'b')},
                    500},
        // A damaged settings file: the start and the program's name, and how long it was.
        MessageCase{"HugePathIsCut",
                    kLongPath,
                    {u"C:\\aaaa", u"aaaa\\editor.exe", u"\u2026", u"100014 characters"},
                    600},
        // A program that may only run as administrator would not take the keystrokes anyway.
        MessageCase{"NeedsAdministrator",
                    u"C:\\Apps\\setup.exe",
                    {u"C:\\Apps\\setup.exe", u"start Quillrun as administrator"},
                    400,
                    kElevationRequiredCode}),
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
