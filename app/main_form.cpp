#include "app/main_form.h"

namespace quillrun {

void MainForm::OnLoad() {
    view_.SetPathText(desktop_.AppFolder());
}

void MainForm::OnUnload() {}

void MainForm::OnChooseClick() {}

void MainForm::OnStartClick() {}

void MainForm::OnTimerTick() {}

}  // namespace quillrun
