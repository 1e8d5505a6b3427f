#include "shell/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

// Records what the status bar would show.
class trecorder : public tprogress_view {
public:
    std::string text = "untouched";
    gauge_style style = gauge_style::plain;
    int position = -1;
    std::vector<int> positions;
    int pumps = 0;

    void show_text(const std::string& shown) override { text = shown; }
    void show_gauge(gauge_style shown_style, int shown_position) override
    {
        style = shown_style;
        position = shown_position;
        if (shown_style == gauge_style::percent)
            positions.push_back(shown_position);
    }
    void pump() override { ++pumps; }
};

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override { set_progress_view(&view); }
    void TearDown() override
    {
        progress_end();
        set_progress_view(nullptr);
    }
    trecorder view;
};

TEST(ProgressPercent, RoundsHalfToEvenAndStaysInRange)
{
    struct tcase {
        std::int32_t counter, total;
        int expected;
    };
    const tcase cases[] = {
        {1, 3, 33}, {2, 3, 67}, {3, 3, 100}, {1, 8, 12} /* 12.5 */, {3, 8, 38} /* 37.5 */,
        {1, 200, 0} /* 0.5 */, {3, 200, 2} /* 1.5 */, {5, 3, 100}, {-1, 3, 0}, {1, 0, 0}, {1, -4, 0},
        {INT32_MAX, INT32_MAX, 100}, {INT32_MAX / 2, INT32_MAX, 50},
    };
    for (const tcase& c : cases)
        EXPECT_EQ(progress_percent(c.counter, c.total), c.expected) << c.counter << " of " << c.total;
}

TEST_F(ProgressTest, OperationShowsTextGaugeAndEndsPlain)
{
    progress_begin("Filtering...");
    EXPECT_EQ(view.text, "  Filtering...");
    EXPECT_EQ(view.style, tprogress_view::gauge_style::percent);
    EXPECT_EQ(view.position, 0);
    progress_set_total(3);
    progress_step();
    progress_step();
    progress_step();
    EXPECT_EQ(view.positions, (std::vector<int>{0, 33, 67, 100}));
    EXPECT_GE(view.pumps, 3);
    progress_end();
    EXPECT_EQ(view.text, "");
    EXPECT_EQ(view.style, tprogress_view::gauge_style::plain);
}

TEST_F(ProgressTest, AddedTotalAndSetPositionCountTogether)
{
    progress_begin("Stretching...");
    progress_set_total(2);
    progress_add_total(2);
    progress_step(1);
    EXPECT_EQ(view.position, 25);
    progress_set_position(3);
    EXPECT_EQ(view.position, 75);
    progress_step(2);
    EXPECT_EQ(view.position, 100);
}

TEST_F(ProgressTest, NewOperationRestartsFromZero)
{
    progress_begin("first");
    progress_set_total(4);
    progress_step(3);
    progress_begin("second");
    progress_set_total(10);
    progress_step();
    EXPECT_EQ(view.position, 10);
}

TEST_F(ProgressTest, StepWithoutTotalShowsEmptyGauge)
{
    progress_begin("x");
    progress_step(5);
    EXPECT_EQ(view.position, 0);
}

TEST_F(ProgressTest, IndeterminateAndBack)
{
    progress_indeterminate(true);
    EXPECT_EQ(view.style, tprogress_view::gauge_style::indeterminate);
    progress_indeterminate(false);
    EXPECT_EQ(view.style, tprogress_view::gauge_style::plain);
}

TEST_F(ProgressTest, StatusTextWithAndWithoutDetail)
{
    status_text("Paint tools", "Paintbrush");
    EXPECT_EQ(view.text, "  Paint tools : Paintbrush");
    status_text("Paint tools");
    EXPECT_EQ(view.text, "  Paint tools");
}

TEST_F(ProgressTest, ScopeEndsOnEveryExitPath)
{
    try {
        tprogress_scope scope("Rotating...", 10);
        progress_step(5);
        EXPECT_EQ(view.position, 50);
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(view.text, "");
    EXPECT_EQ(view.style, tprogress_view::gauge_style::plain);
}

} // namespace
} // namespace velmora
