// MainForm's state and its event handlers, free of any window system: the Win32 window routes its
// events here, and tests drive the same handlers through the fake desktop.
#pragma once

#include <optional>
#include <string>

#include "app/form_view.h"
#include "desktop/desktop_services.h"
#include "playback/text_playback.h"
#include "settings/settings_file.h"

namespace quillrun {

class MainForm {
  public:
    MainForm(DesktopServices& desktop, FormView& view) : desktop_(desktop), view_(view) {}
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    // Before the window is first shown: FPath starts with the application folder, and the
    // target program comes from the settings file.
    void OnLoad();
    // When the window closes: the settings are saved. Closing is never cancelled, and a failure
    // to save does not stop it.
    void OnUnload();
    void OnChooseClick();
    void OnStartClick();
    // The delayed start: types the file named in FPath now into the program launched last.
    void OnTimerTick();
    // The window came to the front: a message held back while the user was elsewhere is shown.
    void OnActivated();

    [[nodiscard]] const std::u16string& TargetPath() const { return settings_.targetPath; }
    [[nodiscard]] TaskId TaskID() const { return taskId_; }
    // How the most recent run ended, once one has.
    [[nodiscard]] std::optional<PlaybackEnd> LastPlayback() const { return lastPlayback_; }

  private:
    DesktopServices& desktop_;
    FormView& view_;
    TaskId taskId_{};
    Settings settings_{.targetPath = {}, .encoding = TextEncoding::Ansi};
    bool unloaded_ = false;  // a running playback stops once the window has closed
    std::optional<PlaybackEnd> lastPlayback_;
    std::uint64_t starts_ = 0;  // successful Start clicks: a newer one supersedes a run
    // How the last run fell short, while the user is in another window.
    std::optional<std::u16string> heldMessage_;
};

}  // namespace quillrun
