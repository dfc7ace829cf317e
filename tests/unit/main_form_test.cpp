#include "app/main_form.h"

#include <gtest/gtest.h>

#include "desktop/fake_desktop.h"
#include "tests/unit/fake_view.h"

namespace quillrun {
namespace {

class MainFormTest : public ::testing::Test {
  protected:
    FakeDesktop desktop;
    FakeView view;
    MainForm form{desktop, view};
};

TEST_F(MainFormTest, StartsWithNothingLaunchedAndTimerOff) {
    EXPECT_EQ(form.TaskID(), TaskId{});
    EXPECT_FALSE(desktop.TimerEnabled());
}

TEST_F(MainFormTest, LoadPutsApplicationFolderIntoPathBox) {
    for (const std::u16string folder : {u"C:\\Tools\\Quillrun", u"C:\\", u"\\\\server\\share"}) {
        desktop.appFolder = folder;
        view.path = u"left over";
        form.OnLoad();
        EXPECT_EQ(view.path, folder);
    }
    EXPECT_FALSE(desktop.TimerEnabled()) << "loading must not arm the timer";
}

}  // namespace
}  // namespace quillrun
