// MainForm's controls held in memory.
#pragma once

#include <string>
#include <vector>

#include "app/form_view.h"

namespace quillrun {

class FakeView final : public FormView {
  public:
    [[nodiscard]] std::u16string PathText() const override { return path; }
    void SetPathText(std::u16string_view text) override { path = text; }
    void SetCaption(std::u16string_view text) override { caption = text; }
    void ShowFailure(std::u16string_view message) override { failures.emplace_back(message); }
    void ShowProgress(TaskbarProgress state, std::uint64_t done, std::uint64_t total) override {
        progress.push_back({state, done, total});
    }
    void FlashTaskbarButton() override { ++flashes; }

    struct Progress {
        TaskbarProgress state;
        std::uint64_t done;
        std::uint64_t total;
        friend bool operator==(const Progress&, const Progress&) = default;
    };

    std::u16string path;
    std::u16string caption = u"Quillrun";
    std::vector<std::u16string> failures;
    std::vector<Progress> progress;
    int flashes = 0;
};

}  // namespace quillrun
