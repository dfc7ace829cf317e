#include "app/main_form.h"

#include "playback/launch.h"
#include "settings/file_chooser.h"

namespace quillrun {

void MainForm::OnLoad() {
    view_.SetPathText(desktop_.AppFolder());
    settings_ = LoadSettings(desktop_);
}

void MainForm::OnUnload() {
    unloaded_ = true;
    // Nothing to tell the user on the way out: an unwritable folder keeps the old file whole.
    static_cast<void>(SaveSettings(desktop_, settings_));
}

void MainForm::OnChooseClick() {
    // A running playback keeps the file it has open; the choice is for the next run.
    ChooseTextFile(desktop_, view_);
}

void MainForm::OnStartClick() {
    auto task = LaunchTarget(desktop_, settings_.targetPath);
    if (!task) {
        view_.ShowFailure(LaunchFailureMessage(settings_.targetPath, task.failure()));
        return;
    }
    taskId_ = task.value();
}

void MainForm::OnTimerTick() {
    // Off first, so that each Start yields exactly one run, even if this one cannot begin.
    desktop_.DisableTimer();
    // The file is whatever FPath names now, not what it named at Start.
    const std::u16string path = view_.PathText();
    lastPlayback_ = PlayTextFile(desktop_, path, taskId_, [this] { return unloaded_; });
}

}  // namespace quillrun
