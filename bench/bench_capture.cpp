// Capture speed: the show rendered to video at 1024 x 768, 60 fps.
//
//   build/bench/bench_capture [SECONDS] [SHOWDIR]
//
// Captures the first SECONDS of show time (default 10) of the show in
// SHOWDIR (default: the build's show folder; when that holds no show data
// yet, the tests' miniature show), three ways: video with sound, video
// without sound, and no video (the same frames drawn on the virtual clock,
// with one picture at the end). Prints frames, wall time, frames per second
// and the ratio to real time (above 1: faster than the show plays). The wall
// time includes loading; its frames are counted too.
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "support/minishow.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

const int kFps = 60;

bool exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Frames the run presented: the capture's own count.
long framesOf(const ShowRun& r) {
    const std::string mark = "frames (";
    size_t at = r.err.find(mark);
    if (at == std::string::npos) return -1;
    size_t start = r.err.rfind(' ', at - 2);
    return atol(r.err.c_str() + start + 1);
}

long playFrameOf(const ShowRun& r) {
    const std::string mark = "[wm] capture: the show clock started at frame ";
    for (const std::string& l : r.log)
        if (l.rfind(mark, 0) == 0) return atol(l.c_str() + mark.size());
    return -1;
}

void report(const char* what, const ShowRun& r, double wall, long frames) {
    if (r.code != 0 || frames <= 0) {
        printf("%-28s failed (exit %d)\n%s\n", what, r.code, r.err.c_str());
        return;
    }
    double fps = frames / wall;
    printf("%-28s %6ld frames  %7.2f s  %7.1f fps  %5.2fx real time\n", what, frames, wall, fps, fps / kFps);
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
    int seconds = argc > 1 ? atoi(argv[1]) : 10;
    if (seconds <= 0) seconds = 10;
    std::string showDir = argc > 2 ? argv[2] : ShowDir();
    if (access("/usr/bin/ffmpeg", X_OK) != 0) {
        printf("ffmpeg is not installed: nothing to measure\n");
        return 0;
    }
    setenv("VELMAR_MODULE_BASE", (ModuleDir() + "/Base.so").c_str(), 0);
    BindLinkedBase();
    ShowHome home;
    const char* folders[] = {"2ddata", "3ddata", "Textures"};
    bool full = exists(showDir + "/2ddata/timeline.cfg");
    if (full) {
        for (const char* f : folders)
            if (symlink((showDir + "/" + f).c_str(), home.path(f).c_str()) != 0 && exists(showDir + "/" + f))
                perror(f);
        printf("show: %s\n", showDir.c_str());
    } else {
        PutMiniShow(home);
        printf("show: the miniature test show (no show data in %s yet)\n", showDir.c_str());
    }
    printf("capture of %d s of show time at 1024 x 768, %d fps (loading included)\n", seconds, kFps);

    std::string end = std::to_string(seconds * 1000);
    std::vector<std::string> base = {"--width", "1024", "--height", "768", "--fps", std::to_string(kFps),
                                     "--shots", home.path("shots"), "--at", end};
    struct Way {
        const char* name;
        std::vector<std::string> extra;
        bool video;
    } ways[] = {
        {"video with sound", {"--capture", home.path("bench.mp4")}, true},
        {"video without sound", {"--capture", home.path("bench.mp4"), "--nosound"}, true},
        {"no video (drawing alone)", {}, false},
    };
    for (const Way& w : ways) {
        std::vector<std::string> args = base;
        args.insert(args.end(), w.extra.begin(), w.extra.end());
        double t0 = wallNow();
        ShowRun r = RunShow(home, {.step = 0, .args = args, .timeoutSeconds = 3600});
        double wall = wallNow() - t0;
        long frames = w.video ? framesOf(r) : -1;
        if (!w.video) {
            long k0 = playFrameOf(r);
            frames = k0 < 0 ? -1 : k0 + ((long)seconds * 1000 * kFps + 999) / 1000 + 1;
        }
        report(w.name, r, wall, frames);
        unlink(home.path("bench.mp4").c_str());
    }
    return 0;
}
