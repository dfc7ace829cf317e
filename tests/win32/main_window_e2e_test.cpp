// The real quillrun.exe, as a user sees it: its window, controls, keyboard and lifetime.
#include <gtest/gtest.h>

#include <vector>

#include "tests/win32/e2e_support.h"

namespace quillrun::testing {
namespace {

UINT DpiOf(HWND window) {
    const UINT dpi = ::GetDpiForWindow(window);
    return dpi == 0 ? 96 : dpi;
}

int Scaled(int pixelsAt96, UINT dpi) {
    return ::MulDiv(pixelsAt96, static_cast<int>(dpi), 96);
}

TEST(MainWindow, ShowsCaptionControlsAndLayout) {
    QuillrunInstall install;
    auto [process, window] = install.Launch();
    ASSERT_NE(window, nullptr) << "no window captioned Quillrun appeared";
    const UINT dpi = DpiOf(window);

    EXPECT_EQ(Text(window), kCaption);
    EXPECT_EQ(::GetMenu(window), nullptr);
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX) << "a fixed layout has nothing to maximize";
    EXPECT_FALSE(style & WS_THICKFRAME) << "the border must not be sizable";

    RECT client;
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, Scaled(542, dpi));
    EXPECT_EQ(client.bottom, Scaled(69, dpi));

    struct Expected {
        const wchar_t* className;
        std::wstring text;
        RECT at96;  // left, top, right, bottom
    };
    const Expected expected[] = {
        {L"Edit", install.folder(), {8, 8, 8 + 481, 8 + 25}},
        {L"Button", L"\u53C2\u7167", {496, 8, 496 + 41, 8 + 25}},
        {L"Button", L"Start", {232, 40, 232 + 73, 40 + 25}},
    };
    const std::vector<HWND> children = Children(window);
    ASSERT_EQ(children.size(), std::size(expected));
    for (std::size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(_wcsicmp(ClassName(children[i]).c_str(), expected[i].className), 0);
        EXPECT_EQ(Text(children[i]), expected[i].text);
        const RECT rect = RectInParent(children[i]);
        EXPECT_EQ(rect.left, Scaled(expected[i].at96.left, dpi));
        EXPECT_EQ(rect.top, Scaled(expected[i].at96.top, dpi));
        EXPECT_EQ(rect.right - rect.left,
                  Scaled(expected[i].at96.right - expected[i].at96.left, dpi));
        EXPECT_EQ(rect.bottom - rect.top,
                  Scaled(expected[i].at96.bottom - expected[i].at96.top, dpi));
        const auto childStyle = static_cast<DWORD>(::GetWindowLongPtrW(children[i], GWL_STYLE));
        EXPECT_TRUE(childStyle & WS_TABSTOP);
        EXPECT_TRUE(childStyle & WS_VISIBLE);
    }
}

// The pixels of `text` drawn in the system's message font, Quillrun's user-interface font.
std::vector<COLORREF> Rendered(const std::wstring& text) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
    HFONT font = ::CreateFontIndirectW(&metrics.lfMessageFont);
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    constexpr int kWidth = 64;
    constexpr int kHeight = 32;
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, kWidth, kHeight);
    HGDIOBJ oldBitmap = ::SelectObject(dc, bitmap);
    HGDIOBJ oldFont = ::SelectObject(dc, font);
    RECT all{0, 0, kWidth, kHeight};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::TextOutW(dc, 2, 2, text.c_str(), static_cast<int>(text.size()));
    std::vector<COLORREF> pixels;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            pixels.push_back(::GetPixel(dc, x, y));
        }
    }
    ::SelectObject(dc, oldFont);
    ::SelectObject(dc, oldBitmap);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(font);
    return pixels;
}

// The browse button's caption is Japanese: the user-interface font must reach a font that has
// its glyphs, whichever code page the programs before ran in, rather than draw empty boxes.
TEST(MainWindow, TheBrowseButtonCaptionRendersAsJapaneseNotAsBoxes) {
    const std::vector<COLORREF> caption = Rendered(L"\u53C2\u7167");
    const std::vector<COLORREF> boxes = Rendered(L"\uE000\uE000");  // no font has these
    const std::vector<COLORREF> blank = Rendered(L"");
    EXPECT_TRUE(caption != blank) << "nothing was drawn";
    EXPECT_TRUE(caption != boxes) << "the caption renders as two boxes";
}

