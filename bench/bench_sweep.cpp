// Slow-frame sweep of the default show: every scene over its whole key-frame
// range, and every part over its span, each frame measured against the
// median frame of its scene or part.
//
//   build/bench/bench_sweep [--samples N] [--size WxH] [--step MS] [--show DIR]
//                           [--anisotropy-limit L] [--scenes | --parts]
//
// Scenes: each scene of DIR/3ddata is loaded with its textures (and a pool of
// 5000 particles when it has emitters), then drawn N times (default 500)
// evenly over its camera's key-frame range, in the 256 x 256 viewport the
// parts' glow passes use and at WxH (default 320x240), each draw timed to
// glFinish after three warm-up draws. --anisotropy-limit overrides the driver
// limit the window opener set (0: the driver's maximum, which on llvmpipe
// can take minutes on some of these frames).
// Parts: vexil2 plays the whole show at WxH on the virtual clock (--step,
// default 50 ms a frame, no sound) with --profile; the frames are grouped by
// part. The first frame of each timeline entry is reported apart: it carries
// one-time driver work (a shader or blit compiled at first use).
// Frames more than 10 times their median are marked "SLOW".
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "glbind/glbind.h"
#include "player/profile.h"
#include "player/show.h"
#include "render/particles.h"
#include "render/scenedraw.h"
#include "render/scenedraw_internal.h"
#include "scene/scenefile.h"
#include "support/glwindow.h"
#include "support/support.h"

namespace {

const double kSlowRatio = 10;
const int kSmallSide = 256;
const size_t kShownPerGroup = 3;

struct Options {
    int samples = 500;
    int width = 320, height = 240;
    std::string step = "50";
    std::string show = VELMAR_TEST_SHOW_DIR;
    float anisotropyLimit = -1;  // -1: as the window opener set it
    bool scenes = true, parts = true;
};

struct Timed {
    double ms;
    double at;        // key-frame time or show ms
    std::string tag;  // what else to say about it
};

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// One line per group: median, p99, max and its ratio, and the slowest few.
int report(const std::string& name, const std::vector<Timed>& t, const char* unit) {
    std::vector<double> ms;
    for (const Timed& x : t) ms.push_back(x.ms);
    double median = profMedian(ms);
    std::vector<Timed> slow = t;
    std::stable_sort(slow.begin(), slow.end(), [](const Timed& a, const Timed& b) { return a.ms > b.ms; });
    double worst = slow.empty() ? 0 : slow[0].ms;
    double ratio = median > 0 ? worst / median : 0;
    printf("%-44s %5zu  median %8.2f ms  p99 %8.2f  max %8.2f  (%5.1fx)%s\n", name.c_str(), t.size(), median,
           profPercentile(ms, 99), worst, ratio, ratio > kSlowRatio ? "  SLOW" : "");
    int flagged = 0;
    for (size_t i = 0; i < slow.size() && i < kShownPerGroup; ++i)
        printf("    %s %-10.3f %8.2f ms%s\n", unit, slow[i].at, slow[i].ms, slow[i].tag.c_str());
    for (const Timed& x : t) flagged += median > 0 && x.ms > kSlowRatio * median;
    return flagged;
}

std::vector<std::string> sceneFiles(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.substr(n.size() - 4) == ".vlm") out.push_back(dir + "/" + n);
        }
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool hasEmitters(const Scene& s) {
    for (int32_t i = 0; s.objects && i < s.objectcount; ++i)
        if (s.objects[i].particleenabled) return true;
    return false;
}

double drawOnce(Scene& s, float t, bool particles) {
    double t0 = nowMs();
    clearFrame();
    drawScene(s, t);
    if (particles) runParticles(s, t);
    GL.glFinish();
    return nowMs() - t0;
}

