// The one rule for reading whole files, and the printable form of bytes
// from files in messages; what the program and velmar say with them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "support/minishow.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

struct Files : ::testing::Test {
    std::string dir;
    void SetUp() override {
        dir = MakeTempDir("files");
        WriteFile(dir + "/plain", "abc");
        mkdir((dir + "/folder").c_str(), 0755);
        mkfifo((dir + "/pipe").c_str(), 0644);
        symlink("/dev/zero", (dir + "/zero").c_str());
        WriteFile(dir + "/huge", "");
        EXPECT_EQ(truncate((dir + "/huge").c_str(), (2LL << 30) + 1), 0);  // sparse: no disk taken
        symlink("loop2", (dir + "/loop1").c_str());
        symlink("loop1", (dir + "/loop2").c_str());
    }
    void TearDown() override { RemoveTree(dir); }
};

// Guards unbounded reads: a 64 GB sparse file or /dev/zero ate memory until
// an uncaught bad_alloc, a named pipe blocked the program for ever.
TEST_F(Files, OnlyRegularFilesUpTo1GiBAreReadAndEveryRefusalSaysWhy) {
    const struct {
        std::string name;
        int code;
        std::string why;
    } cases[] = {
        {"folder", 2, "it is a folder"},
        {"pipe", 2, "not a regular file"},
        {"zero", 2, "not a regular file"},
        {"huge", 203, "larger than 1 GiB"},
        {"loop1", 3, "too many levels of symbolic links"},
        {"missing", 2, "no such file"},
        {"plain/below", 3, "no such folder"},
    };
    for (const auto& c : cases) {
        std::string out = "left over", why;
        int code = 0;
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_FALSE(TryReadFile((dir + "/" + c.name).c_str(), out, &code, &why)) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << c.name;
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(why, c.why) << c.name;
        EXPECT_EQ(out, "") << c.name;
    }
    std::string out;
    EXPECT_TRUE(TryReadFile((dir + "/plain").c_str(), out, nullptr));
    EXPECT_EQ(out, "abc");
}

TEST(PrintableText, BytesOutsidePrintableAsciiAreShownAsHex) {
    EXPECT_EQ(PrintableText(std::string("a\x07" "b\x13\n\x7f\xc3\xa9 ~", 10)), "a\\x07b\\x13\\x0A\\x7F\\xC3\\xA9 ~");
    EXPECT_EQ(PrintableText(std::string("z\0z", 3)), "z\\x00z");
    EXPECT_EQ(PrintableText(""), "");
}

TEST_F(Files, TheProgramAndVelmarRefuseWhatIsNoFileWithOneLine) {
    // The program: the timeline as a named pipe, the font as /dev/zero.
    const struct {
        std::string file, target;
    } swaps[] = {{"2ddata/timeline.cfg", dir + "/pipe"}, {"2ddata/fontset.3f", "/dev/zero"}};
    for (const auto& sw : swaps) {
        ShowHome home;
        PutMiniShow(home);
        unlink(home.path(sw.file).c_str());
        symlink(sw.target.c_str(), home.path(sw.file).c_str());
        ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true, .timeoutSeconds = 30});
        ASSERT_FALSE(r.timedOut) << sw.file;
        EXPECT_EQ(r.code, 2) << sw.file;
        EXPECT_NE(r.err.find(": cannot read " + sw.file + ": not a regular file\n"), std::string::npos) << r.err;
    }
    // velmar: one line naming the file and the reason.
    for (const char* name : {"folder", "pipe", "huge", "loop1"}) {
        RunResult r = RunProgram({ShowDir() + "/velmar", "timeline", dir + "/" + name});
        EXPECT_EQ(r.code, 2) << name;
        EXPECT_EQ(r.err.rfind("velmar timeline: cannot read " + dir + "/" + name + ": ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

// Guards raw bytes from files reaching the terminal (a bell, a cursor move).
TEST_F(Files, MessagesShowBytesFromFilesAsHex) {
    WriteFile(dir + "/bad.ife", "1\n0\nfeher.tga\nx\ny\n2\n1\x07\x08\n");
    RunResult r = RunProgram({ShowDir() + "/velmar", "ife", dir + "/bad.ife"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "velmar ife: \"1\\x07\\x08\" is an invalid integer\n");
    ShowHome home;
    PutMiniShow(home);
    home.put("2ddata/vege.ife", ReadFileText(dir + "/bad.ife"));
    ShowRun run = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
    EXPECT_EQ(run.code, 106);
    EXPECT_NE(run.err.find(": \"1\\x07\\x08\" is an invalid integer\n"), std::string::npos) << run.err;
    EXPECT_NE(FindLine(run.log, "[rt] \"1\x07\x08\" is an invalid integer"), -1);  // the log keeps them
}

}  // namespace
