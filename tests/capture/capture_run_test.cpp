// Whole captures of the miniature show, checked with ffprobe and ffmpeg.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "support/minishow.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

const char kFfmpeg[] = "/usr/bin/ffmpeg";
const char kFfprobe[] = "/usr/bin/ffprobe";
const int kFps = 30;

bool haveFfmpeg() { return access(kFfmpeg, X_OK) == 0 && access(kFfprobe, X_OK) == 0; }

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string probe(const std::string& file, const std::string& stream, const std::string& entry,
                  bool count = false) {
    std::vector<std::string> a = {kFfprobe, "-v", "error"};
    if (count) a.push_back("-count_frames");
    a.insert(a.end(), {"-select_streams", stream, "-show_entries", "stream=" + entry, "-of", "csv=p=0", file});
    RunResult r = RunProgram(a);
    std::string s = r.out;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ',')) s.pop_back();
    return s;
}

int videoFrames(const std::string& file) {
    std::string s = probe(file, "v:0", "nb_read_frames", true);
    return s.empty() ? -1 : std::stoi(s);
}

// Frame `index` of the video, decoded to RGB.
std::string decodeFrame(const std::string& file, int index) {
    RunResult r = RunProgram({kFfmpeg, "-v", "error", "-i", file, "-vf", "select=eq(n\\," + std::to_string(index) + ")",
                              "-vsync", "0", "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    return r.out;
}

std::string decodePicture(const std::string& png) {
    return RunProgram({kFfmpeg, "-v", "error", "-i", png, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"}).out;
}

double meanDifference(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs((int)(uint8_t)a[i] - (int)(uint8_t)b[i]);
    return sum / (double)a.size();
}

// The video frame at which the show clock started, from debug.log.
int playFrame(const ShowRun& r) {
    const std::string mark = "[wm] capture: the show clock started at frame ";
    for (const std::string& l : r.log)
        if (l.rfind(mark, 0) == 0) return std::atoi(l.c_str() + mark.size());
    return -1;
}

// One video frame per decoded picture, as md5 lines.
std::vector<std::string> frameHashes(const std::string& file) {
    std::vector<std::string> out;
    for (const std::string& l : SplitLines(RunProgram({kFfmpeg, "-v", "error", "-i", file, "-map", "0:v", "-f",
                                                        "framemd5", "-"})
                                                 .out))
        if (!l.empty() && l[0] != '#') out.push_back(l);
    return out;
}

std::vector<std::string> captureArgs(const std::string& video, const std::string& shots, const std::string& at) {
    std::vector<std::string> a = {"--width", "320", "--height", "256", "--fps", std::to_string(kFps)};
    if (!video.empty()) a.insert(a.end(), {"--capture", video});
    if (!shots.empty()) a.insert(a.end(), {"--shots", shots, "--at", at});
    return a;
}

// One capture with sound shared by the tests that only read it: the video
// and pictures at 500 and 2000 ms, which ends the show.
struct CaptureRun : ::testing::Test {
    static ShowHome* home;
    static ShowRun* run;
    static std::string video, shots;

    static void SetUpTestSuite() {
        if (!haveFfmpeg()) return;
        home = new ShowHome;
        PutMiniShow(*home);
        video = home->path("show.mp4");
        shots = home->path("shots");
        run = new ShowRun(RunShow(*home, {.step = 0, .args = captureArgs(video, shots, "2000,500")}));
    }
    static void TearDownTestSuite() {
        delete run;
        delete home;
        run = nullptr;
        home = nullptr;
    }
    void SetUp() override {
        if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
        ASSERT_EQ(run->code, 0) << run->err;
    }
};
ShowHome* CaptureRun::home = nullptr;
ShowRun* CaptureRun::run = nullptr;
std::string CaptureRun::video, CaptureRun::shots;

}  // namespace

TEST_F(CaptureRun, HasExactlyTheFramesOfTheShowsLength) {
    int k0 = playFrame(*run);
    // The loading screen's frames come first: the empty frame and 43 steps.
    ASSERT_GE(k0, 44);
    // The last frame is the first at or after 2000 ms: frame 60 of play.
    EXPECT_EQ(videoFrames(video), k0 + 2000 * kFps / 1000 + 1);
    EXPECT_EQ(probe(video, "v:0", "width,height"), "320,256");
    EXPECT_EQ(probe(video, "v:0", "codec_name,pix_fmt"), "h264,yuv420p");
    EXPECT_EQ(probe(video, "v:0", "r_frame_rate"), "30/1");
    EXPECT_NE(run->err.find("capture: wrote " + video + ": " + std::to_string(k0 + 61) + " frames"),
              std::string::npos)
        << run->err;
    EXPECT_TRUE(InOrder(run->log, {"--- playing...", "[exit]"}));
}

TEST_F(CaptureRun, SoundLastsAsLongAsThePictureAndStartsWithThePlay) {
    double v = std::stod(probe(video, "v:0", "duration"));
    std::string as = probe(video, "a:0", "duration");
    ASSERT_FALSE(as.empty()) << "no sound track";
    EXPECT_NEAR(std::stod(as), v, 1.0 / kFps);
    EXPECT_EQ(probe(video, "a:0", "sample_rate,channels"), "44100,2");
    // Silent through the loading screen; the music (a 440 Hz tone) begins at
    // the frame the show clock started on.
    std::string pcm = RunProgram({kFfmpeg, "-v", "error", "-i", video, "-map", "0:a", "-ac", "1", "-f", "f32le", "-"}).out;
    size_t samples = pcm.size() / 4;
    ASSERT_GT(samples, 0u);
    long first = -1;
    for (size_t i = 0; i < samples; ++i) {
        float x;
        memcpy(&x, pcm.data() + i * 4, 4);
        if (std::fabs(x) > 0.05f) {
            first = (long)i;
            break;
        }
    }
    long expected = (long)playFrame(*run) * 44100 / kFps;
    EXPECT_NEAR(first, expected, 44100 / kFps / 2);
}

TEST_F(CaptureRun, TheFrameAtAShowTimeIsThePictureTakenForIt) {
    int k0 = playFrame(*run);
    std::string at500 = decodePicture(shots + "/000500.png");
    std::string at2000 = decodePicture(shots + "/002000.png");
    ASSERT_EQ(at500.size(), 320u * 256 * 3);
    ASSERT_EQ(at2000.size(), 320u * 256 * 3);
    ASSERT_GT(meanDifference(at500, at2000), 5.0) << "the two times must look different";
    // 500 ms is frame 15 of play at 30 fps; only the video's compression
    // separates it from the picture.
    std::string frame = decodeFrame(video, k0 + 15);
    EXPECT_LT(meanDifference(frame, at500), 2.0);
    EXPECT_GT(meanDifference(frame, at2000), 5.0);
    EXPECT_LT(meanDifference(decodeFrame(video, k0 + 60), at2000), 2.0);
}

TEST_F(CaptureRun, ReportsProgressAsPlainLinesOffATerminal) {
    EXPECT_NE(run->err.find("capture: frame 1  loading  "), std::string::npos) << run->err;
    EXPECT_NE(run->err.find("capture: wrote 2 pictures into " + shots), std::string::npos);
    EXPECT_EQ(run->err.find('\r'), std::string::npos);
}

TEST_F(CaptureRun, ASecondCaptureGivesTheSameFrames) {
    ShowHome again;
    PutMiniShow(again);
    std::string other = again.path("again.mp4");
    ShowRun r = RunShow(again, {.step = 0, .args = captureArgs(other, again.path("shots"), "2000,500")});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> a = frameHashes(video), b = frameHashes(other);
    ASSERT_GT(a.size(), 60u);
    EXPECT_EQ(a, b);
}

TEST(CaptureEnds, WithoutSoundThereIsNoSoundTrack) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    ShowHome home;
    PutMiniShow(home);
    std::string video = home.path("silent.mp4");
    std::vector<std::string> args = captureArgs(video, home.path("shots"), "0");
    args.push_back("--nosound");
    ShowRun r = RunShow(home, {.step = 0, .args = args});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(probe(video, "a", "codec_type"), "");
    EXPECT_EQ(videoFrames(video), playFrame(r) + 1);
    EXPECT_NE(r.err.find("without sound"), std::string::npos);
}

TEST(CaptureEnds, ClosingTheWindowLeavesAPlayableVideo) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    ShowHome home;
    PutMiniShow(home);
    std::string video = home.path("closed.mp4");
    // SIGTERM is the window manager's quit request, as the close button is.
    ShowRun r = RunShow(home, {.step = 0, .args = captureArgs(video, "", ""), .terminateAfter = "--- playing...",
                               .terminateDelayMs = 300});
    ASSERT_EQ(r.code, 0) << r.err;
    int frames = videoFrames(video);
    EXPECT_GT(frames, playFrame(r));
    EXPECT_NE(r.err.find("capture: wrote " + video + ": " + std::to_string(frames) + " frames"), std::string::npos)
        << r.err;
}

TEST(CaptureEnds, AFatalStopLeavesAPlayableVideoOfWhatWasShown) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    ShowHome home;
    PutMiniShow(home);
    unlink(home.path("3ddata/sarkany.vlm").c_str());  // loading stops with "File (...) not found."
    std::string video = home.path("stopped.mp4");
    ShowRun r = RunShow(home, {.step = 0, .args = captureArgs(video, "", "")});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("File (3ddata/sarkany.vlm) not found."), std::string::npos) << r.err;
    int frames = videoFrames(video);
    EXPECT_GT(frames, 1);
    EXPECT_LT(frames, 45);
    EXPECT_NE(r.err.find("capture: wrote " + video + ": " + std::to_string(frames) + " frames"), std::string::npos)
        << r.err;
}

