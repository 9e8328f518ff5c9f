// The capture: its sound slices and names, and whole captures of the
// miniature show, checked with ffprobe and ffmpeg.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "modules/wm/capture.h"
#include "support/minishow.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

TEST(CapturePlan, TimesSoundSlicesThumbnailsNamesAndLabels) {
    std::vector<int32_t> t;
    EXPECT_TRUE(capParseTimes("2000,0,500,500", t) && t == std::vector<int32_t>({0, 500, 2000}));  // once each
    EXPECT_FALSE(capParseTimes("1,2,x", t) || !t.empty());  // nothing of a refused list's first items
    // 24 fps is 1837.5 samples a frame: slices alternate, the sum never drifts.
    for (int32_t fps : {24, 30, 7}) {
        int64_t frames = 24 * 3600, smallest = INT64_MAX, largest = 0;
        for (int64_t k = 0, n; k < frames; ++k) {
            n = capAudioFramesBefore(k + 1, fps) - capAudioFramesBefore(k, fps);
            smallest = std::min(smallest, n), largest = std::max(largest, n);
        }
        EXPECT_EQ(capAudioFramesBefore(frames, fps), frames * WM_CAPTURE_RATE / fps) << fps;
        EXPECT_LE(largest - smallest, 1) << fps;
    }
    EXPECT_EQ(capAudioFramesBefore(1, 30) + capAudioFramesBefore(0, 30) + capAudioFramesBefore(10, 0), 1470);
    EXPECT_EQ(capShotName(1500) + capShotName(250000), "001500.png250000.png");
    EXPECT_EQ(capTimeLabel(62500) + " " + capTimeLabel(-3), "1:02.500 0:00.000");
    std::vector<uint8_t> px(8 * 4 * 4, 0);  // GL's bottom rows red, the top ones blue
    for (size_t i = 0; i < px.size(); i += 4) px[i + (i < px.size() / 2 ? 0 : 2)] = 255;
    CaptureImage one = capThumbnail(px.data(), 8, 4, 2);  // one box over both halves each, rounded
    EXPECT_EQ(one.rgb, std::vector<uint8_t>({128, 0, 128, 128, 0, 128}));
}

const std::string kFfmpeg = "/usr/bin/ffmpeg", kFfprobe = "/usr/bin/ffprobe";
const int kFps = 30;
#define NEEDS_FFMPEG()                                                                        \
    if (access(kFfmpeg.c_str(), X_OK) != 0 || access(kFfprobe.c_str(), X_OK) != 0) GTEST_SKIP() \
        << "ffmpeg is not installed"

// One line per stream, its entries comma separated.
std::string probe(const std::string& file, const std::string& entries, const char* streams = "v:0") {
    std::string s = RunProgram({kFfprobe, "-v", "error", "-count_frames", "-select_streams", streams,
                                "-show_entries", "stream=" + entries, "-of", "csv=p=0", file})
                        .out;
    while (!s.empty() && (s.back() == '\n' || s.back() == ',')) s.pop_back();
    return s;
}

