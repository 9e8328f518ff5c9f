// The frame-time report (--profile): its figures, and whole runs writing it.
#include <gtest/gtest.h>

#include "player/profile.h"
#include "support/minishow.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

TEST(ProfileFigures, MedianAndNearestRankPercentile) {
    const struct {
        std::vector<double> values;
        double median, p99, p50;
    } cases[] = {
        {{}, 0, 0, 0},
        {{5}, 5, 5, 5},
        {{3, 1}, 2, 3, 1},
        {{9, 1, 5}, 5, 9, 5},
        {{4, 1, 3, 2}, 2.5, 4, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(profMedian(c.values), c.median) << c.values.size();
        EXPECT_EQ(profPercentile(c.values, 99), c.p99) << c.values.size();
        EXPECT_EQ(profPercentile(c.values, 50), c.p50) << c.values.size();
    }
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);
    EXPECT_EQ(profPercentile(hundred, 99), 99);
    EXPECT_EQ(profPercentile(hundred, 100), 100);
    EXPECT_EQ(profMedian(hundred), 50.5);
}

TEST(ProfileFigures, TheSummaryHasTheShowEachPartAndTheTenSlowestFrames) {
    std::vector<ProfileFrame> frames;
    for (int i = 1; i <= 14; ++i)
        frames.push_back({i, (i - 1) * 100, i <= 2 ? 0 : (i <= 8 ? 3 : 7), i <= 2 ? -1 : (i <= 8 ? 2 : 5),
                          i == 5 ? 40.0 : (double)i, 0.5});
    frames[9].drawms = 40.0;  // a tie with frame 5: the earlier frame first
    std::vector<std::string> lines = SplitLines(profSummary(frames));
    ASSERT_EQ(lines.size(), 1u + 4 + 1 + 10);
    EXPECT_EQ(lines[0], "draw_ms   frames    median       p99       max");
    EXPECT_EQ(lines[1], "show          14      8.50     40.00     40.00");
    EXPECT_EQ(lines[2], "no part        2      1.50      2.00      2.00");
    EXPECT_EQ(lines[3], "part 3         6      6.50     40.00     40.00");
    EXPECT_EQ(lines[4], "part 7         6     12.50     40.00     40.00");
    EXPECT_EQ(lines[5], "slowest frames:");
    EXPECT_EQ(lines[6], "  frame 5  show 400 ms  part 3  entry 2  draw 40.00 ms  present 0.50 ms");
    EXPECT_EQ(lines[7], "  frame 10  show 900 ms  part 7  entry 5  draw 40.00 ms  present 0.50 ms");
    EXPECT_EQ(lines[8], "  frame 14  show 1300 ms  part 7  entry 5  draw 14.00 ms  present 0.50 ms");
    EXPECT_EQ(lines[15], "  frame 6  show 500 ms  part 3  entry 2  draw 6.00 ms  present 0.50 ms");
}

// Columns of a profile line.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    size_t from = 0;
    for (size_t c; (c = line.find(',', from)) != std::string::npos; from = c + 1) out.push_back(line.substr(from, c - from));
    out.push_back(line.substr(from));
    return out;
}

TEST(ProfileRun, EachPresentedFrameIsALineMeasuredAfterTheGlFinishes) {
    ShowHome home;
    PutMiniShow(home);
    std::string csv = home.path("frames.csv");
    ShowRun r = RunShow(home, {.step = 1000, .args = {"--profile", csv}, .recordGl = true, .fakeWm = true});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> lines = SplitLines(ReadFileText(csv));
    ASSERT_EQ(lines.size(), 251u);
    EXPECT_EQ(lines[0], "frame,show_ms,part,entry,draw_ms,present_ms");
    for (int k = 1; k <= 250; ++k) {
        std::vector<std::string> f = Fields(lines[k]);
        ASSERT_EQ(f.size(), 6u) << lines[k];
        // The miniature timeline: part n from (n - 1) s on, part 9 to the end.
        int part = std::min(k, 9);
        EXPECT_EQ(f[0] + "," + f[1] + "," + f[2] + "," + f[3],
                  std::to_string(k) + "," + std::to_string((k - 1) * 1000) + "," + std::to_string(part) + "," +
                      std::to_string(part - 1));
        EXPECT_GE(std::stod(f[4]), 0);
        EXPECT_GE(std::stod(f[5]), 0);
    }
    // The GL finishes each frame right before it is presented.
    int finishes = 0, presents = 0;
    for (size_t i = FindLine(r.trace, "--- playing..."), n = 0; n < r.trace.size(); ++n)
        if (r.trace[n] == "wmUpdate" && n > 0 && (int)n > (int)i) {
            presents++;
            finishes += r.trace[n - 1] == "glFinish()";
        }
    EXPECT_EQ(CountLines(r.trace, "glFinish()"), 250);
    EXPECT_EQ(finishes, 250);
    EXPECT_GE(presents, 250);
    std::vector<std::string> out = SplitLines(r.out);
    ASSERT_EQ(out.size(), 1u + 1 + 1 + 9 + 1 + 10);
    EXPECT_EQ(out[0], "profile: 250 frames written to " + csv);
    EXPECT_EQ(out[2].substr(0, 16), "show         250");
    EXPECT_EQ(out[3].substr(0, 16), "part 1         1");
    EXPECT_EQ(out[11].substr(0, 16), "part 9       242");
    EXPECT_EQ(out[12], "slowest frames:");
}

TEST(ProfileRun, WithoutTheOptionTheGlIsNeverAskedToFinish) {
    ShowHome home;
    PutMiniShow(home);
    ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(CountLines(r.trace, "glFinish()"), 0);
    EXPECT_EQ(r.out, "");
}

TEST(ProfileRun, AFileThatCannotBeWrittenIsRefusedBeforeTheShowStarts) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"--profile", "/nonexistent/folder/p.csv"},
         "vexil2: cannot write the profile /nonexistent/folder/p.csv: No such file or directory\n"},
        {{"--profile="}, "vexil2: --profile needs a file name\n"},
        {{"--profile"}, "vexil2: --profile needs a value (see --help)\n"},
    };
    for (const auto& c : cases) {
        ShowHome home;
        PutMiniShow(home);
        ShowRun r = RunShow(home, {.step = 1000, .args = c.args, .fakeWm = true});
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(FindLine(r.log, "[init] --- subsystems"), -1);
    }
}

}  // namespace
