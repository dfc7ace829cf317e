// Expectations that end-to-end tests share (the helpers themselves need no GoogleTest).
#pragma once

#include <gtest/gtest.h>

#include "tests/win32/e2e_support.h"

namespace quillrun::testing {

// Waits until the target holds `expected` (it must start first); then it must hold exactly that.
inline void ExpectTyped(TargetProgram& target, const std::wstring& expected,
                        Clock::duration timeout = kUiTimeout) {
    ASSERT_NE(target.WaitForWindow(), nullptr) << "the target did not start";
    EXPECT_EQ(WaitForTyped(target, expected, timeout), expected);
}

// A file and what the test target must hold once Quillrun has typed it (every Enter as CR LF).
// The test that types it is defined once; suites of files instantiate it where they belong.
struct CorpusCase {
    const char* name;
    std::string bytes;
    std::wstring typed;
};

class TypesTheFile : public ::testing::TestWithParam<CorpusCase> {};

}  // namespace quillrun::testing
