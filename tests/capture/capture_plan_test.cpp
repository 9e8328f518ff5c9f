// The capture's pure pieces: times, sound slices, ffmpeg's arguments,
// pictures, labels and the progress line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <numeric>

#include "modules/wm/capture.h"
#include "support/support.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

// RGBA, bottom row first, as GL reads it back: `top` over the upper half,
// `bottom` over the lower half.
std::vector<uint8_t> halves(int w, int h, uint32_t top, uint32_t bottom) {
    std::vector<uint8_t> px((size_t)w * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = y < h / 2 ? bottom : top;  // GL row 0 is the bottom
            uint8_t* p = px.data() + ((size_t)y * w + x) * 4;
            p[0] = c >> 16, p[1] = c >> 8, p[2] = c, p[3] = 255;
        }
    return px;
}

std::vector<uint8_t> pixelAt(const CaptureImage& im, int x, int y) {
    const uint8_t* p = im.rgb.data() + ((size_t)y * im.width + x) * 3;
    return {p[0], p[1], p[2]};
}

}  // namespace

TEST(CaptureTimes, AreSortedOnceEachAndMalformedListsAreRefused) {
    std::vector<int32_t> t;
    ASSERT_TRUE(capParseTimes("2000,0,500,500", t));
    EXPECT_EQ(t, (std::vector<int32_t>{0, 500, 2000}));
    ASSERT_TRUE(capParseTimes("250000", t));
    EXPECT_EQ(t, (std::vector<int32_t>{250000}));
    for (const char* bad : {"", ",", "1,", ",1", "-5", "1;2", "1.5", "1, 2", "99999999999", "abc"})
        EXPECT_FALSE(capParseTimes(bad, t)) << bad;
    EXPECT_FALSE(capParseTimes(nullptr, t));
    // A list refused halfway leaves nothing of its first items behind.
    EXPECT_FALSE(capParseTimes("1,2,x", t));
    EXPECT_TRUE(t.empty());
}

TEST(CaptureSound, SlicesAddUpExactlyOverALongRun) {
    // 24 fps is 1837.5 samples a frame: slices alternate, the sum never drifts.
    for (int32_t fps : {24, 25, 30, 60, 7}) {
        const int64_t frames = 24 * 3600;  // an hour at 24 fps
        int64_t total = 0, smallest = INT64_MAX, largest = 0;
        for (int64_t k = 0; k < frames; ++k) {
            int64_t n = capAudioFramesBefore(k + 1, fps) - capAudioFramesBefore(k, fps);
            total += n;
            smallest = std::min(smallest, n);
            largest = std::max(largest, n);
        }
        EXPECT_EQ(total, frames * WM_CAPTURE_RATE / fps) << fps;
        EXPECT_LE(largest - smallest, 1) << fps;
    }
    EXPECT_EQ(capAudioFramesBefore(1, 30), 1470);
    EXPECT_EQ(capAudioFramesBefore(0, 30), 0);
    EXPECT_EQ(capAudioFramesBefore(10, 0), 0);
}

TEST(CaptureFfmpeg, ArgumentsCarryTheSoundOnlyWhenAsked) {
    CapturePlan p;
    p.video = "/tmp/out.mp4";
    p.fps = 30;
    p.ffmpeg = "/usr/bin/ffmpeg";
    auto has = [](const std::vector<std::string>& a, const std::string& opt, const std::string& value) {
        for (size_t i = 0; i + 1 < a.size(); ++i)
            if (a[i] == opt && a[i + 1] == value) return true;
        return false;
    };
    std::vector<std::string> a = capFfmpegArgs(p, 320, 256);
    EXPECT_EQ(a.front(), "/usr/bin/ffmpeg");
    EXPECT_EQ(a.back(), "/tmp/out.mp4");
    EXPECT_TRUE(has(a, "-video_size", "320x256"));
    EXPECT_TRUE(has(a, "-framerate", "30"));
    EXPECT_TRUE(has(a, "-i", "pipe:3"));
    EXPECT_TRUE(has(a, "-i", "pipe:4"));
    EXPECT_TRUE(has(a, "-f", "f32le"));
    EXPECT_TRUE(has(a, "-map", "1:a"));
    EXPECT_TRUE(has(a, "-pix_fmt", "yuv420p"));
    EXPECT_TRUE(has(a, "-vf", "vflip"));
    p.sound = false;
    a = capFfmpegArgs(p, 320, 256);
    EXPECT_FALSE(has(a, "-i", "pipe:4"));
    EXPECT_FALSE(has(a, "-map", "1:a"));
    EXPECT_EQ(std::find(a.begin(), a.end(), "-c:a"), a.end());
}

