// velmar capture - the show captured in segments by several vexil2 processes
// at once (or planned for several machines), joined without re-encoding.
//
// A capture is frame-exact: `vexil2 --capture F --from A --to B` writes the
// frames whose show times lie in [A, B), each the same as in a whole run.
// Segments are captured without sound; the sound is captured once, in a
// pass of its own that draws nothing (--sound-only), so no join can put a
// gap or click into it. ffmpeg's concat demuxer joins the segments' streams
// as they are; every segment file says in its comment tag what it holds.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
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
#include <string>
#include <vector>

#include "../../modules/wm/capture.h"
#include "tool.h"

extern char** environ;

namespace {

const char CaptureHelp[] =
    "usage: velmar capture OUT.mp4 [--fps N] [--width W --height H] [--jobs J] [--segments S]\n"
    "                      [--from MS] [--to MS] [--lossless] [--show DIR]\n"
    "       velmar capture --plan J [OUT.mp4] [the same options]\n"
    "       velmar capture --join OUT.mp4 SEGMENT.mp4... [SOUND.m4a]\n"
    "Captures the show (or [from, to) of it) as S segments (default J), J at a\n"
    "time (default: the machine's cores), each by its own vexil2, then joins\n"
    "them without re-encoding and adds the sound, captured once. One progress\n"
    "line on standard error. A segment that fails fails the whole capture:\n"
    "its message is shown, nothing is left at OUT.\n"
    "  --fps N           frames per second (default 60)\n"
    "  --width, --height picture size (default 1024 x 768)\n"
    "  --lossless        x264 at quantiser 0 (exact pictures, large files)\n"
    "  --show DIR        the show folder (default: the one velmar is in)\n"
    "  --plan J          prints the commands of J segments and of the sound, one\n"
    "                    per line, to run anywhere the show folder is\n"
    "  --join            joins finished segments (and the sound file) into OUT;\n"
    "                    their tags must cover one range without gaps\n";

const int32_t ShowEndMs = kCaptureShowEndMs;

struct Options {
    std::string out = "show.mp4", show, vexil2;
    int32_t fps = 60, width = 1024, height = 768, from = 0, to = ShowEndMs;
    int jobs = 0, segments = 0;
    bool lossless = false;
};

// One vexil2 run: a segment of the picture, or the sound.
struct Job {
    std::string file;
    int32_t from, to;
    bool sound;
    int64_t frames;  // frames it takes
    pid_t pid = 0;
    int err = -1;    // its standard error
    std::string text, lastLine;
    int64_t done = 0;
    bool finished = false;
    double started = 0, seconds = 0, catchUp = 0;  // wall time, and of it catching up
};

volatile sig_atomic_t g_stop = 0;

std::string folderOf(const std::string& path) {
    size_t s = path.rfind('/');
    return s == std::string::npos ? "." : s == 0 ? "/" : path.substr(0, s);
}

std::string stemOf(const std::string& path) {
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

bool isExecutable(const std::string& p) { return access(p.c_str(), X_OK) == 0; }

// Show time of frame k on the capture's clock (exact, as the Base module's).
int32_t frameTime(int64_t k, int32_t fps) { return (int32_t)(k * 1000 / fps); }
// Frames whose show times lie in [from, to).
int64_t firstFrameAt(int32_t ms, int32_t fps) { return ((int64_t)ms * fps + 999) / 1000; }

// vexil2 of the show folder, or the one beside velmar with --home.
void findProgram(Options& o) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string own = n > 0 ? folderOf(std::string(self, (size_t)n)) : ".";
    if (o.show.empty()) o.show = own;
    o.show = absolute(o.show);
    struct stat st;
    if (stat((o.show + "/2ddata").c_str(), &st) != 0) toolFail("no show in " + o.show + " (no 2ddata folder)");
    o.vexil2 = isExecutable(o.show + "/vexil2") ? o.show + "/vexil2" : own + "/vexil2";
    if (!isExecutable(o.vexil2)) toolFail("vexil2 was not found beside velmar or in " + o.show);
}

std::vector<std::string> commandOf(const Options& o, const Job& j) {
    std::vector<std::string> a = {o.vexil2};
    if (o.vexil2.rfind(o.show + "/", 0) != 0) a.insert(a.end(), {"--home", o.show});
    a.insert(a.end(), {"--capture", j.file, "--fps", std::to_string(o.fps), "--from", std::to_string(j.from), "--to",
                       std::to_string(j.to)});
    if (j.sound) {
        a.insert(a.end(), {"--sound-only", "--width", "64", "--height", "64"});
    } else {
        a.insert(a.end(), {"--width", std::to_string(o.width), "--height", std::to_string(o.height), "--nosound"});
        if (o.lossless) a.push_back("--lossless");
    }
    return a;
}

std::string shellWord(const std::string& w) {
    if (!w.empty() && w.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./=:,+") ==
                          std::string::npos)
        return w;
    std::string q = "'";
    for (char c : w) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The segments (frame-aligned, nearly equal) and the sound pass, named
// after OUT in `folder`.
std::vector<Job> planJobs(const Options& o, int segments, const std::string& folder) {
    int64_t first = firstFrameAt(o.from, o.fps), end = firstFrameAt(o.to, o.fps), count = end - first;
    if (count <= 0) toolFail("no frame lies in [" + std::to_string(o.from) + ", " + std::to_string(o.to) + ") ms");
    segments = (int)std::min<int64_t>(segments, count);
    std::vector<Job> jobs;
    std::string base = folder + "/" + stemOf(o.out);
    jobs.push_back({base + ".sound.m4a", o.from, o.to, true, count});
    for (int i = 0; i < segments; ++i) {
        int64_t a = first + count * i / segments, b = first + count * (i + 1) / segments;
        char name[32];
        snprintf(name, sizeof name, ".segment-%03d.mp4", i);
        jobs.push_back({base + name, frameTime(a, o.fps), i + 1 == segments ? o.to : frameTime(b, o.fps), false, b - a});
    }
    return jobs;
}

Options parseOptions(const ToolArgs& a) {
    Options o;
    for (auto& [k, v] : a.options) {
        if (k == "--fps") o.fps = (int32_t)toolInt(k, v);
        else if (k == "--width") o.width = (int32_t)toolInt(k, v);
        else if (k == "--height") o.height = (int32_t)toolInt(k, v);
        else if (k == "--jobs" || k == "--plan") o.jobs = (int)toolInt(k, v);
        else if (k == "--segments") o.segments = (int)toolInt(k, v);
        else if (k == "--from") o.from = (int32_t)toolInt(k, v);
        else if (k == "--to") o.to = (int32_t)toolInt(k, v);
        else if (k == "--show") o.show = v;
        else if (k == "--lossless") o.lossless = true;
    }
    if (o.fps < 1 || o.fps > 1000) toolFail("--fps wants 1 to 1000 frames a second");
    if (o.width < 2 || o.height < 2 || o.width > 16384 || o.height > 16384) toolFail("--width and --height want 2 to 16384");
    if (o.from < 0 || o.to > ShowEndMs || o.to <= o.from) toolFail("--from and --to want 0 <= from < to <= 250000");
    if (o.jobs < 0 || o.segments < 0 || o.jobs > 256 || o.segments > 10000)
        toolFail("--jobs wants 1 to 256, --segments 1 to 10000");
    if (o.jobs == 0) o.jobs = (int)std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
    if (o.segments == 0) o.segments = o.jobs;
    return o;
}

// ---------------------------------------------------------------- running

double nowSeconds() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

bool startJob(const Options& o, Job& j) {
    std::vector<std::string> args = commandOf(o, j);
    std::vector<char*> argv;
    for (std::string& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 2);
    posix_spawnattr_t at;
    posix_spawnattr_init(&at);
    posix_spawnattr_setflags(&at, POSIX_SPAWN_SETPGROUP);  // stopped together with its ffmpeg
    posix_spawnattr_setpgroup(&at, 0);
    int rc = posix_spawn(&j.pid, argv[0], &fa, &at, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&at);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        j.lastLine = std::string("cannot start vexil2: ") + strerror(rc);
        return false;
    }
    j.err = fds[0];
    fcntl(j.err, F_SETFL, O_NONBLOCK);
    j.started = nowSeconds();
    return true;
}

// Reads what the job said: progress lines count its frames, the last other
// line is its message if it fails.
void readJob(Job& j) {
    char buf[4096];
    ssize_t n;
    while ((n = read(j.err, buf, sizeof buf)) > 0) j.text.append(buf, (size_t)n);
    size_t nl;
    while ((nl = j.text.find_first_of("\r\n")) != std::string::npos) {
        std::string line = j.text.substr(0, nl);
        j.text.erase(0, nl + 1);
        long long f = 0;
        size_t caught = line.find("; caught up ");
        if (sscanf(line.c_str(), "capture: frame %lld", &f) == 1) j.done = std::max<int64_t>(j.done, f);
        else if (!line.empty()) j.lastLine = line;
        if (caught != std::string::npos) sscanf(line.c_str() + caught, "; caught up %*lld frames in %lf s", &j.catchUp);
    }
}

void stopAll(std::vector<Job>& jobs) {
    for (Job& j : jobs)
        if (j.pid > 0 && !j.finished) kill(-j.pid, SIGTERM);
    for (Job& j : jobs)
        if (j.pid > 0 && !j.finished) waitpid(j.pid, nullptr, 0), j.finished = true;
}


void progress(const std::vector<Job>& jobs, int64_t total, int32_t fps, double started, bool terminal, bool last) {
    int64_t done = 0;
    int running = 0, finished = 0;
    for (const Job& j : jobs) {
        if (!j.sound) done += j.finished ? j.frames : j.done;
        running += j.pid > 0 && !j.finished;
        finished += j.finished;
    }
    double secs = nowSeconds() - started, speed = secs > 0 ? done / secs : 0;
    char b[256];
    int n = snprintf(b, sizeof b, "capture: %lld/%lld frames  %.1f fps  %.2fx real time", (long long)done,
                     (long long)total, speed, speed / fps);
    if (speed > 0 && done < total) {
        long long left = (long long)((total - done) / speed + 0.5);
        n += snprintf(b + n, sizeof b - (size_t)n, "  about %lld:%02lld left", left / 60, left % 60);
    }
    snprintf(b + n, sizeof b - (size_t)n, "  (%d running, %d of %zu done)", running, finished, jobs.size());
    fprintf(stderr, terminal ? "\r%s\x1b[K%s" : "%s%s", b, terminal && !last ? "" : "\n");
}

// Runs the jobs, `limit` at a time; "" when all succeeded, else the message.
std::string runJobs(const Options& o, std::vector<Job>& jobs, int limit) {
    int64_t total = 0;
    for (const Job& j : jobs) total += j.sound ? 0 : j.frames;
    bool terminal = isatty(2) == 1;
    double started = nowSeconds(), shown = 0;
    size_t next = 0;
    for (;;) {
        int running = 0;
        for (Job& j : jobs) running += j.pid > 0 && !j.finished;
        while (running < limit && next < jobs.size()) {
            if (!startJob(o, jobs[next])) return jobs[next].file + ": " + jobs[next].lastLine;
            ++next, ++running;
        }
        if (running == 0) break;
        std::vector<struct pollfd> fds;
        for (Job& j : jobs)
            if (j.pid > 0 && !j.finished && j.err >= 0) fds.push_back({j.err, POLLIN, 0});
        poll(fds.data(), fds.size(), 200);
        if (g_stop) return "stopped by a signal";
        for (Job& j : jobs) {
            if (j.pid <= 0 || j.finished) continue;
            readJob(j);
            int status = 0;
            if (waitpid(j.pid, &status, WNOHANG) != j.pid) continue;
            readJob(j);
            close(j.err);
            j.err = -1;
            j.finished = true;
            j.seconds = nowSeconds() - j.started;
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                std::string what = j.sound ? "the sound" : "segment " + stemOf(j.file).substr(stemOf(j.file).rfind('-') + 1);
                return what + " (" + std::to_string(j.from) + " to " + std::to_string(j.to) + " ms) failed" +
                       (j.lastLine.empty() ? "" : ": " + j.lastLine);
            }
        }
        double now = nowSeconds();
        if (now - shown >= (terminal ? 0.5 : 5.0)) shown = now, progress(jobs, total, o.fps, started, terminal, false);
    }
    progress(jobs, total, o.fps, started, terminal, true);
    return "";
}

