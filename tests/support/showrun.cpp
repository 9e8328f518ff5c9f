#include "showrun.h"

#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "recgl/recgl.h"
#include "support.h"

ShowHome::ShowHome() : dir(MakeTempDir("home")) {}
ShowHome::~ShowHome() { RemoveTree(dir); }
void ShowHome::put(const std::string& relPath, const std::string& data) const {
    for (size_t s = relPath.find('/'); s != std::string::npos; s = relPath.find('/', s + 1))
        mkdir(path(relPath.substr(0, s)).c_str(), 0755);
    WriteFile(path(relPath), data);
}
std::string TimelineLine(int start, int part, int offset, double p1, double p2) {
    char b[128];
    snprintf(b, sizeof b, "%-17s%6d %2d %7d %8.1f %7.1f %7.1f %7.1f %7.1f\n", "entry", start, part, offset, p1, p2,
             0.0, 0.0, 0.0);
    return b;
}
std::string FakeWmPath() { return RecglDir() + "/FakeWM.so"; }
bool XvfbAvailable() { return access("/usr/bin/xvfb-run", X_OK) == 0 && access("/usr/bin/Xvfb", X_OK) == 0; }

bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
    size_t w = 0;
    for (size_t i = 0; i < lines.size() && w < wanted.size(); ++i) w += lines[i] == wanted[w];
    return w == wanted.size();
}
int FindLine(const std::vector<std::string>& lines, const std::string& line, int from) {
    auto it = std::find(lines.begin() + std::min<size_t>(std::max(from, 0), lines.size()), lines.end(), line);
    return it == lines.end() ? -1 : (int)(it - lines.begin());
}
int CountLines(const std::vector<std::string>& lines, const std::string& line) {
    return (int)std::count(lines.begin(), lines.end(), line);
}

ShowRun RunShow(const ShowHome& home, const ShowRunOptions& o) {
    std::string tracePath = home.path("trace.txt"), logPath = home.path("debug.log");
    unlink(tracePath.c_str());
    unlink(logPath.c_str());
    std::vector<std::string> args;
    if (o.xvfb) args = {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"};
    args.insert(args.end(), {ShowDir() + "/vexil2", "-v"});
    if (o.step > 0) args.insert(args.end(), {"--step", std::to_string(o.step)});
    args.insert(args.end(), {"--home", home.dir});
    args.insert(args.end(), o.args.begin(), o.args.end());
    std::vector<std::string> env = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "ALSOFT_DRIVERS=null"};
    if (o.recordGl)
        env.insert(env.end(), {"VELMAR_MODULE_OPENGL32_DLL=" + RecglPath(), "VELMAR_MODULE_GLU32_DLL=" + RecgluPath(),
                               "VELMAR_RECGL_TRACE=" + tracePath});
    if (o.fakeWm) env.insert(env.end(), {"VELMAR_MODULE_WM=" + FakeWmPath(), "VELMAR_FAKEWM_TRACE=" + tracePath});
    env.insert(env.end(), o.env.begin(), o.env.end());

    // One process group: xvfb-run's server goes with it.
    std::string outPath = home.path("stdout.txt"), errPath = home.path("stderr.txt");
    pid_t pid = StartProgram(args, env, outPath, errPath, true, false);

    ShowRun r;
    int status = 0, sent = 0;
    using namespace std::chrono;
    auto start = steady_clock::now();
    auto sinceStart = [&] { return (long)duration_cast<milliseconds>(steady_clock::now() - start).count(); };
    long seenAt = -1, lastSignal = -1;  // when the awaited log line appeared, the last signal
    while (waitpid(pid, &status, WNOHANG) != pid) {
        long elapsed = sinceStart();
        if (!o.terminateAfter.empty() && sent < o.terminateCount) {
            if (seenAt < 0 && FindLine(SplitLines(ReadFileText(logPath)), o.terminateAfter) >= 0) seenAt = elapsed;
            if (seenAt >= 0 && elapsed - seenAt >= o.terminateDelayMs + sent * o.terminateGapMs)
                kill(pid, o.terminateSignal), sent++, lastSignal = elapsed;
        }
        if (elapsed > o.timeoutSeconds * 1000L) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.timedOut = true;
            break;
        }
        usleep(2000);
    }
    if (!r.timedOut && lastSignal >= 0) r.exitMsAfterSignal = sinceStart() - lastSignal;
    r.code = ExitCode(status), r.out = ReadFileText(outPath), r.err = ReadFileText(errPath);
    r.log = SplitLines(ReadFileText(logPath)), r.trace = SplitLines(ReadFileText(tracePath));
    return r;
}