TEST(CaptureFfmpeg, IsFoundOnlyAsAnExecutableFile) {
    std::string dir = MakeTempDir("capfind");
    WriteFile(dir + "/ffmpeg", "#!/bin/sh\n");
    WriteFile(dir + "/plain", "");
    chmod((dir + "/ffmpeg").c_str(), 0755);
    std::string path = "/nonexistent::" + dir;
    EXPECT_EQ(capFindProgram("ffmpeg", path.c_str()), dir + "/ffmpeg");
    EXPECT_EQ(capFindProgram("plain", path.c_str()), "");
    EXPECT_EQ(capFindProgram("ffmpeg", "/nonexistent"), "");
    EXPECT_EQ(capFindProgram("ffmpeg", nullptr), "");
    EXPECT_EQ(capFindProgram(dir + "/ffmpeg", nullptr), dir + "/ffmpeg");
    EXPECT_EQ(capFindProgram(dir + "/plain", nullptr), "");
    EXPECT_EQ(capFindProgram("", path.c_str()), "");
    RemoveTree(dir);
}

TEST(CaptureTexts, NamesLabelsAndProgress) {
    EXPECT_EQ(capShotName(1500), "001500.png");
    EXPECT_EQ(capShotName(250000), "250000.png");
    EXPECT_EQ(capTimeLabel(0), "0:00.000");
    EXPECT_EQ(capTimeLabel(62500), "1:02.500");
    EXPECT_EQ(capTimeLabel(-3), "0:00.000");

    // 300 frames in 10 s at 30 fps is real time; 150 frames are left.
    std::string t = capProgressText({300, 5000, 10000, 30, 10.0});
    EXPECT_EQ(t, "capture: frame 300  show 5.0 s  30.0 fps  1.00x real time  about 0:05 left");
    // While loading there is no show time and no estimate.
    t = capProgressText({12, -1, 250000, 60, 2.0});
    EXPECT_EQ(t, "capture: frame 12  loading  6.0 fps  0.10x real time");
    // Past the end, nothing is left; no time at all gives no speed.
    EXPECT_NE(capProgressText({10, 9000, 5000, 30, 1.0}).find("about 0:00 left"), std::string::npos);
    EXPECT_EQ(capProgressText({0, 0, 1000, 30, 0.0}).find("left"), std::string::npos);
}

TEST(CapturePictures, ComeOutUprightAndThumbnailsAverageTheirBoxes) {
    // Red on top, blue below, in GL's bottom-first order.
    std::vector<uint8_t> px = halves(8, 4, 0xFF0000, 0x0000FF);
    CaptureImage up = capUpright(px.data(), 8, 4);
    ASSERT_EQ(up.width, 8);
    ASSERT_EQ(up.height, 4);
    EXPECT_EQ(pixelAt(up, 0, 0), (std::vector<uint8_t>{255, 0, 0}));
    EXPECT_EQ(pixelAt(up, 7, 3), (std::vector<uint8_t>{0, 0, 255}));

    CaptureImage th = capThumbnail(px.data(), 8, 4, 4);
    ASSERT_EQ(th.width, 4);
    ASSERT_EQ(th.height, 2);
    EXPECT_EQ(pixelAt(th, 1, 0), (std::vector<uint8_t>{255, 0, 0}));
    EXPECT_EQ(pixelAt(th, 1, 1), (std::vector<uint8_t>{0, 0, 255}));

    // A thumbnail whose box spans both halves mixes them.
    CaptureImage one = capThumbnail(px.data(), 8, 4, 2);
    ASSERT_EQ(one.width, 2);
    ASSERT_EQ(one.height, 1);
    EXPECT_EQ(pixelAt(one, 0, 0), (std::vector<uint8_t>{128, 0, 128}));

    // Never wider than the frame; bad input gives an empty picture.
    EXPECT_EQ(capThumbnail(px.data(), 8, 4, 100).width, 8);
    EXPECT_EQ(capThumbnail(nullptr, 8, 4, 4).rgb.size(), 0u);
    EXPECT_EQ(capUpright(px.data(), 0, 4).rgb.size(), 0u);
}

