// The one rule for reading whole files, and the printable form of bytes
// from files in messages; what the program and velmar say with them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "support/minishow.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

struct Files : ::testing::Test {
    std::string dir = MakeTempDir("files");
    void TearDown() override { RemoveTree(dir); }
};

// Guards unbounded reads: /dev/zero or a huge sparse file ate all memory, a named pipe blocked for ever.
TEST_F(Files, OnlyRegularFilesUpTo1GiBAreReadAndEveryRefusalSaysWhy) {
    WriteFile(dir + "/plain", "abc");
    WriteFile(dir + "/huge", "");
    ASSERT_EQ(truncate((dir + "/huge").c_str(), (2LL << 30) + 1), 0);  // sparse: no disk taken
    mkdir((dir + "/folder").c_str(), 0755);
    mkfifo((dir + "/pipe").c_str(), 0644);
    symlink("/dev/zero", (dir + "/zero").c_str());
    symlink("loop2", (dir + "/loop1").c_str());
    symlink("loop1", (dir + "/loop2").c_str());
    const char* cases[][3] = {{"folder", "2", "it is a folder"},   {"pipe", "2", "not a regular file"},
                              {"zero", "2", "not a regular file"}, {"huge", "203", "larger than 1 GiB"},
                              {"missing", "2", "no such file"},    {"loop1", "3", "too many levels of symbolic links"},
                              {"plain/below", "3", "no such folder"}};
    for (auto [name, code, why] : cases) {
        std::string out = "left over", said;
        int got = 0;
        EXPECT_FALSE(TryReadFile((dir + "/" + name).c_str(), out, &got, &said)) << name;  // at once, even the pipe
        EXPECT_EQ(std::to_string(got) + " " + said + out, std::string(code) + " " + why) << name;
    }
    std::string out;
    EXPECT_TRUE(TryReadFile((dir + "/plain").c_str(), out, nullptr) && out == "abc");
    // The program: the timeline as a named pipe, the font as /dev/zero.
    for (auto [file, target] : {std::pair<std::string, std::string>{"2ddata/timeline.cfg", dir + "/pipe"},
                                {"2ddata/fontset.3f", "/dev/zero"}}) {
        ShowHome home;
        PutMiniShow(home);
        unlink(home.path(file).c_str());
        symlink(target.c_str(), home.path(file).c_str());
        ShowRun r = RunShow(home, {.recordGl = true, .fakeWm = true, .timeoutSeconds = 30});
        EXPECT_TRUE(r.code == 2 && r.err.find(": cannot read " + file + ": not a regular file\n") != std::string::npos)
            << r.code << " " << r.err;
    }
    // velmar: one line naming the file and the reason.
    for (const char* name : {"folder", "pipe", "huge", "loop1"}) {
        RunResult r = RunProgram({ShowDir() + "/velmar", "timeline", dir + "/" + name});
        EXPECT_TRUE(r.code == 2 && std::count(r.err.begin(), r.err.end(), '\n') == 1 &&
                    r.err.rfind("velmar timeline: cannot read " + dir + "/" + name + ": ", 0) == 0) << r.err;
    }
}

// Guards raw bytes from files reaching the terminal (a bell, a cursor move).
TEST_F(Files, MessagesShowBytesFromFilesAsHexAndTheLogKeepsThem) {
    EXPECT_EQ(PrintableText(std::string("a\x07" "b\x13\n\x7f\xc3\xa9 ~\0z", 12)),
              "a\\x07b\\x13\\x0A\\x7F\\xC3\\xA9 ~\\x00z");
    std::string bad = "1\n0\nfeher.tga\nx\ny\n2\n1\x07\x08\n";
    WriteFile(dir + "/bad.ife", bad);
    RunResult r = RunProgram({ShowDir() + "/velmar", "ife", dir + "/bad.ife"});
    EXPECT_EQ(std::to_string(r.code) + " " + r.err, "2 velmar ife: \"1\\x07\\x08\" is an invalid integer\n");
    ShowHome home;
    PutMiniShow(home);
    home.put("2ddata/vege.ife", bad);
    ShowRun run = RunShow(home, {.recordGl = true, .fakeWm = true});
    EXPECT_EQ(run.code, 106);
    EXPECT_NE(run.err.find(": \"1\\x07\\x08\" is an invalid integer\n"), std::string::npos) << run.err;
    EXPECT_NE(FindLine(run.log, "[rt] \"1\x07\x08\" is an invalid integer"), -1);
}

// Every reader's numbers: one sign at most ("+-3" read as -3 once), the
// whole text, and a failed read leaves the value as it was ("12a" gave 12).
TEST(Numbers, AreWholeDecimalsWithOneSign) {
    const std::pair<const char*, double> good[] = {{"5", 5}, {"+5", 5}, {"-5", -5}, {"1.5", 1.5}, {"-0.25", -0.25}, {"1e3", 1000}};
    for (auto [text, want] : good) {
        float f = 7;
        EXPECT_TRUE(RtParseReal(text, f) && f == (float)want) << text;
        int32_t i = 7;
        EXPECT_EQ(RtParseInt(text, i), want == (int32_t)want && !strpbrk(text, ".e")) << text;
    }
    for (const char* bad : {"", "+", "-", "+-3", "++3", "-+3", "12a", " 1", "1 ", "0x1", "inf", "nan", "2147483648"}) {
        int32_t i = 7;
        float f = 7;
        EXPECT_FALSE(RtParseInt(bad, i)) << bad;
        EXPECT_EQ(i, 7) << bad;
        if (strcmp(bad, "2147483648") != 0) {  // a real number too big for an integer
            EXPECT_FALSE(RtParseReal(bad, f)) << bad;
            EXPECT_EQ(f, 7.0f) << bad;
        }
    }
}

}  // namespace