TEST(CaptureEnds, ARunTimeErrorStillLeavesAPlayableVideo) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    ShowHome home;
    PutMiniShow(home);
    unlink(home.path("2ddata/vege.ife").c_str());  // run-time error 2: the process ends at once
    std::string video = home.path("cut.mp4");
    ShowRun r = RunShow(home, {.step = 0, .args = captureArgs(video, "", "")});
    EXPECT_EQ(r.code, 2) << r.err;
    // ffmpeg sees its input end with the program and closes the file itself.
    int frames = -1;
    for (int i = 0; i < 100 && frames <= 0; ++i) {
        usleep(100000);
        frames = videoFrames(video);
    }
    EXPECT_GT(frames, 1);
    EXPECT_LT(frames, 45);
}

TEST(CaptureEnds, AFailingFfmpegEndsTheShowAndSaysNoVideoWasWritten) {
    ShowHome home;
    PutMiniShow(home);
    home.put("bin/ffmpeg", "#!/bin/sh\necho 'ffmpeg: broken on purpose' >&2\nexit 1\n");
    chmod(home.path("bin/ffmpeg").c_str(), 0755);
    std::string video = home.path("failed.mp4");
    ShowRun r = RunShow(home, {.step = 0, .args = captureArgs(video, "", ""),
                               .env = {"VELMAR_FFMPEG=" + home.path("bin/ffmpeg")}, .timeoutSeconds = 60});
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("ffmpeg failed (exit status 1): no video was written"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(video));
    EXPECT_NE(FindLine(r.log, "[exit]"), -1);
}