// A picture, or frame `index` of a video, as RGB bytes.
std::string decode(const std::string& file, int index = 0) {
    return RunProgram({kFfmpeg, "-v", "error", "-i", file, "-vf", "select=eq(n\\," + std::to_string(index) + ")",
                       "-vsync", "0", "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"})
        .out;
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

std::string wrote(const std::string& video, int frames) {
    return "capture: wrote " + video + ": " + std::to_string(frames) + " frames";
}

// Guards the deadlock of the capture pipes at 1024 x 768, a frame larger than a pipe holds.
TEST(CaptureRun, HasTheShowsFramesItsSoundFromThePlayOnAndThePictureOfEachShowTime) {
    NEEDS_FFMPEG();
    ShowHome home;
    PutMiniShow(home);
    std::string video = home.path("show.mp4"), shots = home.path("shots");
    ShowRun r = RunShow(home, {.step = 0, .args = {"--width", "1024", "--height", "768", "--fps", "30", "--capture",
                                                   video, "--shots", shots, "--at", "2000,500"}, .timeoutSeconds = 60});
    ASSERT_EQ(r.code, 0) << r.err;
    // The loading screen's frames come first: the empty frame and 43 steps;
    // the last frame is the first at or after 2000 ms, frame 60 of play.
    int k0 = playFrame(r);
    ASSERT_GE(k0, 44);
    EXPECT_EQ(probe(video, "nb_read_frames"), std::to_string(k0 + 61));
    EXPECT_EQ(probe(video, "codec_name,width,height,pix_fmt,r_frame_rate") + "|" +
                  probe(video, "codec_name,sample_rate,channels", "a:0"),
              "h264,1024,768,yuv420p,30/1|aac,44100,2");
    // Progress as plain lines off a terminal.
    for (std::string said : {wrote(video, k0 + 61), "capture: wrote 2 pictures into " + shots,
                             std::string("capture: frame 1  loading  ")})
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    // Silent through the loading screen; the music (a 440 Hz tone) begins at
    // the frame the show clock started on and lasts as long as the picture.
    EXPECT_NEAR(std::stod(probe(video, "duration", "a:0")), std::stod(probe(video, "duration")), 1.0 / kFps);
    std::string pcm = RunProgram({kFfmpeg, "-i", video, "-map", "0:a", "-ac", "1", "-f", "f32le", "-"}).out;
    long first = -1;
    for (size_t i = 0; i < pcm.size() / 4 && first < 0; ++i) {
        float x;
        memcpy(&x, pcm.data() + 4 * i, 4);
        if (std::fabs(x) > 0.05f) first = (long)i;
    }
    EXPECT_NEAR(first, (long)k0 * 44100 / kFps, 44100 / kFps / 2);
    // 500 ms is frame 15 of play at 30 fps; only the video's compression
    // separates it from the picture taken then.
    std::string at500 = decode(shots + "/000500.png"), at2000 = decode(shots + "/002000.png");
    ASSERT_EQ(at500.size(), 1024u * 768 * 3);
    ASSERT_GT(meanDifference(at500, at2000), 5.0) << "the two times must look different";
    std::string frame = decode(video, k0 + 15);
    EXPECT_LT(meanDifference(frame, at500), 2.0);
    EXPECT_GT(meanDifference(frame, at2000), 5.0);
    EXPECT_LT(meanDifference(decode(video, k0 + 60), at2000), 2.0);
}

// Play from --start: the times before it are said and skipped, never taken
// from a later frame.
TEST(CaptureShots, PlayFromALaterStartTakesOnlyTheTimesItPasses) {
    ShowHome home;
    PutMiniShow(home);
    ShowRun r = RunShow(home, {.step = 0, .args = {"--width", "64", "--height", "48", "--fps", "10", "--shots",
                                                   home.path("pics"), "--at", "1000,6000,6050", "--start", "5000"}});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("capture: no picture at 1000 ms: play began at 5000 ms\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("capture: wrote 2 pictures into " + home.path("pics")), std::string::npos) << r.err;
    EXPECT_EQ(access(home.path("pics/001000.png").c_str(), F_OK), -1);
    const std::string shot = "[wm] capture: shot " + home.path("pics/");
    EXPECT_TRUE(InOrder(r.log, {"[play] from 5000 ms", shot + "006000.png (show time 6000 ms)",
                                shot + "006050.png (show time 6100 ms)"}));
}

TEST(CaptureShots, TakePicturesMakeAContactSheetAndASilentVideoOfEvenSize) {
    NEEDS_FFMPEG();
    ShowHome home;
    PutMiniShow(home);
    std::string sheet = home.path("sheet.png"), video = home.path("silent.mp4");
    // At 7 fps no frame falls on 500 ms: thumbnails at 0, 571, 1000 and
    // 1571 ms, on the 500 ms grid; the show ends with its last picture.
    ShowRun r = RunShow(home, {.step = 0, .args = {"--width", "321", "--height", "256", "--fps", "7", "--shots",
                                                   home.path("pics/deeper"), "--at", "1500,250", "--contact-sheet",
                                                   sheet, "--every", "500", "--capture", video, "--nosound"}});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(access(home.path("pics/deeper/000250.png").c_str(), F_OK) + access(sheet.c_str(), F_OK), 0);
    EXPECT_NE(r.err.find("capture: wrote " + sheet + " (4 pictures)"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileText(sheet).substr(16, 8), std::string("\0\0\x03\xe8\0\0\0\xe3", 8));  // 1000 × 227
    EXPECT_TRUE(r.err.find(wrote(video, playFrame(r) + 12)) != std::string::npos &&
                r.err.find(" at 7 fps, 320x256, without sound\n") != std::string::npos) << r.err;
    EXPECT_EQ(probe(video, "codec_type,width", "v") + "|" + probe(video, "codec_type", "a"), "video,320|");
}

// Guards the stalled frame ended by signals: a second one at once, one after 5 s without a frame.
TEST(StalledFrame, ASecondSignalOrFiveSecondsWithoutAFrameEndAtOnce) {
    NEEDS_FFMPEG();
    const struct {
        int signal, count;
        std::string why;
        int code;
        long minMs, maxMs;  // from the last signal to the end
    } cases[] = {
        // Bounds wide enough for a machine busy with other builds.
        {15, 2, "a second SIGTERM", 143, 0, 2500},
        {2, 1, "SIGINT while no frame was presented for ", 130, 3000, 9000},
    };
    for (const auto& c : cases) {  // the recording GL blocks the first scene draw of play, as a driver once spun
        ShowHome home;
        PutMiniShow(home);
        std::string video = home.path("stalled.mp4");
        ShowRun r = RunShow(home, {.step = 0, .args = {"--width", "320", "--height", "256", "--capture", video},
                                   .env = {"VELMAR_RECGL_BLOCK=glDrawElements@1"}, .recordGl = true,
                                   .terminateAfter = "--- playing...", .terminateDelayMs = 500,
                                   .terminateSignal = c.signal, .terminateCount = c.count, .timeoutSeconds = 30});
        ASSERT_FALSE(r.timedOut) << c.why;
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_TRUE(r.exitMsAfterSignal >= c.minMs && r.exitMsAfterSignal <= c.maxMs) << r.exitMsAfterSignal;
        ASSERT_FALSE(r.log.empty());
        EXPECT_EQ(r.log.back().rfind("[wm] ended at once: " + c.why, 0), 0u) << r.log.back();
        EXPECT_NE(r.log.back().find("(exit code " + std::to_string(c.code) + ")"), std::string::npos);
        int frames = atoi(probe(video, "nb_read_frames").c_str());  // the loading screen's frames, all whole
        EXPECT_GT(frames, 10) << c.why;
        EXPECT_NE(r.err.find(wrote(video, frames)), std::string::npos) << r.err;
    }
}

}  // namespace

namespace {

// Each decoded frame's checksum and the decoded sound's, of a video.
std::string Decoded(const std::string& file) {
    std::string frames = RunProgram({kFfmpeg, "-v", "error", "-i", file, "-map", "0:v", "-f", "framemd5", "-"}).out;
    frames.erase(0, frames.find("\n0,"));  // its header names the file
    return frames + RunProgram({kFfmpeg, "-v", "error", "-i", file, "-map", "0:a", "-f", "s16le", "-"}).out;
}

// Segments of a capture, captured at once, planned or joined, are the whole
// capture frame for frame and sample for sample: a boundary inside a part
// with particles (3500 ms) needs the catch-up of the frames before it.
TEST(ParallelCapture, JoinedSegmentsAreTheWholeCaptureFrameForFrameAndInSound) {
    NEEDS_FFMPEG();
    ShowHome home;
    PutMiniShow(home);
    const std::vector<std::string> size = {"--fps", "10", "--width", "64", "--height", "48", "--to", "10500", "--lossless"};
    auto with = [&](std::vector<std::string> a) { return a.insert(a.end(), size.begin(), size.end()), a; };
    ShowRun whole = RunShow(home, {.step = 0, .args = with({"--capture", home.path("whole.mp4"), "--shots",
                                                            home.path("a"), "--at", "3500,10400"})});
    ASSERT_EQ(whole.code, 0) << whole.err;
    ShowRun shots = RunShow(home, {.step = 0, .args = {"--width", "64", "--height", "48", "--fps", "10", "--shots",
                                                       home.path("b"), "--at", "3500,10400", "--from", "3400"}});
    ASSERT_EQ(shots.code, 0) << shots.err;
    for (const char* png : {"/003500.png", "/010400.png"})
        EXPECT_TRUE(ReadFileText(home.path("a") + png) == ReadFileText(home.path("b") + png)) << png;
    const std::string velmar = ShowDir() + "/velmar";
    RunResult par = RunProgram(with({velmar, "capture", home.path("par.mp4"), "--jobs", "2", "--segments", "3",
                                     "--show", home.dir}));
    ASSERT_EQ(par.code, 0) << par.err;
    EXPECT_NE(par.err.find("capture: wrote " + home.path("par.mp4") + ": 3 segments, 0 to 10500 ms at 10 fps, "
                           "with sound\n"), std::string::npos) << par.err;
    std::string want = Decoded(home.path("whole.mp4"));
    ASSERT_EQ(probe(home.path("whole.mp4"), "nb_read_frames"), "105");
    EXPECT_TRUE(Decoded(home.path("par.mp4")) == want);
    // The plan's commands run one by one, then joined by name.
    std::vector<std::string> parts = {velmar, "capture", "--join", home.path("joined.mp4")};
    for (const std::string& line : SplitLines(RunProgram(with({velmar, "capture", "--plan", "2", home.path("p.mp4"),
                                                               "--show", home.dir})).out)) {
        std::istringstream words(line);
        std::vector<std::string> argv{std::istream_iterator<std::string>(words), {}};
        ASSERT_EQ(RunProgram(argv).code, 0) << line;
        parts.push_back(argv[std::find(argv.begin(), argv.end(), "--capture") - argv.begin() + 1]);
    }
    ASSERT_EQ(parts.size(), 7u);  // the sound and two segments
    ASSERT_EQ(RunProgram(parts).code, 0);
    EXPECT_TRUE(Decoded(home.path("joined.mp4")) == want);
    // Segments that leave a gap, or a failing segment: exit 2, nothing at OUT.
    RunResult gap = RunProgram({velmar, "capture", "--join", home.path("gap.mp4"), parts[4], parts[6]});
    EXPECT_EQ(gap.code, 2);
    EXPECT_NE(gap.err.find("the sound covers 0 to 10500 ms, the segments 5200 to 10500"), std::string::npos) << gap.err;
    RunResult failed = RunProgram(with({velmar, "capture", home.path("failed.mp4"), "--show", home.dir}),
                                  {"VELMAR_FFMPEG=/bin/false"});
    EXPECT_EQ(failed.code, 2);
    EXPECT_NE(failed.err.find(") failed: capture: ffmpeg failed (exit status 1): no video was written"),
              std::string::npos) << failed.err;
    for (const auto& e : std::filesystem::directory_iterator(home.dir))
        EXPECT_EQ(e.path().filename().string().find("failed"), std::string::npos) << e.path();
}

}  // namespace
