#include "app/main_form.h"

#include "playback/launch.h"

namespace quillrun {

void MainForm::OnLoad() {
    view_.SetPathText(desktop_.AppFolder());
    settings_ = LoadSettings(desktop_);
}

void MainForm::OnUnload() {
    // Nothing to tell the user on the way out: an unwritable folder keeps the old file whole.
    static_cast<void>(SaveSettings(desktop_, settings_));
}

void MainForm::OnChooseClick() {}

void MainForm::OnStartClick() {
    auto task = LaunchTarget(desktop_, settings_.targetPath);
    if (!task) {
        view_.ShowFailure(LaunchFailureMessage(settings_.targetPath, task.failure()));
        return;
    }
    taskId_ = task.value();
}

void MainForm::OnTimerTick() {}

}  // namespace quillrun
