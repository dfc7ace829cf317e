// MainForm's controls held in memory.
#pragma once

#include <string>

#include "app/form_view.h"

namespace quillrun {

class FakeView final : public FormView {
  public:
    [[nodiscard]] std::u16string PathText() const override { return path; }
    void SetPathText(std::u16string_view text) override { path = text; }

    std::u16string path;
};

}  // namespace quillrun