TEST(CapturePictures, ContactSheetPlacesThumbnailsInRowsWithTheirTimes) {
    std::vector<uint8_t> px = halves(320, 256, 0x00FF00, 0x00FF00);
    std::vector<CaptureThumb> thumbs;
    for (int i = 0; i < 7; ++i) thumbs.push_back({i * 500, capThumbnail(px.data(), 320, 256, kSheetThumbWidth)});
    CaptureImage sheet = capContactSheet(thumbs);
    // 5 columns, 2 rows of 240 × 192 pictures with a label strip and gaps.
    EXPECT_EQ(sheet.width, 8 + 5 * (240 + 8));
    EXPECT_EQ(sheet.height, 8 + 2 * (192 + 20 + 8));
    EXPECT_EQ(pixelAt(sheet, 8, 8), (std::vector<uint8_t>{0, 255, 0}));
    EXPECT_EQ(pixelAt(sheet, 8 + 248, 8 + 220), (std::vector<uint8_t>{0, 255, 0}));  // 7th: row 2, column 2
    EXPECT_EQ(pixelAt(sheet, 2, 2), (std::vector<uint8_t>{24, 24, 24}));
    // The label strip below the first picture holds text pixels.
    int lit = 0;
    for (int y = 8 + 192; y < 8 + 192 + 20; ++y)
        for (int x = 8; x < 8 + 240; ++x) lit += pixelAt(sheet, x, y)[0] == 230;
    EXPECT_GT(lit, 50);
    // The empty space after the 7th picture stays background.
    EXPECT_EQ(pixelAt(sheet, 8 + 3 * 248 + 100, 8 + 220 + 100), (std::vector<uint8_t>{24, 24, 24}));
    EXPECT_EQ(capContactSheet({}).rgb.size(), 0u);
}

TEST(CapturePictures, TextIsClippedAtTheEdges) {
    CaptureImage im;
    im.width = 10, im.height = 10;
    im.rgb.assign(300, 0);
    capDrawText(im, -4, -4, "8:8.8", 3, 200);  // mostly outside: must not write out of bounds
    capDrawText(im, 5, 5, "0123456789", 2, 200);
    int lit = 0;
    for (uint8_t v : im.rgb) lit += v == 200;
    EXPECT_GT(lit, 0);
}

TEST(CapturePictures, PngRoundTripsAndAFailedWriteLeavesNothing) {
    std::string dir = MakeTempDir("cappng");
    std::vector<uint8_t> px = halves(6, 4, 0x102030, 0xA0B0C0);
    CaptureImage up = capUpright(px.data(), 6, 4);
    ASSERT_TRUE(capWritePng(dir + "/a.png", up));
    int w = 0, h = 0, n = 0;
    uint8_t* back = stbi_load((dir + "/a.png").c_str(), &w, &h, &n, 3);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(w, 6);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 6 * 4 * 3), up.rgb);
    stbi_image_free(back);
    struct stat st;
    EXPECT_NE(stat((dir + "/a.png.part").c_str(), &st), 0);
    EXPECT_FALSE(capWritePng(dir + "/missing/b.png", up));
    EXPECT_NE(stat((dir + "/missing").c_str(), &st), 0);
    EXPECT_FALSE(capWritePng(dir + "/c.png", CaptureImage{}));
    RemoveTree(dir);
}

extern "C" int32_t BS_TimerResets(void);
extern "C" int BS_TimerIsVirtual(void);
extern "C" void BS_TimerStep(void);

TEST(CaptureClock, RunsOnVideoFramesAndSeesPlayBegin) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    BindLinkedBase({"--capture", "out.mp4", "--fps", "30", "--contact-sheet", "/abs/sheet.png"});
    EXPECT_EQ(BS_TimerIsVirtual(), 1);
    // Made absolute before the program moves into its home folder.
    EXPECT_EQ(std::string(Base.BS_CfgGet("--capture")), std::string(cwd) + "/out.mp4");
    EXPECT_EQ(std::string(Base.BS_CfgGet("--contact-sheet")), "/abs/sheet.png");
    // Start-up's own reset is not play.
    EXPECT_EQ(BS_TimerResets(), 0);
    for (int i = 0; i < 5; ++i) BS_TimerStep();
    Base.BS_TimerReset();
    EXPECT_EQ(BS_TimerResets(), 1);
    EXPECT_EQ(Base.BS_TimerGet(), 0);
    // 1000/30 ms a frame, exact: 33, 66, 100 ... 1000 after 30 frames.
    int32_t seen[31];
    for (int i = 0; i <= 30; ++i) {
        seen[i] = Base.BS_TimerGet();
        BS_TimerStep();
    }
    EXPECT_EQ(seen[1], 33);
    EXPECT_EQ(seen[2], 66);
    EXPECT_EQ(seen[3], 100);
    EXPECT_EQ(seen[30], 1000);

    // Pictures alone keep a given --step; the default rate is 60 fps.
    BindLinkedBase({"--shots", "d", "--at", "5", "--step", "40"});
    BS_TimerStep();
    EXPECT_EQ(Base.BS_TimerGet(), 40);
    BindLinkedBase({"--shots", "d", "--at", "5"});
    for (int i = 0; i < 60; ++i) BS_TimerStep();
    EXPECT_EQ(Base.BS_TimerGet(), 1000);
    BindLinkedBase({});
    EXPECT_EQ(BS_TimerIsVirtual(), 0);
}
