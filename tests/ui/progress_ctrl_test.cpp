// The progress bar adapter: the range and position the archive code gives it,
// and what Qt is asked to draw for them.
#include <gtest/gtest.h>

#include <functional>

#include "qt_progress_bar.h"

namespace {

TEST(ProgressCtrl, KeepsPositionInsideRangeAndDrawsEmptyRangeAsEmptyBar)
{
    const struct {
        const char* label;
        std::function<void(CProgressCtrl&)> calls;
        int low, high, pos;            // what it keeps
        int qtMin, qtMax, qtValue;     // what Qt draws
    } rows[] = {
        {"starts at 0 of 0..100", [](CProgressCtrl&) {}, 0, 100, 0, 0, 100, 0},
        {"empty range", [](CProgressCtrl& p) { p.SetRange32(0, 0); }, 0, 0, 0, 0, 1, 0},
        {"steps", [](CProgressCtrl& p) { p.SetRange32(0, 7); p.SetPos(3); }, 0, 7, 3, 0, 7, 3},
        {"above the range", [](CProgressCtrl& p) { p.SetRange32(0, 10); p.SetPos(12); }, 0, 10, 10, 0, 10, 10},
        {"below the range", [](CProgressCtrl& p) { p.SetRange32(5, 10); p.SetPos(2); }, 5, 10, 5, 5, 10, 5},
        {"narrowed range pulls the position in",
         [](CProgressCtrl& p) { p.SetRange32(0, 10); p.SetPos(8); p.SetRange32(0, 4); }, 0, 4, 4, 0, 4, 4},
        {"upside-down range", [](CProgressCtrl& p) { p.SetRange32(0, -5); p.SetPos(-9); }, 0, -5, -5, 0, 1, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        CProgressCtrl progress;
        row.calls(progress);
        int low = 0;
        int high = 0;
        progress.GetRange(low, high);
        EXPECT_EQ((std::vector<int>{low, high, progress.GetPos()}), (std::vector<int>{row.low, row.high, row.pos}));
        EXPECT_EQ((std::vector<int>{progress.minimum(), progress.maximum(), progress.value()}),
                  (std::vector<int>{row.qtMin, row.qtMax, row.qtValue}));
        EXPECT_FALSE(progress.isTextVisible());
    }
}

} // namespace