TEST(MainWindow, FocusStartsInPathBoxAndTabCyclesThroughControls) {
    QuillrunInstall install;
    auto [process, launched] = install.Launch();
    // Captured by the lambdas below, which clang takes only from clang 16 on for a binding.
    const HWND window = launched;
    ASSERT_NE(window, nullptr);
    const std::vector<HWND> children = Children(window);
    ASSERT_EQ(children.size(), 3u);
    const HWND path = children[0], choose = children[1], start = children[2];

    ASSERT_TRUE(WaitUntil([&] { return FocusIn(window) == path; }))
        << "focus is not in the path box when the window is first shown";
    ASSERT_TRUE(BringToFront(window));

    struct Step {
        bool shift;
        HWND expectedFocus;
        const char* name;
    };
    const Step steps[] = {
        {false, choose, "Tab to Choose"},      {false, start, "Tab to Start"},
        {false, path, "Tab wraps to FPath"},   {true, start, "Shift+Tab to Start"},
        {true, choose, "Shift+Tab to Choose"}, {true, path, "Shift+Tab to FPath"}};
    for (const Step& step : steps) {
        PressKey(VK_TAB, step.shift);
        EXPECT_TRUE(WaitUntil([&] { return FocusIn(window) == step.expectedFocus; })) << step.name;
    }
}

// What Explorer and the system read from the file: name, version, icon, manifest.
std::wstring VersionString(const std::vector<char>& info, const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
    if (!::VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0) {
        return {};
    }
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

std::string ManifestOf(HMODULE module) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (found == nullptr) {
        return {};
    }
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    return std::string(data, ::SizeofResource(module, found));
}

TEST(MainWindow, TheExeCarriesItsNameVersionIconAndManifest) {
    QuillrunInstall install;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(install.exe().c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(install.exe().c_str(), 0, size, info.data()));
    EXPECT_EQ(VersionString(info, L"ProductName"), L"Quillrun");
    EXPECT_EQ(VersionString(info, L"FileVersion"), QUILLRUN_EXPECTED_VERSION);
    EXPECT_FALSE(VersionString(info, L"FileDescription").empty());

    HMODULE module = ::LoadLibraryExW(install.exe().c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)), nullptr)
        << "no icon group";
    HICON large =
        static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(large, nullptr);
    if (large != nullptr) {
        ::DestroyIcon(large);
    }
    const std::string manifest = ManifestOf(module);
    for (const char* entry : {"supportedOS", "PerMonitorV2", "longPathAware", "asInvoker"}) {
        EXPECT_NE(manifest.find(entry), std::string::npos) << entry;
    }
    ::FreeLibrary(module);
}

TEST(MainWindow, ClosingEndsTheProcessWithoutAsking) {
    QuillrunInstall install;
    auto [process, window] = install.Launch();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(process.WaitForExit()) << "the process still runs after its window was closed";
    EXPECT_EQ(process.ExitCode(), 0u);
}

TEST(MainWindow, TwoInstancesHaveIndependentWindows) {
    QuillrunInstall install;
    auto [first, firstWindow] = install.Launch();
    auto [second, secondWindow] = install.Launch();
    ASSERT_NE(firstWindow, nullptr);
    ASSERT_NE(secondWindow, nullptr);
    EXPECT_NE(firstWindow, secondWindow);
    EXPECT_NE(first.id(), second.id());

    ::PostMessageW(firstWindow, WM_CLOSE, 0, 0);
    ASSERT_TRUE(first.WaitForExit());
    EXPECT_TRUE(second.Running());
    EXPECT_TRUE(::IsWindowVisible(secondWindow));
    EXPECT_EQ(Text(Children(secondWindow).at(0)), install.folder());
}

TEST(MainWindow, AtDriveRootPathBoxShowsRootWithBackslash) {
    // The system drive's root is the one root a test may write to without asking.
    wchar_t windowsFolder[MAX_PATH];
    ::GetWindowsDirectoryW(windowsFolder, MAX_PATH);
    const std::wstring root = std::wstring(windowsFolder).substr(0, 3);  // e.g. "C:\"
    const std::wstring exe = root + L"quillrun-e2e-root.exe";
    ASSERT_TRUE(CopyInto(BuildBinFolder() + L"\\quillrun.exe", exe));
    {
        Process process = Process::Start(L"\"" + exe + L"\"", root);
        HWND window = WaitForWindow(process.id(), kCaption);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(Text(Children(window).at(0)), root);
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(process.WaitForExit());
    }
    ::DeleteFileW(exe.c_str());
    ::DeleteFileW((root + L"quillrun.ini").c_str());
}

}  // namespace
}  // namespace quillrun::testing
