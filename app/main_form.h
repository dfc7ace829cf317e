// MainForm's state and its event handlers, free of any window system: the Win32 window routes its
// events here, and tests drive the same handlers through the fake desktop.
#pragma once

#include <string>

#include "app/form_view.h"
#include "desktop/desktop_services.h"

namespace quillrun {

class MainForm {
  public:
    MainForm(DesktopServices& desktop, FormView& view) : desktop_(desktop), view_(view) {}
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    // Before the window is first shown: FPath starts with the application folder.
    void OnLoad();
    // When the window closes; closing is never cancelled.
    void OnUnload();
    void OnChooseClick();
    void OnStartClick();
    void OnTimerTick();

    [[nodiscard]] const std::u16string& TargetPath() const { return targetPath_; }
    [[nodiscard]] TaskId TaskID() const { return taskId_; }

  private:
    DesktopServices& desktop_;
    FormView& view_;
    TaskId taskId_{};
    std::u16string targetPath_;
};

}  // namespace quillrun
