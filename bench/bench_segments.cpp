// Capture at scale: a whole capture against velmar capture's segments run in
// parallel, and what catching up costs.
//
//   build/bench/bench_segments [--to MS] [--fps N] [--sizes 640x480,1024x768] [--show DIR]
//
// For each size: the whole capture (one vexil2, --from 0), then velmar
// capture with J = 1, 2 and the machine's core count (S = J segments), over
// show time [0, MS) (default the whole show, 250000). Prints wall time,
// frames per second, the ratio to real time, and the share of the
// processes' time spent catching up (running earlier frames undrawn).
// Then catching up alone: the cost of a frame run undrawn against drawn.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/support.h"

namespace {

double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Figures {
    double wall = 0, catchUpShare = -1;
    bool ok = false;
    std::string err;
};

Figures timed(const std::vector<std::string>& argv) {
    double t0 = wallNow();
    RunResult r = RunProgram(argv, {"ALSOFT_DRIVERS=null", "DISPLAY", "WAYLAND_DISPLAY"});
    Figures f;
    f.wall = wallNow() - t0;
    f.ok = r.code == 0;
    f.err = r.err;
    if (size_t at = r.err.find("s of it ("); at != std::string::npos) f.catchUpShare = atof(r.err.c_str() + at + 9);
    return f;
}

void row(const std::string& what, const Figures& f, long frames, int fps) {
    if (!f.ok) {
        printf("%-34s failed\n%s\n", what.c_str(), f.err.c_str());
        return;
    }
    double speed = frames / f.wall;
    printf("%-34s %6ld frames %8.1f s %7.1f fps %6.3fx real time", what.c_str(), frames, f.wall, speed, speed / fps);
    if (f.catchUpShare >= 0) printf("  catching up %4.1f %%", f.catchUpShare);
    printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    int to = 250000, fps = 60;
    std::string sizes = "640x480,1024x768", show = ShowDir();
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i];
        if (k == "--to") to = atoi(argv[i + 1]);
        else if (k == "--fps") fps = atoi(argv[i + 1]);
        else if (k == "--sizes") sizes = argv[i + 1];
        else if (k == "--show") show = argv[i + 1];
    }
    if (access("/usr/bin/ffmpeg", X_OK) != 0 || access((show + "/2ddata/timeline.cfg").c_str(), F_OK) != 0) {
        printf("needs ffmpeg and a show in %s: nothing to measure\n", show.c_str());
        return 0;
    }
    long cores = sysconf(_SC_NPROCESSORS_ONLN), frames = ((long)to * fps + 999) / 1000;
    std::string dir = MakeTempDir("segments"), out = dir + "/bench.mp4";
    printf("show: %s, [0, %d) ms at %d fps, %ld cores\n", show.c_str(), to, fps, cores);
    for (size_t a = 0; a < sizes.size();) {
        size_t b = sizes.find(',', a);
        std::string size = sizes.substr(a, b == std::string::npos ? std::string::npos : b - a);
        a = b == std::string::npos ? sizes.size() : b + 1;
        std::string w = size.substr(0, size.find('x')), h = size.substr(size.find('x') + 1);
        std::vector<std::string> common = {"--fps", std::to_string(fps), "--width", w, "--height", h, "--to",
                                           std::to_string(to)};
        std::vector<std::string> whole = {show + "/vexil2", "--capture", out, "--from", "0"};
        whole.insert(whole.end(), common.begin(), common.end());
        printf("%s\n", size.c_str());
        Figures drawn = timed(whole);
        row("  whole capture", drawn, frames, fps);
        std::vector<long> js = {1, 2};
        if (cores > 2) js.push_back(cores);
        for (long j : js) {
            std::vector<std::string> par = {show + "/velmar", "capture", out, "--jobs", std::to_string(j), "--show",
                                            show};
            par.insert(par.end(), common.begin(), common.end());
            row("  velmar capture, J = S = " + std::to_string(j), timed(par), frames, fps);
        }
        // Catching up alone: a one-frame segment at the end against one at
        // the start (both load the show) gives the cost of the frames run
        // undrawn; the whole capture's gives a drawn frame's.
        int last = (int)((frames - 1) * 1000 / fps);
        auto oneFrame = [&](int from) {
            std::vector<std::string> v = {show + "/vexil2", "--capture", out, "--fps", std::to_string(fps), "--width", w,
                                          "--height", h, "--from", std::to_string(from), "--to", std::to_string(from + 1)};
            return timed(v);
        };
        Figures first = oneFrame(0), late = oneFrame(last);
        if (first.ok && late.ok && drawn.ok && frames > 1)
            printf("  a frame run undrawn %.3f ms, drawn and encoded %.3f ms (%.0fx)\n",
                   1000 * (late.wall - first.wall) / (frames - 1), 1000 * drawn.wall / frames,
                   (drawn.wall / frames) / std::max(1e-9, (late.wall - first.wall) / (frames - 1)));
    }
    RemoveTree(dir);
    return 0;
}
