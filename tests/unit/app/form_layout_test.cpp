#include "app/form_layout.h"

#include <gtest/gtest.h>

namespace quillrun {
namespace {

struct DpiCase {
    int dpi;
    Size client;
    Rect path;
    Rect choose;
    Rect start;
};

class FormLayoutAtDpi : public ::testing::TestWithParam<DpiCase> {};

TEST_P(FormLayoutAtDpi, ConvertsDesignedTwipsToRoundedPixels) {
    const DpiCase& c = GetParam();
    EXPECT_EQ(TwipsToPixels(kClientTwips, c.dpi), c.client);
    EXPECT_EQ(TwipsToPixels(kControls[0].twips, c.dpi), c.path);
    EXPECT_EQ(TwipsToPixels(kControls[1].twips, c.dpi), c.choose);
    EXPECT_EQ(TwipsToPixels(kControls[2].twips, c.dpi), c.start);
}

// Figures worked out by hand from twips x dpi / 1440, halves rounded up.
INSTANTIATE_TEST_SUITE_P(
    Dpis, FormLayoutAtDpi,
    ::testing::Values(
        DpiCase{96, {542, 69}, {8, 8, 481, 25}, {496, 8, 41, 25}, {232, 40, 73, 25}},
        DpiCase{120, {678, 86}, {10, 10, 601, 31}, {620, 10, 51, 31}, {290, 50, 91, 31}},
        DpiCase{144, {813, 104}, {12, 12, 722, 38}, {744, 12, 62, 38}, {348, 60, 110, 38}},
        DpiCase{192, {1084, 138}, {16, 16, 962, 50}, {992, 16, 82, 50}, {464, 80, 146, 50}}),
    [](const auto& p) { return "dpi" + std::to_string(p.param.dpi); });

TEST(FormLayout, NegativeTwipsRoundAwayFromZeroLikeMulDiv) {
    EXPECT_EQ(TwipsToPixels(-7215, 144), -722);
    EXPECT_EQ(TwipsToPixels(-7, 96), 0);
    EXPECT_EQ(TwipsToPixels(0, 192), 0);
}

}  // namespace
}  // namespace quillrun
