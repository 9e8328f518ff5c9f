// showrun.h - whole runs of the show program for tests.
//
// A test lays out a home folder (ShowHome: the show's data files), then runs
// build/show/vexil2 on it headless, with the debug log (-v) and a virtual
// clock (--step), and reads back the exit code, standard output and error,
// debug.log and, when asked, one trace file in which the recording GL and
// the fake window manager both write their calls in call order:
//   ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
// Modules come from beside the program (build/show/Modules); any of them can
// be replaced through `env` ("VELMAR_MODULE_WM=/path"). Options are given
// with designated initializers; the fields left out keep their defaults.
#pragma once
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <string>
#include <vector>

struct ShowHome {
    std::string dir;
    ShowHome();
    ~ShowHome();
    ShowHome(const ShowHome&) = delete;
    ShowHome& operator=(const ShowHome&) = delete;
    // Writes `data` to dir/relPath, making the folders on the way.
    void put(const std::string& relPath, const std::string& data) const;
    std::string path(const std::string& relPath) const { return dir + "/" + relPath; }
};

// One timeline line in the file's fixed columns (label, start, part, offset,
// p1, p2; p3 to p5 zero), with its line feed.
std::string TimelineLine(int start, int part, int offset, double p1, double p2);

struct ShowRunOptions {
    int step = 1000;                      // --step MS; 0 runs on the real clock
    std::vector<std::string> args;        // more options
    std::vector<std::string> env;         // "NAME=value", after the defaults
    bool recordGl = false;                // recording GL and GLU
    bool fakeWm = false;                  // the fake window manager
    bool xvfb = false;                    // under xvfb-run, with a display
    std::string terminateAfter;           // send SIGTERM once debug.log holds this line
    int terminateDelayMs = 200;           // ... and this much later
    int terminateSignal = 15;             // ... or this signal (SIGINT 2)
    int terminateCount = 1;               // ... this many times
    int terminateGapMs = 300;             // ... this far apart
    int timeoutSeconds = 120;             // killed after this, `timedOut` set
};

struct ShowRun {
    int code = -1;  // exit code, or 128 + signal
    bool timedOut = false;
    long exitMsAfterSignal = -1;  // from the last signal sent to the end
    std::string out, err;
    std::vector<std::string> log, trace;  // debug.log line by line; recording GL and fake WM calls
};
ShowRun RunShow(const ShowHome& home, const ShowRunOptions& options = {});

std::string FakeWmPath();  // the fake window manager (testlibs/ of the build tree)
bool XvfbAvailable();

// True when `wanted` occur in `lines` in this order (others may lie between).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted);
// Index of the first line equal to `line` at or after `from`, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& line, int from = 0);
// Lines equal to `line`.
int CountLines(const std::vector<std::string>& lines, const std::string& line);
