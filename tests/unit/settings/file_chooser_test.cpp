#include "settings/file_chooser.h"

#include <gtest/gtest.h>

#include "app/main_form.h"
#include "text/dialog_filter.h"
#include "tests/fake/fake_desktop.h"
#include "tests/fake/fake_view.h"

namespace quillrun {
namespace {

TEST(FileFilter, TheDialogsFilterHasTwoEntriesTextFilesFirst) {
    EXPECT_EQ(kTextFileFilter.size(), 41u);
    const std::vector<FileTypeFilter> expected = {
        {u"\uFF83\uFF77\uFF7D\uFF84\uFF8C\uFF67\uFF72\uFF99 (*.txt)", u"*.txt"},
        {u"\u3059\u3079\u3066\u306E\uFF8C\uFF67\uFF72\uFF99 (*.*)", u"*.*"},
    };
    EXPECT_EQ(ParseFileFilter(kTextFileFilter), expected);
}

TEST(FileFilter, SplitsPairsAndDropsANameWithoutPattern) {
    const struct {
        std::u16string filter;
        std::vector<FileTypeFilter> entries;
    } cases[] = {
        {u"", {}},
        {u"Text|*.txt", {{u"Text", u"*.txt"}}},
        {u"Text|*.txt|Orphan", {{u"Text", u"*.txt"}}},
        {u"A|*.a;*.b|B|*.*", {{u"A", u"*.a;*.b"}, {u"B", u"*.*"}}},
        {u"|*.x", {{u"", u"*.x"}}},
        {u"Name|", {{u"Name", u""}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseFileFilter(c.filter), c.entries)
            << std::string(c.filter.begin(), c.filter.end());
    }
}

TEST(FileFilter, TheSystemGetsNullSeparatedEntriesWithANullAtTheEnd) {
    const std::vector<FileTypeFilter> entries = ParseFileFilter(u"Text (*.txt)|*.txt|All|*.*");
    const std::u16string expected(u"Text (*.txt)\0*.txt\0All\0*.*\0\0", 28);
    EXPECT_EQ(SystemFilterString(entries), expected);
    EXPECT_EQ(SystemFilterString({}), std::u16string(1, u'\0'));
}

class Choose : public ::testing::Test {
  protected:
    Choose() {
        form.OnLoad();
        view.path = u"C:\\typed by hand.txt";
    }
    FakeDesktop desktop;
    FakeView view;
    MainForm form{desktop, view};
};

TEST_F(Choose, AChosenFileReplacesWhatThePathBoxHeld) {
    desktop.QueueDialogAnswer(std::u16string(u"D:\\Texts\\chosen.txt"));
    form.OnChooseClick();
    EXPECT_EQ(view.path, u"D:\\Texts\\chosen.txt");
    // The dialog gets the two file types and nothing taken from the path box.
    ASSERT_EQ(desktop.CallsOf("AskFileToOpen").size(), 1u);
    EXPECT_EQ(desktop.CallsOf("AskFileToOpen")[0].argument.find(u"typed by hand"),
              std::u16string::npos);
    EXPECT_TRUE(view.failures.empty());
}

TEST_F(Choose, CancelOrFailureKeepsThePathBoxSilently) {
    form.OnChooseClick();  // the fake cancels when no answer is queued
    desktop.QueueDialogAnswer(Failure{"AskFileToOpen", u"The buffer is too small.", 0x3003});
    form.OnChooseClick();
    desktop.FailNext("AskFileToOpen", Failure{"AskFileToOpen", u"Out of memory.", 2});
    form.OnChooseClick();
    desktop.QueueDialogAnswer(std::u16string());
    form.OnChooseClick();
    EXPECT_EQ(view.path, u"C:\\typed by hand.txt");
    EXPECT_TRUE(view.failures.empty());
    EXPECT_EQ(desktop.CallsOf("AskFileToOpen").size(), 4u);
}

// The browse button during a run: its dialog would open inside the run's wait, so the click
// only stops the run (see the main form's table); the next click opens it.
TEST_F(Choose, ChoosingDuringARunOnlyStopsItAndOpensNoDialog) {
    desktop.onTick = [this] { form.OnTimerTick(); };
    desktop.PutFile(u"C:\\a.txt", "ab\r\ncd");
    view.path = u"C:\\a.txt";
    form.OnStartClick();
    desktop.QueueDialogAnswer(std::u16string(u"C:\\b.txt"));
    bool chosen = false;
    desktop.onPump = [&] {
        if (!std::exchange(chosen, true)) {
            form.OnChooseClick();
        }
    };
    desktop.Advance(Milliseconds{1500});
    std::u16string typed;
    for (const auto& call : desktop.CallsOf("SendKeyString")) {
        typed += call.argument;
    }
    EXPECT_EQ(typed, u"ab\r\n");
    EXPECT_EQ(form.LastPlayback(), PlaybackEnd::StoppedByClick);
    EXPECT_TRUE(desktop.CallsOf("AskFileToOpen").empty());
    EXPECT_EQ(view.path, u"C:\\a.txt");
    form.OnChooseClick();
    EXPECT_EQ(view.path, u"C:\\b.txt");
}

}  // namespace
}  // namespace quillrun