// ---------------------------------------------------------------- joining

std::string runQuiet(const std::vector<std::string>& args, bool wantOutput) {
    std::string cmd;
    for (const std::string& a : args) cmd += (cmd.empty() ? "" : " ") + shellWord(a);
    cmd += wantOutput ? " 2>/dev/null" : " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return "";
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    if (!wantOutput && status != 0 && out.empty()) out = "exit status " + std::to_string(WEXITSTATUS(status));
    return out;
}

struct Piece {
    std::string file;
    int32_t from, to, fps;
    bool video;
};

Piece probePiece(const std::string& ffprobe, const std::string& file) {
    if (access(file.c_str(), R_OK) != 0) toolFail("cannot read " + file + ": " + strerror(errno));
    std::string out = runQuiet({ffprobe, "-v", "error", "-show_entries", "stream=codec_type:format_tags=comment", "-of",
                                "default=noprint_wrappers=1", file},
                               true);
    Piece p{file, 0, 0, 0, out.find("codec_type=video") != std::string::npos};
    size_t at = out.find("TAG:comment=");
    std::string tag = at == std::string::npos ? "" : out.substr(at + 12, out.find('\n', at) - at - 12);
    if (!capParseSegmentTag(tag, p.from, p.to, p.fps))
        toolFail(file + " is not a segment of a velmar capture (no segment tag)");
    return p;
}

