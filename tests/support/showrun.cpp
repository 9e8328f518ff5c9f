#include "showrun.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "recgl/recgl.h"
#include "support.h"

ShowHome::ShowHome() { dir = MakeTempDir("home"); }
ShowHome::~ShowHome() { RemoveTree(dir); }

void ShowHome::put(const std::string& relPath, const std::string& data) const {
    for (size_t s = relPath.find('/'); s != std::string::npos; s = relPath.find('/', s + 1))
        mkdir((dir + "/" + relPath.substr(0, s)).c_str(), 0755);
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
    for (size_t i = 0; i < lines.size() && w < wanted.size(); ++i)
        if (lines[i] == wanted[w]) ++w;
    return w == wanted.size();
}

int FindLine(const std::vector<std::string>& lines, const std::string& line, int from) {
    for (size_t i = from < 0 ? 0 : (size_t)from; i < lines.size(); ++i)
        if (lines[i] == line) return (int)i;
    return -1;
}

int CountLines(const std::vector<std::string>& lines, const std::string& line) {
    int n = 0;
    for (const std::string& l : lines) n += l == line;
    return n;
}

namespace {

long nowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

}  // namespace

ShowRun RunShow(const ShowHome& home, const ShowRunOptions& o) {
    std::string tracePath = home.path("trace.txt");
    unlink(tracePath.c_str());
    unlink(home.path("debug.log").c_str());

    std::vector<std::string> args;
    if (o.xvfb) args = {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"};
    args.push_back(ShowDir() + "/vexil2");
    args.push_back("-v");
    if (o.step > 0) args.insert(args.end(), {"--step", std::to_string(o.step)});
    args.insert(args.end(), {"--home", home.dir});
    args.insert(args.end(), o.args.begin(), o.args.end());

    std::vector<std::string> env = {"ALSOFT_DRIVERS=null"};
    if (o.recordGl)
        env.insert(env.end(), {"VELMAR_MODULE_OPENGL32_DLL=" + RecglPath(), "VELMAR_MODULE_GLU32_DLL=" + RecgluPath(),
                               "VELMAR_RECGL_TRACE=" + tracePath});
    if (o.fakeWm) env.insert(env.end(), {"VELMAR_MODULE_WM=" + FakeWmPath(), "VELMAR_FAKEWM_TRACE=" + tracePath});
    env.insert(env.end(), o.env.begin(), o.env.end());

    std::string outPath = home.path("stdout.txt"), errPath = home.path("stderr.txt");
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);  // one group: xvfb-run's server goes with it
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        dup2(out, 1), dup2(err, 2), dup2(in, 0);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        for (const std::string& kv : env) {
            size_t eq = kv.find('=');
            if (eq != std::string::npos) setenv(kv.substr(0, eq).c_str(), kv.c_str() + eq + 1, 1);
        }
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }

    ShowRun r;
    int status = 0;
    long start = nowMs();
    int sent = 0;
    long seenAt = -1, lastSignal = -1;  // when the awaited log line appeared, the last signal
    for (;;) {
        pid_t w = waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            if (lastSignal >= 0) r.exitMsAfterSignal = nowMs() - start - lastSignal;
            break;
        }
        long elapsed = nowMs() - start;
        if (!o.terminateAfter.empty() && sent < o.terminateCount) {
            if (seenAt < 0 && FindLine(SplitLines(ReadFileText(home.path("debug.log"))), o.terminateAfter) >= 0)
                seenAt = elapsed;
            if (seenAt >= 0 && elapsed - seenAt >= o.terminateDelayMs + sent * o.terminateGapMs) {
                kill(pid, o.terminateSignal);
                sent++;
                lastSignal = elapsed;
            }
        }
        if (elapsed > o.timeoutSeconds * 1000L) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.timedOut = true;
            break;
        }
        usleep(2000);
    }
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFileText(outPath);
    r.err = ReadFileText(errPath);
    r.log = SplitLines(ReadFileText(home.path("debug.log")));
    r.trace = SplitLines(ReadFileText(tracePath));
    return r;
}
