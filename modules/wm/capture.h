// capture.h - frame-exact capture of the show (part of Modules/WM.so).
//
// Owns: what the command line asks to capture (--capture OUT.mp4 --fps N,
// --shots DIR --at MS,..., --contact-sheet OUT.png --every MS), the ffmpeg
// process the video goes to, the pictures still to take, the contact sheet's
// thumbnails and the progress line on standard error.
//
// The Base module runs the show clock virtually (1000/fps ms a frame, exact
// over the run); every frame wmUpdate presents is read back before the swap,
// together with exactly one frame's worth of the sound that OpenAL Soft's
// loopback device mixes for it. The pure pieces (argument lists, sample
// counts, pictures, texts) are free functions below, usable without a window.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "wm_api.h"
#include "wm_base.h"

// What the command line asks for, checked before the window opens.
struct CapturePlan {
    std::string video;               // --capture, "" = no video
    int32_t fps = 60;                // --fps
    bool sound = true;               // the video gets a sound track (not --nosound)
    std::string shotsDir;            // --shots, "" = no pictures
    std::vector<int32_t> shotTimes;  // --at, ascending, each once
    std::string sheet;               // --contact-sheet, "" = none
    int32_t every = 10000;           // --every
    std::string ffmpeg;              // the ffmpeg program, when a video is asked for
    // A segment: only frames whose show times lie in [from, to) are taken
    // (no loading screen); the earlier ones run undrawn, their sound mixed
    // and dropped, so the first frame taken and its sound are those of a
    // whole run. -1: not given.
    int32_t from = -1, to = -1;
    bool soundOnly = false;          // --sound-only: the sound track alone
    bool lossless = false;           // --lossless: x264 at quantiser 0
};

// An RGB picture, top row first, no row padding.
struct CaptureImage {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

struct CaptureThumb {
    int32_t ms;  // the show time of the frame it shows
    CaptureImage image;
};

// Where a capture stands, for the progress line.
struct CaptureProgress {
    int64_t frame;       // frames presented so far
    int32_t showMs;      // show clock of the last frame, -1 while loading
    int32_t endMs;       // show time at which the capture will end
    int32_t fps;
    double wallSeconds;  // real time since the first frame
};

// The show ends by itself at this show time.
const int32_t kCaptureShowEndMs = 250000;
// Contact sheet: thumbnail width, columns, most pictures kept.
const int32_t kSheetThumbWidth = 240;
const int32_t kSheetColumns = 5;
const size_t kSheetMaxPictures = 1000;

// ---- pure pieces (capture_plan.cpp)

// "0,1500,20000" -> {0, 1500, 20000}, ascending, each once; false when
// malformed (empty items, signs, anything but digits and commas).
bool capParseTimes(const char* text, std::vector<int32_t>& times);

// Sample frames of sound before video frame `frame`: floor(frame × rate ÷
// fps). Frame k's slice is capAudioFramesBefore(k + 1) - capAudioFramesBefore(k),
// so the sound never drifts from the picture however long the run.
int64_t capAudioFramesBefore(int64_t frame, int32_t fps);

// ffmpeg's arguments (argv[0] included): raw RGBA frames, bottom row first,
// on descriptor 3 (not with soundOnly), raw float stereo sound on descriptor
// 4 when `plan.sound`. A segment's file says what it holds in its comment
// tag (capSegmentTag), for joining.
std::vector<std::string> capFfmpegArgs(const CapturePlan& plan, int32_t width, int32_t height);

// "velmar segment from=A to=B fps=N" (to: the show's end when not given).
std::string capSegmentTag(const CapturePlan& plan);
bool capParseSegmentTag(const std::string& tag, int32_t& from, int32_t& to, int32_t& fps);

// An executable called `name` in the colon-separated `path`, or "" (a name
// with a slash is taken as it is, when executable).
std::string capFindProgram(const std::string& name, const char* path);

// "001500.png": the file --shots writes for a show time.
std::string capShotName(int32_t ms);

// "1:02.500": a show time for a thumbnail's label.
std::string capTimeLabel(int32_t ms);

// "capture: frame 120  show 2.0 s  27.5 fps  0.46x real time  about 1:12 left"
std::string capProgressText(const CaptureProgress& p);

// The frame read back from GL (RGBA, bottom row first) as an upright RGB
// picture, and as a thumbnail `thumbWidth` wide (box filtered, aspect kept).
CaptureImage capUpright(const uint8_t* rgba, int32_t width, int32_t height);
CaptureImage capThumbnail(const uint8_t* rgba, int32_t width, int32_t height, int32_t thumbWidth);

// Thumbnails in rows of kSheetColumns, each with its time below it.
CaptureImage capContactSheet(const std::vector<CaptureThumb>& thumbs);

// Draws digits, ':' and '.' (5 × 7 cells, `scale` pixels each); other
// characters leave a gap.
void capDrawText(CaptureImage& image, int32_t x, int32_t y, const std::string& text, int32_t scale,
                 uint8_t grey);

// Writes a PNG through a temporary name and a rename; false on failure.
bool capWritePng(const std::string& path, const CaptureImage& image);

// ---- the running capture (capture.cpp), called by the window manager

// Reads and checks the options. A request that cannot be met (no ffmpeg,
// a folder that cannot be written) is refused here, before the show starts,
// with a message on standard error and exit code 2. Sets the settings
// record's captureaudio.
void capPrepare(const WmBaseLink& base, WmSettings& settings);

bool capActive();

// True once something asked for could not be written (the video, a picture,
// the contact sheet).
bool capFailed();

// The window exists: start ffmpeg at the drawing area's size.
void capWindowReady(int32_t drawWidth, int32_t drawHeight);

// Called by wmUpdate before the swap: takes the frame and its sound. False
// for a frame a segment does not take (nothing to present).
bool capFrame(int32_t drawWidth, int32_t drawHeight);

// True once the capture wants the show to end (last picture taken, or
// ffmpeg gave up).
bool capWantsEnd();

// Ends the capture: closes ffmpeg and waits for it, writes the contact
// sheet, reports. Safe to call more than once.
void capFinish();

// Ends the capture at once, from another thread while the show's thread may
// be stuck in a frame: the rest of a half-sent frame if ffmpeg takes it
// quickly, then the end of its input, so the frames sent make a playable
// file; waits a few seconds for ffmpeg to finish it, writes the pictures'
// report and the contact sheet. Does nothing while capFinish runs. The
// caller ends the process next.
void capAbort();