// Joins the pieces into `out` through a temporary name: OUT is whole or absent.
void joinPieces(const std::string& out, std::vector<Piece> pieces) {
    std::string ffmpeg = capFindProgram("ffmpeg", getenv("PATH"));
    if (ffmpeg.empty()) toolFail("ffmpeg was not found (install the Debian package ffmpeg)");
    std::vector<Piece> video, sound;
    for (Piece& p : pieces) (p.video ? video : sound).push_back(p);
    if (video.empty()) toolFail("no segment with a picture to join");
    if (sound.size() > 1) toolFail("more than one sound file: " + sound[0].file + ", " + sound[1].file);
    std::sort(video.begin(), video.end(), [](const Piece& a, const Piece& b) { return a.from < b.from; });
    for (size_t i = 0; i < video.size(); ++i) {
        if (video[i].fps != video[0].fps)
            toolFail(video[i].file + " has " + std::to_string(video[i].fps) + " fps, " + video[0].file + " " +
                     std::to_string(video[0].fps));
        if (i > 0 && video[i].from != video[i - 1].to)
            toolFail("the segments do not join: " + video[i - 1].file + " ends at " + std::to_string(video[i - 1].to) +
                     " ms, " + video[i].file + " begins at " + std::to_string(video[i].from) + " ms");
    }
    if (!sound.empty() && (sound[0].from != video.front().from || sound[0].to != video.back().to))
        toolFail("the sound covers " + std::to_string(sound[0].from) + " to " + std::to_string(sound[0].to) +
                 " ms, the segments " + std::to_string(video.front().from) + " to " + std::to_string(video.back().to));
    std::string partial = folderOf(out) + "/." + stemOf(out) + ".partial.mp4";
    std::string list = partial + ".txt";
    FILE* f = fopen(list.c_str(), "w");
    if (!f) toolFail("cannot write into the folder of " + out + ": " + strerror(errno));
    for (const Piece& p : video) fprintf(f, "file %s\n", shellWord(absolute(p.file)).c_str());
    fclose(f);
    std::vector<std::string> args = {ffmpeg, "-hide_banner", "-nostdin", "-loglevel", "error", "-y", "-f", "concat",
                                     "-safe", "0", "-i", list};
    if (!sound.empty()) args.insert(args.end(), {"-i", sound[0].file});
    args.insert(args.end(), {"-map", "0:v"});
    if (!sound.empty()) args.insert(args.end(), {"-map", "1:a"});
    args.insert(args.end(), {"-c", "copy", "-movflags", "+faststart", "-f", "mp4", partial});
    std::string said = runQuiet(args, false);
    unlink(list.c_str());
    struct stat st;
    if (!said.empty() || stat(partial.c_str(), &st) != 0 || rename(partial.c_str(), out.c_str()) != 0) {
        unlink(partial.c_str());
        toolFail("ffmpeg could not join the segments: " + (said.empty() ? std::string(strerror(errno)) : said));
    }
    fprintf(stderr, "capture: wrote %s: %zu segments, %d to %d ms at %d fps%s\n", out.c_str(), video.size(),
            video.front().from, video.back().to, video[0].fps, sound.empty() ? ", without sound" : ", with sound");
}

