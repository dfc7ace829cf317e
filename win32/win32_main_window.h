// MainForm's real window: creates the controls, lays them out for the window's DPI and routes
// window events to MainForm's handlers.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <memory>

#include "app/form_view.h"
#include "app/main_form.h"
#include "desktop/result.h"
#include "win32/win32_desktop.h"
#include "win32/win32_handles.h"

namespace quillrun::win32 {

class MainWindow final : public FormView {
  public:
    // Creates the window and its controls and runs the load handler; the window is not shown.
    static Result<std::unique_ptr<MainWindow>> Create(HINSTANCE instance, Win32Desktop& desktop);
    ~MainWindow() override;

    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Shows the window with the keyboard focus in FPath, then runs the message loop until the
    // window is gone; returns the process exit code.
    int Run(int showCommand);

    [[nodiscard]] std::u16string PathText() const override;
    void SetPathText(std::u16string_view text) override;
    void SetCaption(std::u16string_view caption) override;
    void ShowFailure(std::u16string_view message) override;
    void ShowProgress(TaskbarProgress state, std::uint64_t done, std::uint64_t total) override;
    void FlashTaskbarButton() override;

  private:
    MainWindow(HINSTANCE instance, Win32Desktop& desktop);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    [[nodiscard]] Status CreateControls();
    // Sizes the window and its controls for `dpi`; the window takes `suggested` (the rectangle
    // the system proposes on a change of DPI) when given.
    void ApplyLayout(UINT dpi, const RECT* suggested = nullptr);
    void OnCommand(int controlId, int notification);
    // Start's menu, opened below the button (and never over it), as its arrow was clicked or
    // the keyboard opened it.
    void ShowStartMenu(const RECT& buttonOnScreen);

    HINSTANCE instance_;
    Win32Desktop& desktop_;
    MainForm form_;
    HWND window_ = nullptr;
    HWND path_ = nullptr;
    HWND choose_ = nullptr;
    HWND start_ = nullptr;
    HWND lastFocus_ = nullptr;  // restored when the window is activated again
    UniqueGdiObject font_;
    UniqueCom<ITaskbarList3> taskbar_;  // made at the first progress to show
    bool taskbarTried_ = false;
    // The progress last shown, shown again on a taskbar made anew (Explorer restarted).
    TaskbarProgress progressState_ = TaskbarProgress::Off;
    std::uint64_t progressDone_ = 0;
    std::uint64_t progressTotal_ = 0;
};

}  // namespace quillrun::win32
