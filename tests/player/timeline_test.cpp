#include <gtest/gtest.h>

#include "player/timeline.h"
#include "support/support.h"

namespace {

// One line in the file's fixed columns.
std::string Line(const char* label, int start, int part, int offset, float p1, float p2, float p3 = 0,
                 float p4 = 0, float p5 = 0) {
    char b[128];
    snprintf(b, sizeof b, "%-17.17s%6d %2d %7d %8.3f %7.3f %7.3f %7.3f %7.3f\n", label, start, part, offset, p1, p2,
             p3, p4, p5);
    return b;
}

Timeline Parse(const std::string& text) {
    Timeline tl{};
    ParseTimeline(tl, text.data(), text.size());
    return tl;
}

TEST(Timeline, ColumnsAreReadWhereTheFormatPutsThem) {
    Timeline tl = Parse(Line("intro", 1500, 3, -60000, 40, 2.5f, 1, 2, 3));
    ASSERT_EQ(tl.count, 1);
    const TimelineEntry& e = tl.entries[0];
    EXPECT_EQ(e.start, 1500);
    EXPECT_EQ(e.part, 3);
    EXPECT_EQ(e.offset, -60000);
    EXPECT_FLOAT_EQ(e.p1, 40);
    EXPECT_FLOAT_EQ(e.p2, 2.5f);
    EXPECT_FLOAT_EQ(e.p3, 1);
    EXPECT_FLOAT_EQ(e.p5, 3);
    EXPECT_EQ(tl.entries[1].start, TimelineSentinel);
    FreeTimeline(tl);
}

TEST(Timeline, EntriesAreSortedByStartAndTiesKeepFileOrder) {
    std::string text = Line("c", 60000, 5, 0, 1, 1) + Line("a", 0, 2, 0, 1, 1) + Line("tie1", 30000, 7, 0, 1, 1) +
                       Line("tie2", 30000, 8, 0, 1, 1) + Line("b", 10000, 4, 0, 1, 1);
    Timeline tl = Parse(text);
    ASSERT_EQ(tl.count, 5);
    int parts[5];
    for (int i = 0; i < 5; ++i) parts[i] = tl.entries[i].part;
    EXPECT_EQ(std::vector<int>(parts, parts + 5), (std::vector<int>{2, 4, 7, 8, 5}));
    // Two entries with the same start: the later one in the file runs.
    EXPECT_EQ(tl.entries[TimelineLookup(tl, 30000)].part, 8);
    EXPECT_EQ(tl.entries[TimelineLookup(tl, 59999)].part, 8);
    FreeTimeline(tl);
}

TEST(Timeline, LookupFollowsTheStarts) {
    Timeline tl = Parse(Line("p2", 0, 2, 0, 1, 1) + Line("p5", 60000, 5, 0, 1, 1));
    EXPECT_EQ(tl.entries[TimelineLookup(tl, 59999)].part, 2);
    EXPECT_EQ(tl.entries[TimelineLookup(tl, 60000)].part, 5);
    EXPECT_EQ(tl.entries[TimelineLookup(tl, 99999998)].part, 5);
    EXPECT_EQ(TimelineLookup(tl, 99999999), -1);  // the sentinel ends the last entry
    EXPECT_EQ(TimelineLookup(tl, -1), -1);        // before the first start
    FreeTimeline(tl);
    Timeline empty = Parse("");
    EXPECT_EQ(empty.count, 0);
    EXPECT_EQ(TimelineLookup(empty, 0), -1);
    FreeTimeline(empty);
}

TEST(Timeline, CommentsAndNonEntriesAreSkipped) {
    std::string text = "# a comment with 12345 in column 18..\n";
    text += "\n";
    text += "short line\n";
    text += Line("zero", 100, 0, 0, 1, 1);
    text += Line("neg", 200, -1, 0, 1, 1);
    std::string bad = Line("bad", 300, 1, 0, 1, 1);
    bad[24] = 'x';  // part field "x1"
    text += bad;
    text += Line("ok", 400, 12, 0, 1, 1);  // above 9: an entry that draws nothing
    Timeline tl = Parse(text);
    ASSERT_EQ(tl.count, 1);
    EXPECT_EQ(tl.entries[0].part, 12);
    FreeTimeline(tl);
}

TEST(Timeline, ShortLinesReadOnlyWhatTheyHold) {
    // Ends right after the part field: the rest reads as 0.
    std::string text = std::string(17, ' ') + "  1000  4\n";
    Timeline tl = Parse(text);
    ASSERT_EQ(tl.count, 1);
    EXPECT_EQ(tl.entries[0].start, 1000);
    EXPECT_EQ(tl.entries[0].part, 4);
    EXPECT_EQ(tl.entries[0].offset, 0);
    EXPECT_EQ(tl.entries[0].p1, 0);
    FreeTimeline(tl);
    // Cut inside the part field: one digit still reads.
    Timeline t2 = Parse(std::string(17, ' ') + "  1000  \n" + std::string(17, ' ') + "  2000 3");
    ASSERT_EQ(t2.count, 1);
    EXPECT_EQ(t2.entries[0].part, 3);
    FreeTimeline(t2);
}

TEST(Timeline, LongLinesAreCutAt255AndCrLfIsAccepted) {
    std::string l = Line("long", 5000, 6, 10, 2, 3);
    l.pop_back();
    l += std::string(400, '9') + "\r\n";
    std::string crlf = Line("crlf", 7000, 1, 0, 4, 5);
    crlf.insert(crlf.size() - 1, "\r");
    Timeline tl = Parse(l + crlf);
    ASSERT_EQ(tl.count, 2);
    EXPECT_EQ(tl.entries[0].part, 6);
    EXPECT_FLOAT_EQ(tl.entries[1].p2, 5);
    FreeTimeline(tl);
}

TEST(Timeline, MalformedNumbersReadAsZero) {
    std::string l = Line("m", 100, 2, 5, 1.5f, 2);
    l.replace(35, 8, "  1.5abc");
    l.replace(17, 6, "  1x00");
    Timeline tl = Parse(l);
    ASSERT_EQ(tl.count, 1);
    EXPECT_EQ(tl.entries[0].start, 0);
    EXPECT_EQ(tl.entries[0].p1, 0);
    EXPECT_FLOAT_EQ(tl.entries[0].p2, 2);
    FreeTimeline(tl);
}

namespace {
std::vector<std::vector<float>> g_ran;
void recordPart(int32_t offset, float p1, float p2, float p3, float p4, float p5) {
    g_ran.push_back({(float)offset, p1, p2, p3, p4, p5});
}
}  // namespace

TEST(Timeline, DispatchRunsOnlyParts1To9) {
    DemoPartProc saved[9];
    std::copy(DemoParts, DemoParts + 9, saved);
    std::fill(DemoParts, DemoParts + 9, nullptr);
    DemoParts[4] = recordPart;
    g_ran.clear();
    TimelineDispatch(TimelineEntry{0, 5, -7, 1, 2, 3, 4, 5});
    TimelineDispatch(TimelineEntry{0, 4, 0, 1, 1, 1, 1, 1});   // nothing answers
    TimelineDispatch(TimelineEntry{0, 10, 0, 1, 1, 1, 1, 1});  // out of range
    TimelineDispatch(TimelineEntry{0, 0, 0, 1, 1, 1, 1, 1});
    ASSERT_EQ(g_ran.size(), 1u);
    EXPECT_EQ(g_ran[0], (std::vector<float>{-7, 1, 2, 3, 4, 5}));
    std::copy(saved, saved + 9, DemoParts);
}

TEST(Timeline, MissingFileIsARunTimeError) {
    ThrowOnFailure guard;
    Timeline tl{};
    try {
        ReadTimeline(tl, "/nonexistent/timeline.cfg");
        FAIL() << "no error";
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailRunError);
        EXPECT_EQ(f.code, 2);  // file not found
    }
}

}  // namespace
