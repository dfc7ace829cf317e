// Process entry: create MainForm, show it, run its events until it closes.
#include <windows.h>
#include <commctrl.h>

#include "app/form_layout.h"
#include "win32/win32_main_window.h"
#include "win32/win32_desktop.h"
#include "win32/win32_handles.h"
#include "win32/win32_text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_HOTKEY_CLASS};
    ::InitCommonControlsEx(&controls);

    // The taskbar button's progress is a COM service.
    const quillrun::win32::ComApartment com;
    quillrun::win32::Win32Desktop desktop;
    auto window = quillrun::win32::MainWindow::Create(instance, desktop);
    if (!window) {
        constexpr quillrun::Localized kNoWindow{
            u"Quillrun could not create its window ({operation}):\n{reason}",
            u"Quillrun はウィンドウを作成できませんでした ({operation})。\n{reason}"};
        const quillrun::Failure& failure = window.failure();
        const std::u16string operation(failure.operation.begin(), failure.operation.end());
        const std::wstring text = quillrun::win32::ToWide(
            quillrun::FillIn(kNoWindow.In(desktop.DisplayLanguage()),
                             {{u"operation", operation}, {u"reason", failure.reason}}));
        ::MessageBoxW(nullptr, text.c_str(),
                      quillrun::win32::ToWide(quillrun::kWindowCaption).c_str(),
                      MB_OK | MB_ICONERROR);
        return 1;
    }
    return window.value()->Run(showCommand);
}