int sweepScenes(const Options& o) {
    std::string why;
    if (!OpenRealWindow(o.width, o.height, &why)) {
        printf("scenes: no window: %s\n", why.c_str());
        return 0;
    }
    if (o.anisotropyLimit >= 0) glAnisotropyLimit = o.anisotropyLimit;
    printf("scenes: %d draws each, anisotropy limit %g (0: the driver's maximum)\n", o.samples, glAnisotropyLimit);
    ShowSetGlState();
    int flagged = 0;
    for (const std::string& file : sceneFiles(o.show + "/3ddata")) {
        Scene s{};
        std::string data = ReadFileText(file);
        LoadSceneData(s, S(file), (const uint8_t*)data.data(), data.size());
        if (!cameraTracksPresent(s)) {
            ReleaseScene(s);
            continue;
        }
        SetupSceneTextures(s, S(o.show + "/Textures"));
        bool particles = hasEmitters(s);
        if (particles) allocParticles(s, 5000);
        float t0 = (float)s.camposkeys[0].frame, t1 = (float)s.camposkeys[s.camposkeycount - 1].frame;
        std::string name = file.substr(file.rfind('/') + 1);
        const int sizes[2][2] = {{kSmallSide, kSmallSide}, {o.width, o.height}};
        for (const auto& size : sizes) {
            GL.glViewport(0, 0, size[0], size[1]);
            // Warm-up: the driver's first-use work (particles drawn only
            // from the second step on).
            for (int i = 0; i < 3; ++i) drawOnce(s, t0, particles);
            std::vector<Timed> t;
            for (int i = 0; i < o.samples; ++i) {
                float at = o.samples > 1 ? t0 + (t1 - t0) * (float)i / (float)(o.samples - 1) : t0;
                t.push_back({drawOnce(s, at, particles), at, ""});
            }
            char label[128];
            snprintf(label, sizeof label, "%s %dx%d", name.c_str(), size[0], size[1]);
            flagged += report(label, t, "t");
            fflush(stdout);
        }
        freeParticles(s);
        ReleaseSceneTextures(s);
        ReleaseScene(s);
    }
    CloseRealWindow();
    return flagged;
}

int sweepParts(const Options& o) {
    std::string csv = MakeTempDir("sweep") + "/profile.csv";
    printf("parts: vexil2 at %dx%d, --step %s, no sound\n", o.width, o.height, o.step.c_str());
    RunResult r = RunProgram({o.show + "/vexil2", "--nosound", "--width", std::to_string(o.width), "--height",
                              std::to_string(o.height), "--step", o.step, "--profile", csv},
                             {"ALSOFT_DRIVERS=null", "DISPLAY=", "WAYLAND_DISPLAY="});
    if (r.code != 0) {
        printf("parts: vexil2 failed (exit %d)\n%s", r.code, r.err.c_str());
        return 0;
    }
    std::map<int, std::vector<Timed>> parts;
    std::vector<Timed> firsts;
    int lastEntry = -2;
    for (const std::string& line : SplitLines(ReadFileText(csv))) {
        int frame, showms, part, entry;
        double draw, present;
        if (sscanf(line.c_str(), "%d,%d,%d,%d,%lf,%lf", &frame, &showms, &part, &entry, &draw, &present) != 6)
            continue;
        Timed t{draw, (double)showms, " part " + std::to_string(part) + " entry " + std::to_string(entry)};
        if (entry != lastEntry) firsts.push_back(t);
        else parts[part].push_back(t);
        lastEntry = entry;
    }
    RemoveTree(csv.substr(0, csv.rfind('/')));
    int flagged = 0;
    for (const auto& [part, t] : parts) flagged += report("part " + std::to_string(part), t, "show ms");
    printf("first frames of the timeline's entries (one-time driver work included):\n");
    std::stable_sort(firsts.begin(), firsts.end(), [](const Timed& a, const Timed& b) { return a.ms > b.ms; });
    for (const Timed& t : firsts) printf("    show ms %-9.0f %8.2f ms%s\n", t.at, t.ms, t.tag.c_str());
    return flagged;
}

bool parseSize(const char* v, int& w, int& h) { return sscanf(v, "%dx%d", &w, &h) == 2 && w > 0 && h > 0; }

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--scenes") o.parts = false;
        else if (a == "--parts") o.scenes = false;
        else if (a == "--samples" && v) o.samples = std::max(1, atoi(v)), ++i;
        else if (a == "--size" && v && parseSize(v, o.width, o.height)) ++i;
        else if (a == "--step" && v) o.step = v, ++i;
        else if (a == "--show" && v) o.show = v, ++i;
        else if (a == "--anisotropy-limit" && v) o.anisotropyLimit = (float)atof(v), ++i;
        else {
            fprintf(stderr,
                    "usage: bench_sweep [--samples N] [--size WxH] [--step MS] [--show DIR] "
                    "[--anisotropy-limit L] [--scenes | --parts]\n");
            return 2;
        }
    }
    BindLinkedBase({"--width", std::to_string(o.width), "--height", std::to_string(o.height)});
    int flagged = 0;
    if (o.scenes) flagged += sweepScenes(o);
    if (o.parts) flagged += sweepParts(o);
    printf("%d frame%s above %gx the median of their scene or part\n", flagged, flagged == 1 ? "" : "s", kSlowRatio);
    return 0;
}
