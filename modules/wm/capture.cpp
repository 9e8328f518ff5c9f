// The running capture: ffmpeg, the frames and their sound, the pictures,
// the progress line. See capture.h.
#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>

#include "capture.h"

extern char** environ;

namespace {

// The few GL calls the read-back needs, from the window's context.
const unsigned kGlRgba = 0x1908, kGlUnsignedByte = 0x1401, kGlPackAlignment = 0x0D05, kGlReadBuffer = 0x0C02,
               kGlBack = 0x0405;
struct CaptureGl {
    void (*glReadPixels)(int, int, int, int, unsigned, unsigned, void*);
    void (*glPixelStorei)(unsigned, int);
    void (*glGetIntegerv)(unsigned, int*);
    void (*glReadBuffer)(unsigned);
};

// OpenAL as the program loaded it; the loopback device is the current
// context's while the music exists.
struct CaptureAl {
    bool found;
    void* (*alcGetCurrentContext)(void);
    void* (*alcGetContextsDevice)(void*);
    void (*alcRenderSamplesSOFT)(void*, void*, int);
};

// Bytes on their way to one of ffmpeg's pipes. Writes never block: ffmpeg
// reads its two inputs in its own order (a sound packet may need the next
// frame's samples), so a frame that does not fit its pipe waits here while
// the show draws on.
struct CaptureQueue {
    int fd;  // -1 = closed
    std::vector<uint8_t> data;
    size_t sent;
    uint64_t total;  // bytes written to the pipe since it opened
};

// How much may wait before the show waits for ffmpeg instead.
const size_t kQueueLimit = 64u << 20;
const int kStallSeconds = 60;  // ffmpeg taking nothing for this long has hung
// Ending at once: how long ffmpeg may take the frames that wait, then the
// rest of a half-sent one, then to finish the file, before the program goes
// without waiting.
const double kAbortSendSeconds = 0.5, kAbortWholeSeconds = 0.25, kAbortFinishSeconds = 5.0;

struct CaptureState {
    CapturePlan plan;
    bool active;     // any capture asked for
    bool finished;
    WmBaseLink base;
    CaptureGl gl;
    CaptureAl al;
    // The video.
    pid_t ffmpeg;                 // 0 = not running
    CaptureQueue video, audio;    // our ends of its pipes
    bool videoFailed;      // ffmpeg stopped taking data
    int exitStatus;        // ffmpeg's, once reaped while sending
    bool videoStarted;
    int32_t videoWidth, videoHeight;  // even: H.264 in 4:2:0 needs it
    std::vector<uint8_t> pixels;      // the frame read back, RGBA bottom row first
    std::vector<float> sound;
    // Where the run stands.
    int64_t frames;           // frames taken (sent, pictured) so far
    int64_t presented;        // frames presented, taken or not
    int64_t playFrame;        // presented frame at which the show clock started, -1 before
    int32_t lastShowMs;
    size_t nextShot;
    int32_t nextThumbMs;
    std::vector<CaptureThumb> thumbs;
    bool sheetFull;
    int shotsWritten;
    bool wantsEnd;
    bool failed;     // something asked for was not written
    // Progress.
    double startSeconds;
    double playSeconds;  // when play began (a segment's catching up begins)
    double catchUpSeconds;  // a segment's frames before its first taken one
    int64_t catchUpFrames;
    double lastProgress;
    bool terminal;
    bool progressShown;  // an in-place line waits for its line feed
} g{};

// The show's thread holds g_lock while it hands ffmpeg data or finishes the
// capture; capAbort takes it from the watchdog's thread.
std::timed_mutex g_lock;
std::atomic<bool> g_aborting{false};

double nowSeconds() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

void log(const std::string& line) { wmLog(g.base, "[wm] capture: " + line); }

// A line of its own on standard error, after any progress line.
void say(const std::string& text) {
    std::string s = (g.progressShown ? "\n" : "") + text + "\n";
    g.progressShown = false;
    if (write(2, s.data(), s.size()) < 0) {}
    log(text.substr(text.find(": ") == std::string::npos ? 0 : text.find(": ") + 2));
}

[[noreturn]] void refuse(const std::string& text) {
    std::string s = "vexil2: cannot capture: " + text + "\n";
    if (write(2, s.data(), s.size()) < 0) {}
    wmLog(g.base, "[wm] capture refused: " + text);
    _exit(2);
}

std::string folderOf(const std::string& path) {
    size_t s = path.rfind('/');
    return s == std::string::npos ? "." : (s == 0 ? "/" : path.substr(0, s));
}

bool writableFolder(const std::string& dir) {
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(dir.c_str(), W_OK | X_OK) == 0;
}

// mkdir -p
bool makeFolders(const std::string& dir) {
    for (size_t s = dir.find('/', 1); s != std::string::npos; s = dir.find('/', s + 1))
        if (mkdir(dir.substr(0, s).c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return false;
    return writableFolder(dir);
}

void closeQueue(CaptureQueue& q) {
    if (q.fd >= 0) close(q.fd);
    q.fd = -1;
    q.data = std::vector<uint8_t>();
    q.sent = 0;
}

size_t pending(const CaptureQueue& q) { return q.fd >= 0 ? q.data.size() - q.sent : 0; }

void enqueue(CaptureQueue& q, const void* bytes, size_t n) {
    if (q.fd < 0) return;
    // Drop what has gone before the buffer grows.
    if (q.sent > 0 && q.sent == q.data.size()) q.data.clear(), q.sent = 0;
    else if (q.sent >= (8u << 20)) q.data.erase(q.data.begin(), q.data.begin() + (ptrdiff_t)q.sent), q.sent = 0;
    q.data.insert(q.data.end(), (const uint8_t*)bytes, (const uint8_t*)bytes + n);
}

// Writes what the pipe takes now; false when ffmpeg has closed it.
bool push(CaptureQueue& q) {
    while (pending(q) > 0) {
        ssize_t w = write(q.fd, q.data.data() + q.sent, pending(q));
        if (w < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        q.sent += (size_t)w;
        q.total += (uint64_t)w;
    }
    return true;
}

// Sends until at most `limit` bytes wait, waiting on both pipes at once;
// false when ffmpeg stopped taking them (closed, ended, or stalled), or when
// the capture is being ended at once.
bool drain(size_t limit) {
    double stalledSince = -1;
    for (;;) {
        if (g_aborting) return false;
        if (!push(g.video) || !push(g.audio)) return false;
        size_t waiting = pending(g.video) + pending(g.audio);
        if (waiting <= limit) return true;
        struct pollfd fds[2];
        int n = 0;
        for (CaptureQueue* q : {&g.video, &g.audio})
            if (pending(*q) > 0) fds[n++] = {q->fd, POLLOUT, 0};
        int r = poll(fds, (nfds_t)n, 100);
        if (r < 0 && errno != EINTR) return false;
        if (r > 0) {
            stalledSince = -1;
            continue;
        }
        int status = 0;
        if (waitpid(g.ffmpeg, &status, WNOHANG) == g.ffmpeg) {
            g.ffmpeg = -g.ffmpeg;  // ended: finishVideo reports it
            g.exitStatus = status;
            return false;
        }
        double now = nowSeconds();
        if (stalledSince < 0) stalledSince = now;
        else if (now - stalledSince > kStallSeconds) return false;
    }
}

void bindGl() {
    g.gl.glReadPixels = (decltype(g.gl.glReadPixels))SDL_GL_GetProcAddress("glReadPixels");
    g.gl.glPixelStorei = (decltype(g.gl.glPixelStorei))SDL_GL_GetProcAddress("glPixelStorei");
    g.gl.glGetIntegerv = (decltype(g.gl.glGetIntegerv))SDL_GL_GetProcAddress("glGetIntegerv");
    g.gl.glReadBuffer = (decltype(g.gl.glReadBuffer))SDL_GL_GetProcAddress("glReadBuffer");
}

// Finds the OpenAL the program opened (never loads one of our own).
void findAl() {
    if (g.al.found) return;
    const char* name = getenv("VELMAR_MODULE_OPENAL32");
    void* h = dlopen(name && *name ? name : "libopenal.so.1", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (!h) return;
    g.al.alcGetCurrentContext = (decltype(g.al.alcGetCurrentContext))dlsym(h, "alcGetCurrentContext");
    g.al.alcGetContextsDevice = (decltype(g.al.alcGetContextsDevice))dlsym(h, "alcGetContextsDevice");
    g.al.alcRenderSamplesSOFT = (decltype(g.al.alcRenderSamplesSOFT))dlsym(h, "alcRenderSamplesSOFT");
    dlclose(h);  // the program holds it until after the capture ends
    g.al.found = g.al.alcGetCurrentContext && g.al.alcGetContextsDevice && g.al.alcRenderSamplesSOFT;
}

// The sound of frame `frame`: the loopback device's mix, or silence while
// there is no music (loading, --nosound's absence of a track aside).
void takeSound(int64_t frame) {
    int64_t n = capAudioFramesBefore(frame + 1, g.plan.fps) - capAudioFramesBefore(frame, g.plan.fps);
    g.sound.assign((size_t)n * WM_CAPTURE_CHANNELS, 0.0f);
    findAl();
    if (g.al.found && n > 0)
        if (void* context = g.al.alcGetCurrentContext())
            if (void* device = g.al.alcGetContextsDevice(context))
                g.al.alcRenderSamplesSOFT(device, g.sound.data(), (int)n);
}

void videoStopped(const char* why) {
    if (g.videoFailed) return;
    g.videoFailed = true;
    closeQueue(g.video);
    closeQueue(g.audio);
    say(std::string("capture: ") + why + ": ending the show");
    g.wantsEnd = true;
}

// `soundFrame` numbers the frame's slice of sound: the video's frame in a
// whole capture, the play frame in a segment (whose sound must line up with
// a whole run's, loading screen or not).
void sendFrame(int64_t soundFrame) {
    if (g.ffmpeg <= 0 || g.videoFailed) return;
    // Rows of the even-sized picture, whatever the drawing area's width.
    if (!g.plan.soundOnly) enqueue(g.video, g.pixels.data(), (size_t)g.videoWidth * g.videoHeight * 4);
    if (g.plan.sound) {
        takeSound(soundFrame);
        enqueue(g.audio, g.sound.data(), g.sound.size() * sizeof(float));
    }
    if (!drain(kQueueLimit) && !g_aborting) videoStopped("ffmpeg stopped taking frames");
}

void readPixels(int32_t width, int32_t height) {
    g.pixels.resize((size_t)width * height * 4);
    if (!g.gl.glReadPixels) return;
    int alignment = 4, readBuffer = (int)kGlBack;
    if (g.gl.glGetIntegerv) {
        g.gl.glGetIntegerv(kGlPackAlignment, &alignment);
        g.gl.glGetIntegerv(kGlReadBuffer, &readBuffer);
    }
    if (g.gl.glPixelStorei) g.gl.glPixelStorei(kGlPackAlignment, 1);
    if (g.gl.glReadBuffer) g.gl.glReadBuffer(kGlBack);
    g.gl.glReadPixels(0, 0, width, height, kGlRgba, kGlUnsignedByte, g.pixels.data());
    if (g.gl.glPixelStorei) g.gl.glPixelStorei(kGlPackAlignment, alignment);
    if (g.gl.glReadBuffer) g.gl.glReadBuffer((unsigned)readBuffer);
}

// Play that begins later than 0 (--start) never shows the times before it.
void skipShotsBefore(int32_t showMs) {
    const CapturePlan& p = g.plan;
    while (g.nextShot < p.shotTimes.size() && p.shotTimes[g.nextShot] < showMs) {
        say("capture: no picture at " + std::to_string(p.shotTimes[g.nextShot]) + " ms: play began at " +
            std::to_string(showMs) + " ms");
        g.nextShot++;
    }
    if (!p.shotTimes.empty() && g.nextShot == p.shotTimes.size()) g.wantsEnd = true;
}

void takePictures(int32_t width, int32_t height, int32_t showMs) {
    const CapturePlan& p = g.plan;
    bool shot = g.nextShot < p.shotTimes.size() && p.shotTimes[g.nextShot] <= showMs;
    if (shot) {
        CaptureImage im = capUpright(g.pixels.data(), width, height);
        // A frame may be the first at or after several of the times.
        while (g.nextShot < p.shotTimes.size() && p.shotTimes[g.nextShot] <= showMs) {
            std::string file = p.shotsDir + "/" + capShotName(p.shotTimes[g.nextShot]);
            if (capWritePng(file, im)) {
                g.shotsWritten++;
                log("shot " + file + " (show time " + std::to_string(showMs) + " ms)");
            } else {
                g.failed = true;
                say("capture: cannot write " + file);
            }
            g.nextShot++;
        }
        if (g.nextShot == p.shotTimes.size()) g.wantsEnd = true;
    }
    if (!p.sheet.empty() && showMs >= g.nextThumbMs && !g.sheetFull) {
        if (g.thumbs.size() >= kSheetMaxPictures) {
            g.sheetFull = true;
            say("capture: the contact sheet is full (" + std::to_string(kSheetMaxPictures) +
                " pictures): a larger --every takes the whole show");
        } else {
            g.thumbs.push_back({showMs, capThumbnail(g.pixels.data(), width, height, kSheetThumbWidth)});
            g.nextThumbMs = (showMs / p.every + 1) * p.every;
        }
    }
}

int32_t endMs() {
    int32_t end = g.plan.to >= 0 ? g.plan.to : kCaptureShowEndMs;
    if (!g.plan.shotTimes.empty()) end = std::min(end, g.plan.shotTimes.back());
    return end;
}

void showProgress(bool force) {
    double now = nowSeconds();
    double every = g.terminal ? 0.25 : 2.0;
    if (!force && now - g.lastProgress < every) return;
    g.lastProgress = now;
    CaptureProgress pr{g.frames, g.playFrame >= 0 ? g.lastShowMs : -1, endMs(), g.plan.fps, now - g.startSeconds};
    std::string text = capProgressText(pr);
    std::string s = g.terminal ? "\r" + text + "\x1b[K" : text + "\n";
    g.progressShown = g.terminal;
    if (write(2, s.data(), s.size()) < 0) {}
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

// After ffmpeg's end (`reaped` > 0 with its status): the line that says what
// was written, or the failure, and the file removed.
void reportVideo(pid_t reaped, int status, int64_t frames) {
    const CapturePlan& p = g.plan;
    bool ok = reaped > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && !g.videoFailed;
    if (!ok) {
        g.failed = true;
        unlink(p.video.c_str());
        say("capture: ffmpeg failed (" + (reaped > 0 ? describeStatus(status) : std::string("lost")) +
            "): no video was written");
        return;
    }
    char b[64];
    snprintf(b, sizeof b, "%.3f", (double)frames / p.fps);
    // A segment says what catching up cost (velmar capture adds it up).
    char c[128] = "";
    if (p.from >= 0 || p.soundOnly)
        snprintf(c, sizeof c, "; caught up %lld frames in %.3f s", (long long)g.catchUpFrames, g.catchUpSeconds);
    if (p.soundOnly) {
        say("capture: wrote " + p.video + ": the sound of " + std::to_string(frames) + " frames (" + b + " s) at " +
            std::to_string(p.fps) + " fps" + c);
        return;
    }
    say("capture: wrote " + p.video + ": " + std::to_string(frames) + " frames (" + b + " s) at " +
        std::to_string(p.fps) + " fps, " + std::to_string(g.videoWidth) + "x" + std::to_string(g.videoHeight) +
        (p.sound ? ", with sound" : ", without sound") + c);
}

// False when there is no video to finish (and says why).
bool videoToFinish() {
    if (g.plan.video.empty()) return false;
    if (g.ffmpeg != 0) return true;
    g.failed = true;
    say(g.videoFailed ? "capture: no video was written"
                      : "capture: the show stopped before its first frame: no video was written");
    return false;
}

void finishVideo() {
    if (!videoToFinish()) return;
    if (!g.videoFailed && !drain(0)) videoStopped("ffmpeg stopped taking frames");
    closeQueue(g.video);
    closeQueue(g.audio);
    if (g.terminal) showProgress(true);
    int status = g.exitStatus;
    pid_t w = -g.ffmpeg;  // already reaped
    if (g.ffmpeg > 0)
        while ((w = waitpid(g.ffmpeg, &status, 0)) < 0 && errno == EINTR) {}
    g.ffmpeg = 0;
    reportVideo(w, status, g.frames);
}

// Sends what waits while ffmpeg takes it, for at most `seconds`; then only
// the rest of a half-sent frame (and sound sample), for `extra` seconds
// more, so the video ends on a whole frame.
void sendRest(int64_t frameBytes, double seconds, double extra) {
    struct Part {
        CaptureQueue* q;
        uint64_t unit;
    } parts[2] = {{&g.video, (uint64_t)frameBytes}, {&g.audio, WM_CAPTURE_CHANNELS * sizeof(float)}};
    double now = nowSeconds(), all = now + seconds, until = all + extra;
    while (now < until) {
        struct pollfd fds[2];
        int n = 0;
        for (Part& p : parts) {
            CaptureQueue& q = *p.q;
            uint64_t want = now < all ? pending(q) : (p.unit - q.total % p.unit) % p.unit;
            want = std::min<uint64_t>(want, pending(q));
            if (q.fd < 0 || want == 0) continue;
            ssize_t w = write(q.fd, q.data.data() + q.sent, (size_t)want);
            if (w < 0 && errno != EAGAIN && errno != EINTR) continue;  // ffmpeg has gone
            if (w > 0) q.sent += (size_t)w, q.total += (uint64_t)w;
            if (w < (ssize_t)want) fds[n++] = {q.fd, POLLOUT, 0};
        }
        if (n == 0) return;  // all sent, or ffmpeg has gone
        poll(fds, (nfds_t)n, (int)(((now < all ? all : until) - now) * 1000) + 1);
        now = nowSeconds();
    }
}

// The show is ending at once: ffmpeg gets the end of its input now.
void abortVideo() {
    if (!videoToFinish()) return;
    int64_t frameBytes = (int64_t)g.videoWidth * g.videoHeight * 4;
    if (!g.videoFailed && frameBytes > 0) sendRest(frameBytes, kAbortSendSeconds, kAbortWholeSeconds);
    int64_t frames = frameBytes > 0 ? (int64_t)(g.video.total / (uint64_t)frameBytes) : 0;
    closeQueue(g.video);
    closeQueue(g.audio);
    int status = g.exitStatus;
    pid_t w = -g.ffmpeg;
    double until = nowSeconds() + kAbortFinishSeconds;
    if (g.ffmpeg > 0) {
        while ((w = waitpid(g.ffmpeg, &status, WNOHANG)) == 0 && nowSeconds() < until) usleep(10000);
        if (w == 0) {
            // Its own process group: it finishes the file after we have gone.
            say("capture: ffmpeg is still finishing " + g.plan.video + " (" + std::to_string(frames) +
                " frames sent); it completes the file by itself");
            return;
        }
    }
    g.ffmpeg = 0;
    reportVideo(w, status, frames);
}

void finishPictures() {
    const CapturePlan& p = g.plan;
    if (!p.shotsDir.empty()) {
        say("capture: wrote " + std::to_string(g.shotsWritten) + (g.shotsWritten == 1 ? " picture" : " pictures") +
            " into " + p.shotsDir);
        for (size_t i = g.nextShot; i < p.shotTimes.size(); ++i)
            say("capture: no picture at " + std::to_string(p.shotTimes[i]) + " ms: the show ended before it");
    }
    if (!p.sheet.empty()) {
        if (g.thumbs.empty()) say("capture: the show ended before its first picture: no contact sheet was written");
        else if (capWritePng(p.sheet, capContactSheet(g.thumbs)))
            say("capture: wrote " + p.sheet + " (" + std::to_string(g.thumbs.size()) + " pictures)");
        else g.failed = true, say("capture: cannot write " + p.sheet);
        g.thumbs.clear();
    }
}

}  // namespace

void capPrepare(const WmBaseLink& base, WmSettings& settings) {
    g = CaptureState{};
    g_aborting = false;
    g.base = base;
    g.video.fd = g.audio.fd = -1;
    g.playFrame = -1;
    settings.captureaudio = 0;
    auto option = [&](const char* key) -> const char* { return base.BS_CfgGet ? base.BS_CfgGet(key) : nullptr; };
    CapturePlan& p = g.plan;
    if (const char* v = option("--capture")) p.video = v;
    if (const char* v = option("--shots")) p.shotsDir = v;
    if (const char* v = option("--contact-sheet")) p.sheet = v;
    g.active = !p.video.empty() || !p.shotsDir.empty() || !p.sheet.empty();
    if (!g.active) return;
    p.fps = wmIntOption(base, "--fps", 60);
    p.every = wmIntOption(base, "--every", 10000);
    p.sound = !wmFlagOption(base, "--nosound");
    if (const char* v = option("--from")) p.from = atoi(v);
    if (const char* v = option("--to")) p.to = atoi(v);
    if (p.to >= 0 && p.from < 0) p.from = 0;  // a segment from the start
    p.soundOnly = wmFlagOption(base, "--sound-only");
    p.lossless = wmFlagOption(base, "--lossless");
    if (!p.shotsDir.empty() && !capParseTimes(option("--at"), p.shotTimes))
        refuse("--shots needs --at with show times in ms, like 0,1500,20000");
    if (!p.video.empty()) {
        const char* named = getenv("VELMAR_FFMPEG");
        p.ffmpeg = capFindProgram(named && *named ? named : "ffmpeg", getenv("PATH"));
        if (p.ffmpeg.empty())
            refuse(named && *named ? std::string("VELMAR_FFMPEG names no program that can be run: ") + named
                                   : "ffmpeg was not found (install the Debian package ffmpeg, or name the "
                                     "program in VELMAR_FFMPEG)");
        if (!writableFolder(folderOf(p.video))) refuse("cannot write into the folder of " + p.video);
        settings.captureaudio = p.sound ? 1 : 0;
    }
    settings.vsync = 0;  // the virtual clock, not the display, sets the pace
    if (!p.shotsDir.empty() && !makeFolders(p.shotsDir)) refuse("cannot make or write the folder " + p.shotsDir);
    if (!p.sheet.empty() && !writableFolder(folderOf(p.sheet))) refuse("cannot write into the folder of " + p.sheet);
    g.terminal = isatty(2) == 1;
    log(std::string("asked for") + (p.video.empty() ? "" : " video " + p.video) +
        (p.shotsDir.empty() ? "" : " pictures into " + p.shotsDir) +
        (p.sheet.empty() ? "" : " contact sheet " + p.sheet) + " at " + std::to_string(p.fps) + " fps");
}

bool capActive() { return g.active && !g.finished; }

bool capFailed() { return g.failed; }

void capWindowReady(int32_t drawWidth, int32_t drawHeight) {
    if (!capActive()) return;
    bindGl();
    g.startSeconds = nowSeconds();
    g.lastProgress = 0;  // the first frame reports at once
    const CapturePlan& p = g.plan;
    if (p.video.empty() || g.ffmpeg > 0) return;
    g.videoWidth = drawWidth & ~1;
    g.videoHeight = drawHeight & ~1;
    if (g.videoWidth <= 0 || g.videoHeight <= 0) {
        say("capture: the picture is too small for a video");
        g.videoFailed = true;
        return;
    }
    // Pipes on descriptors 3 and 4 of ffmpeg; ours close on exec, so it sees
    // the end of its input when we close them (or end in any way).
    int video[2] = {-1, -1}, audio[2] = {-1, -1};
    if (pipe2(video, O_CLOEXEC) != 0 || (p.sound && pipe2(audio, O_CLOEXEC) != 0)) {
        say(std::string("capture: no pipe for ffmpeg: ") + strerror(errno));
        g.videoFailed = true;
        return;
    }
    // Room for a few frames of each, so neither stream waits on the other.
    fcntl(video[1], F_SETPIPE_SZ, 1 << 20);
    if (p.sound) fcntl(audio[1], F_SETPIPE_SZ, 1 << 20);
    // Out of the way of 3 and 4 before they are placed there.
    int videoRead = fcntl(video[0], F_DUPFD_CLOEXEC, 10);
    int audioRead = p.sound ? fcntl(audio[0], F_DUPFD_CLOEXEC, 10) : -1;
    close(video[0]);
    if (p.sound) close(audio[0]);
    // SIGPIPE would end the show without its clean end: a failing ffmpeg is
    // noticed as a failed write instead.
    signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> args = capFfmpegArgs(p, g.videoWidth, g.videoHeight);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, videoRead, 3);
    if (p.sound) posix_spawn_file_actions_adddup2(&actions, audioRead, 4);
    // Its own process group: Ctrl-C on the terminal reaches the show, which
    // then ends and closes the video properly.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, p.ffmpeg.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(videoRead);
    if (audioRead >= 0) close(audioRead);
    if (rc != 0) {
        close(video[1]);
        if (p.sound) close(audio[1]);
        say(std::string("capture: cannot start ") + p.ffmpeg + ": " + strerror(rc));
        g.videoFailed = true;
        return;
    }
    g.ffmpeg = pid;
    g.video.fd = video[1];
    g.audio.fd = p.sound ? audio[1] : -1;
    fcntl(g.video.fd, F_SETFL, O_NONBLOCK);
    if (g.audio.fd >= 0) fcntl(g.audio.fd, F_SETFL, O_NONBLOCK);
    g.videoStarted = true;
    std::string cmd;
    for (const std::string& a : args) cmd += (cmd.empty() ? "" : " ") + a;
    log("ffmpeg: " + cmd);
}

bool capFrame(int32_t drawWidth, int32_t drawHeight) {
    if (!capActive() || drawWidth <= 0 || drawHeight <= 0) return true;
    // Play begins with the program's first clock reset; this frame was drawn
    // at show time 0.
    if (g.playFrame < 0 && g.base.BS_TimerResets && g.base.BS_TimerResets() > 0) {
        g.playFrame = g.presented;
        g.playSeconds = nowSeconds();
        char b[64];
        snprintf(b, sizeof b, "%.3f", (double)g.frames * 1000.0 / g.plan.fps);
        log("the show clock started at frame " + std::to_string(g.frames) + " (video time " + b + " ms)");
    }
    int32_t showMs = g.playFrame >= 0 && g.base.BS_TimerGet ? g.base.BS_TimerGet() : -1;
    if (showMs >= 0) g.lastShowMs = showMs;
    if (showMs > 0 && g.playFrame == g.presented) skipShotsBefore(showMs);
    bool segment = g.plan.from >= 0 || g.plan.soundOnly;
    int64_t playFrame = g.presented - g.playFrame;
    bool taken = !segment || (showMs >= 0 && showMs >= std::max(0, g.plan.from));
    g.presented++;
    if (!taken) {
        // Catching up: the frame's sound is mixed and dropped, so the mix
        // stands where a whole run's does when the first frame is taken.
        if (showMs >= 0 && g.plan.sound && g.ffmpeg > 0) takeSound(playFrame);
        if (showMs >= 0) g.catchUpFrames++, g.catchUpSeconds = nowSeconds() - g.playSeconds;
        showProgress(false);
        return false;
    }
    // The video's picture keeps its first size; pictures take the current one.
    bool video = g.ffmpeg > 0 && !g.videoFailed;
    bool pictures = showMs >= 0 && (!g.plan.shotsDir.empty() || !g.plan.sheet.empty());
    if (video) {
        if (!g.plan.soundOnly) readPixels(g.videoWidth, g.videoHeight);
        std::lock_guard<std::timed_mutex> hold(g_lock);
        sendFrame(segment ? playFrame : g.frames);
    }
    if (pictures) {
        if (!video || g.plan.soundOnly || drawWidth != g.videoWidth || drawHeight != g.videoHeight)
            readPixels(drawWidth, drawHeight);
        takePictures(drawWidth, drawHeight, showMs);
    }
    g.frames++;
    showProgress(false);
    return !g.plan.soundOnly;
}

bool capWantsEnd() { return capActive() && g.wantsEnd; }

void capFinish() {
    std::lock_guard<std::timed_mutex> hold(g_lock);
    if (!g.active || g.finished) return;
    g.finished = true;
    if (g.terminal && g.progressShown) showProgress(true);
    finishVideo();
    finishPictures();
    g.pixels = std::vector<uint8_t>();
}

void capAbort() {
    g_aborting = true;  // the show's thread stops waiting on ffmpeg
    std::unique_lock<std::timed_mutex> hold(g_lock, std::defer_lock);
    // Held longer only by a capture finishing by itself: it ends the file.
    if (!hold.try_lock_for(std::chrono::milliseconds(500))) return;
    if (!g.active || g.finished) return;
    g.finished = true;
    abortVideo();
    finishPictures();
    hold.release();  // the process ends holding it: the show's thread waits
}