// How much of the processes' time went into catching up (not drawing).
void reportCatchUp(const std::vector<Job>& jobs) {
    double all = 0, caught = 0;
    for (const Job& j : jobs) all += j.seconds, caught += j.catchUp;
    if (all > 0)
        fprintf(stderr, "capture: the segments and the sound took %.1f s, %.1f s of it (%.1f %%) catching up\n", all,
                caught, 100 * caught / all);
}

int runJoin(const ToolArgs& a) {
    if (a.positional.size() < 2) toolFail("--join needs OUT.mp4 and the segments");
    std::string ffprobe = capFindProgram("ffprobe", getenv("PATH"));
    if (ffprobe.empty()) toolFail("ffprobe was not found (install the Debian package ffmpeg)");
    std::vector<Piece> pieces;
    for (size_t i = 1; i < a.positional.size(); ++i) pieces.push_back(probePiece(ffprobe, a.positional[i]));
    joinPieces(a.positional[0], pieces);
    return 0;
}

void removeTree(const std::string& dir, const std::vector<Job>& jobs) {
    for (const Job& j : jobs) unlink(j.file.c_str());
    rmdir(dir.c_str());
}

}  // namespace

int cmdCapture(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--fps", "--width", "--height", "--jobs", "--segments", "--from", "--to",
                                        "--show", "--plan"},
                           {"--lossless", "--join"});
    if (a.help) return toolHelp(CaptureHelp);
    bool plan = false, join = false;
    for (auto& [k, v] : a.options) plan = plan || k == "--plan", join = join || k == "--join";
    if (join) return runJoin(a);
    if (!plan && a.positional.size() != 1) toolFail("capture needs OUT.mp4 (see --help)");
    if (a.positional.size() > 1) toolFail("one OUT.mp4 only");
    Options o = parseOptions(a);
    if (!a.positional.empty()) o.out = absolute(a.positional[0]);
    findProgram(o);
    if (plan) {
        for (const Job& j : planJobs(o, o.jobs, folderOf(absolute(o.out)))) {
            std::string line;
            for (const std::string& w : commandOf(o, j)) line += (line.empty() ? "" : " ") + shellWord(w);
            printf("%s\n", line.c_str());
        }
        return 0;
    }
    std::string work = folderOf(o.out) + "/." + stemOf(o.out) + ".capture-" + std::to_string(getpid());
    if (mkdir(work.c_str(), 0777) != 0) toolFail("cannot make " + work + ": " + strerror(errno));
    std::vector<Job> jobs = planJobs(o, o.segments, work);
    // A signal ends every segment's process and leaves nothing behind.
    struct sigaction sa{};
    sa.sa_handler = [](int) { g_stop = 1; };
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::string failed = runJobs(o, jobs, o.jobs);
    if (!failed.empty()) {
        stopAll(jobs);
        removeTree(work, jobs);
        toolFail(failed);
    }
    std::vector<Piece> pieces;
    for (const Job& j : jobs) pieces.push_back({j.file, j.from, j.to, o.fps, !j.sound});
    try {
        joinPieces(o.out, pieces);
    } catch (...) {
        removeTree(work, jobs);
        throw;
    }
    removeTree(work, jobs);
    reportCatchUp(jobs);
    return 0;
}
