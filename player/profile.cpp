#include "profile.h"

#include <errno.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

#include "../frame/frame.h"
#include "../glbind/glbind.h"

namespace {

struct ProfileState {
    FILE* file;
    std::string path;
    bool writeFailed;
    std::vector<ProfileFrame> frames;
    ProfileFrame current;
    double frameStart, drawEnd;
} P;

const size_t SlowestShown = 10;

double nowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char b[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(b, sizeof b, fmt, ap);
    va_end(ap);
    return b;
}

std::string statsRow(const std::string& label, const std::vector<double>& draw) {
    return format("%-8s %7zu %9.2f %9.2f %9.2f\n", label.c_str(), draw.size(), profMedian(draw),
                  profPercentile(draw, 99), draw.empty() ? 0.0 : *std::max_element(draw.begin(), draw.end()));
}

void writeFailed() {
    if (P.writeFailed) return;
    P.writeFailed = true;
    fprintf(stderr, "vexil2: cannot write the profile %s: %s\n", P.path.c_str(), strerror(errno));
}

}  // namespace

double profMedian(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double profPercentile(std::vector<double> v, double percent) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    double rank = std::ceil(percent / 100.0 * (double)v.size());
    size_t i = rank < 1 ? 0 : std::min(v.size(), (size_t)rank) - 1;
    return v[i];
}

std::string profSummary(const std::vector<ProfileFrame>& frames) {
    std::vector<double> all;
    std::map<int32_t, std::vector<double>> parts;
    for (const ProfileFrame& f : frames) {
        all.push_back(f.drawms);
        parts[f.part].push_back(f.drawms);
    }
    std::string s = "draw_ms   frames    median       p99       max\n";
    s += statsRow("show", all);
    for (const auto& [part, draw] : parts) s += statsRow(part ? "part " + std::to_string(part) : "no part", draw);
    std::vector<ProfileFrame> slow = frames;
    std::stable_sort(slow.begin(), slow.end(),
                     [](const ProfileFrame& a, const ProfileFrame& b) { return a.drawms > b.drawms; });
    if (slow.size() > SlowestShown) slow.resize(SlowestShown);
    s += "slowest frames:\n";
    for (const ProfileFrame& f : slow)
        s += format("  frame %d  show %d ms  part %d  entry %d  draw %.2f ms  present %.2f ms\n", f.frame, f.showms,
                    f.part, f.entry, f.drawms, f.presentms);
    return s;
}

void profOpen() {
    P = ProfileState{};
    const char* path = Base.BS_CfgGet ? Base.BS_CfgGet("--profile") : nullptr;
    if (!path || !*path) return;
    P.path = path;
    P.file = fopen(path, "w");
    if (!P.file) {
        fprintf(stderr, "vexil2: cannot write the profile %s: %s\n", path, strerror(errno));
        fflush(stderr);
        _exit(2);
    }
    if (fputs("frame,show_ms,part,entry,draw_ms,present_ms\n", P.file) < 0 || fflush(P.file) != 0) writeFailed();
}

bool profActive() { return P.file != nullptr; }

void profFrameStart() {
    if (P.file) P.frameStart = nowMs();
}

void profFrameDrawn(int32_t showms, int32_t part, int32_t entry) {
    if (!P.file) return;
    GL.glFinish();  // the GL's own work belongs to the frame
    P.drawEnd = nowMs();
    P.current = ProfileFrame{(int32_t)P.frames.size() + 1, showms, part, entry, P.drawEnd - P.frameStart, 0};
}

void profFramePresented() {
    if (!P.file) return;
    ProfileFrame& f = P.current;
    f.presentms = nowMs() - P.drawEnd;
    P.frames.push_back(f);
    if (P.writeFailed) return;
    if (fprintf(P.file, "%d,%d,%d,%d,%.3f,%.3f\n", f.frame, f.showms, f.part, f.entry, f.drawms, f.presentms) < 0 ||
        fflush(P.file) != 0)
        writeFailed();
}

void profFinish() {
    if (!P.file) return;
    if (fclose(P.file) != 0) writeFailed();
    P.file = nullptr;
    std::string s = "profile: " + std::to_string(P.frames.size()) + " frames" +
                    (P.writeFailed ? " (the file is incomplete)" : " written to " + P.path) + "\n" +
                    profSummary(P.frames);
    fputs(s.c_str(), stdout);
    fflush(stdout);
}