TEST(CaptureEnds, AMissingFfmpegIsReportedBeforeTheShowStarts) {
    ShowHome home;
    PutMiniShow(home);
    std::string video = home.path("none.mp4");
    ShowRun r = RunShow(home, {.step = 0, .args = captureArgs(video, "", ""),
                               .env = {"VELMAR_FFMPEG=" + home.path("no/such/ffmpeg")}});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("vexil2: cannot capture: VELMAR_FFMPEG names no program"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(video));
    EXPECT_EQ(FindLine(r.log, "--- playing..."), -1);
    // Without the variable the program is looked for on PATH.
    r = RunShow(home, {.step = 0, .args = captureArgs(video, "", ""), .env = {"PATH=/nonexistent"}});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("ffmpeg was not found"), std::string::npos) << r.err;
}

TEST(CaptureOptions, ThatDoNotFitTogetherAreRefusedAtStart) {
    ShowHome home;
    const std::vector<std::vector<std::string>> bad = {
        {"--capture", "a.mp4", "--step", "40"},   // the video's frame rate is the clock
        {"--shots", "dir"},                        // no times
        {"--at", "100"},                           // times without a folder
        {"--shots", "dir", "--at", "1,,2"},
        {"--shots", "dir", "--at", "-5"},
        {"--every", "100"},                        // without a sheet
        {"--contact-sheet", "s.png", "--every", "0"},
        {"--capture", "a.mp4", "--fps", "0"},
        {"--capture", "a.mp4", "--fps", "5000"},
        {"--capture", home.path("no/such/folder/a.mp4")},
    };
    for (const auto& args : bad) {
        ShowRun r = RunShow(home, {.step = 0, .args = args});
        EXPECT_EQ(r.code, 2) << args[0] << " " << args[1] << ": " << r.err;
        EXPECT_NE(r.err.find("vexil2: "), std::string::npos) << r.err;
    }
}

