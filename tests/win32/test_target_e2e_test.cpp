// The test target must report faithfully what it was typed, or every typing test lies.
#include <gtest/gtest.h>

#include "tests/target/test_target_protocol.h"
#include "tests/win32/e2e_support.h"

namespace quillrun::testing {
namespace {

struct TargetMode {
    const char* name;
    const wchar_t* arguments;
};

class TestTarget : public ::testing::TestWithParam<TargetMode> {};

TEST_P(TestTarget, RecordsWhatIsTypedAndDumpsOnRequestAndAtClose) {
    TempFolder folder;
    const std::wstring out = folder / L"typed.bin";
    Process target = Process::Start(L"\"" + BuildBinFolder() + L"\\qr_target.exe\" --out \"" + out +
                                    L"\" " + GetParam().arguments);
    HWND window = WaitForWindow(target.id(), kTargetTitle);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(BringToFront(window));

    TypeUnicode(L"h\u00E9{+}\u65E5");
    PressKey(VK_RETURN);
    PressKey('X', /*shift=*/true);
    const LRESULT expectedChars = 8;  // h é { + } 日, Enter's carriage return, then X
    ASSERT_TRUE(WaitUntil([&] {
        return ::SendMessageW(window, kCharCountMessage, 0, 0) >= expectedChars;
    })) << "chars seen: "
        << ::SendMessageW(window, kCharCountMessage, 0, 0);

    ASSERT_EQ(::SendMessageW(window, kDumpMessage, 0, 0), 1);
    EXPECT_EQ(Utf16LeText(ReadBytes(out)), L"h\u00E9{+}\u65E5\r\nX");
    const std::string events = ReadBytes(out + L".events");
    EXPECT_NE(events.find("KEYDOWN vk=0D scan=01C"), std::string::npos) << events;
    EXPECT_NE(events.find("KEYDOWN vk=10"), std::string::npos) << "shift not recorded";

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(target.WaitForExit());
    EXPECT_EQ(Utf16LeText(ReadBytes(out)), L"h\u00E9{+}\u65E5\r\nX");
}

INSTANTIATE_TEST_SUITE_P(Modes, TestTarget,
                         ::testing::Values(TargetMode{"OwnBuffer", L""},
                                           TargetMode{"EditControl", L"--edit"}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quillrun::testing
