// Every end-to-end test fails at once, before anything is typed, when the window in front is not
// one of its own (see OwnWindowInFront).
#include <gtest/gtest.h>

#include "tests/win32/e2e_support.h"

namespace quillrun::testing {
namespace {

const bool kGuarded = [] {
    OnForeignWindowInFront([](const std::wstring& caption) {
        ADD_FAILURE() << "another program's window is in front (\"" << Narrow(caption)
                      << "\"): nothing was typed";
    });
    return true;
}();

}  // namespace
}  // namespace quillrun::testing