TEST(CaptureShots, TakePicturesWithoutAVideoAndMakeAContactSheet) {
    ShowHome home;
    PutMiniShow(home);
    std::string sheet = home.path("sheet.png");
    std::vector<std::string> args = captureArgs("", home.path("pics/deeper"), "1500,250");
    args.insert(args.end(), {"--contact-sheet", sheet, "--every", "500"});
    ShowRun r = RunShow(home, {.step = 0, .args = args});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(exists(home.path("pics/deeper/000250.png")));
    EXPECT_TRUE(exists(home.path("pics/deeper/001500.png")));
    // Thumbnails at 0, 500, 1000 and 1500 ms, in one row.
    EXPECT_NE(r.err.find("capture: wrote " + sheet + " (4 pictures)"), std::string::npos) << r.err;
    std::string png = ReadFileText(sheet);
    ASSERT_GT(png.size(), 24u);
    auto be32 = [&](size_t at) {
        return (uint32_t)(uint8_t)png[at] << 24 | (uint32_t)(uint8_t)png[at + 1] << 16 |
               (uint32_t)(uint8_t)png[at + 2] << 8 | (uint32_t)(uint8_t)png[at + 3];
    };
    EXPECT_EQ(be32(16), 8u + 4 * (240 + 8));  // IHDR width
    EXPECT_EQ(be32(20), 8u + 192 + 20 + 8);   // IHDR height
    EXPECT_TRUE(InOrder(r.log, {"--- playing...", "[exit]"}));
}

// A frame that never ends (the recording GL blocks the first scene draw of
// play, as a spinning driver once did) can still be ended from outside: a
// second signal at once, one signal once no frame has come for 5 s. Either
// way a capture's frames so far make a playable video and the log's last
// line says why.
TEST(StalledFrame, ASecondSignalOrFiveSecondsWithoutAFrameEndAtOnce) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const struct {
        int signal, count;
        const char* why;
        int code;
        long minMs, maxMs;  // from the last signal to the end
    } cases[] = {
        {15, 2, "a second SIGTERM", 143, 0, 1000},
        {2, 1, "SIGINT while no frame was presented for ", 130, 3000, 7000},
    };
    for (const auto& c : cases) {
        ShowHome home;
        PutMiniShow(home);
        std::string video = home.path("stalled.mp4");
        ShowRun r = RunShow(home, {.step = 0,
                                   .args = captureArgs(video, "", ""),
                                   .env = {"VELMAR_RECGL_BLOCK=glDrawElements@1"},
                                   .recordGl = true,
                                   .terminateAfter = "--- playing...",
                                   .terminateDelayMs = 500,
                                   .terminateSignal = c.signal,
                                   .terminateCount = c.count,
                                   .timeoutSeconds = 30});
        ASSERT_FALSE(r.timedOut) << c.why;
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_GE(r.exitMsAfterSignal, c.minMs) << c.why;
        EXPECT_LE(r.exitMsAfterSignal, c.maxMs) << c.why;
        ASSERT_FALSE(r.log.empty());
        EXPECT_EQ(r.log.back().rfind(std::string("[wm] ended at once: ") + c.why, 0), 0u) << r.log.back();
        EXPECT_NE(r.log.back().find("(exit code " + std::to_string(c.code) + ")"), std::string::npos);
        // The loading screen's frames, every one of them whole.
        int frames = videoFrames(video);
        EXPECT_GT(frames, 10) << c.why;
        EXPECT_NE(r.err.find("capture: wrote " + video + ": " + std::to_string(frames) + " frames"),
                  std::string::npos)
            << r.err;
    }
}
