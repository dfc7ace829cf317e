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
    void ShowFailure(std::u16string_view message) override { failures.emplace_back(message); }

    std::u16string path;
    std::vector<std::u16string> failures;
};

}  // namespace quillrun
