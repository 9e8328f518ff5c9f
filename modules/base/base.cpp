// Base services module (Modules/Base.so).
//
// Owns: the command-line store, the debug log file, module loading by short
// name, labelled memory blocks, the show clock (real or virtual) and the
// program folders. Exports zlib's compress2/uncompress through its link to
// zlib, so BS_DlGetProc on the handle of "Base" finds them.
//
// Everything here is plain C at the boundary; nothing throws out of it.

#include "base_api.h"

#include <ctype.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <link.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#define BS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// ---------------------------------------------------------------- options

// Options that take a value; every other "-x"/"--x" is a flag.
const char* const kValueOptions[] = {
    "--width", "--height", "--step", "--capture", "--fps", "--shots",
    "--at", "--contact-sheet", "--every", "--home", "--profile", "--start", "--from", "--to",
};

// Options whose value must be a number (checked at start, so a typo is
// reported once instead of silently becoming 0 somewhere later).
const char* const kNumericOptions[] = {"--width", "--height", "--fps", "--every"};

// Files the program writes, given relative to where it was started: made
// absolute before the frame moves into the home folder.
const char* const kCaptureOutputs[] = {"--capture", "--shots", "--contact-sheet"};
const char* const kOutputs[] = {"--capture", "--shots", "--contact-sheet", "--profile"};

// Frames per second of a capture when --fps is not given.
const int kCaptureFps = 60;
const long kCaptureFpsMax = 1000;

struct CfgItem {
    std::string key, value;
};
std::vector<CfgItem> g_cfg;

const char* cfgFind(const char* key) {
    // Last one wins, as on any command line.
    for (size_t i = g_cfg.size(); i-- > 0;)
        if (g_cfg[i].key == key) return g_cfg[i].value.c_str();
    return nullptr;
}

bool isValueOption(const std::string& k) {
    for (const char* o : kValueOptions)
        if (k == o) return true;
    return false;
}

bool isNumber(const char* s, bool allowFraction) {
    if (!*s) return false;
    char* end = nullptr;
    errno = 0;
    if (allowFraction) {
        double d = strtod(s, &end);
        if (*end == '/' && end[1]) {  // "1000/30"
            double den = strtod(end + 1, &end);
            if (den <= 0) return false;
            d /= den;
        }
        return *end == 0 && errno == 0 && d > 0;
    }
    long v = strtol(s, &end, 10);
    return *end == 0 && errno == 0 && v > 0 && v < 100000;
}

const char kHelp[] =
    "usage: vexil2 [options]\n"
    "Plays the show found beside the program (2ddata/, 3ddata/, Textures/).\n"
    "\n"
    "  -v                 write the debug log to debug.log beside the program\n"
    "  --width N          window width (default 1024)\n"
    "  --height N         window height (default 768)\n"
    "  --fullscreen       full screen at the desktop's size\n"
    "  --novsync          do not wait for the display's refresh\n"
    "  --nosound          play without sound\n"
    "  --step MS          virtual show clock: advance MS milliseconds per\n"
    "                     presented frame (a decimal or a fraction like 1000/30)\n"
    "  --capture OUT.mp4  render the show to a video with its sound (needs ffmpeg)\n"
    "  --fps N            frames per second of a capture (default 60)\n"
    "  --shots DIR --at MS[,MS...]\n"
    "                     write the frames at these show times as PNG files\n"
    "                     into DIR, then end the show\n"
    "  --contact-sheet OUT.png [--every MS]\n"
    "                     one picture of thumbnails, one every MS ms (10000)\n"
    "  --from MS --to MS  capture only the frames whose show times lie in\n"
    "                     [from, to): the earlier frames run without drawing\n"
    "  --sound-only       --capture writes only the sound (no picture drawn)\n"
    "  --lossless         --capture encodes the picture without loss\n"
    "  --profile OUT.csv  write each frame's drawing and presenting time, then\n"
    "                     print the slowest frames and parts\n"
    "  --start MS         begin play at show time MS (0 to 250000), music too\n"
    "  --author           author mode: keys to jump, pause, loop and reload,\n"
    "                     and a status line (not with --capture)\n"
    "  --watch            with --author: reload changed files by themselves\n"
    "  --help, --version  print and exit\n"
    "\n"
    "Keys: Escape ends the show, Space shows or hides the status line.\n"
    "With --author: Left/Right 1 s back/forward, Down/Up 10 s, Home to 0,\n"
    "1-9 to a part, P pause, L loop the current entry, R reload changed files.\n";

// ---------------------------------------------------------------- log

int g_logFd = -1;

void logWrite(const char* text, size_t n) {
    if (g_logFd < 0 || !text) return;
    while (n > 0) {
        ssize_t w = write(g_logFd, text, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text += w;
        n -= (size_t)w;
    }
}

void logPrintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void logPrintf(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) logWrite(buf, std::min((size_t)n, sizeof buf - 1));
}

// ---------------------------------------------------------------- paths

std::string g_home = "./";
std::string g_temp = "/tmp/";
std::string g_moduleDir;  // folder holding this Base.so, with trailing '/'

std::string dirOf(const std::string& path) {
    size_t s = path.rfind('/');
    if (s == std::string::npos) return "./";
    return path.substr(0, s + 1);
}

void findFolders() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        buf[n] = 0;
        g_home = dirOf(buf);
    }
    const char* t = getenv("TMPDIR");
    g_temp = (t && *t) ? t : "/tmp";
    if (g_temp.back() != '/') g_temp += '/';
}

// The family's modules live beside this one.
const std::string& moduleDir() {
    if (g_moduleDir.empty()) {
        Dl_info info;
        if (dladdr((void*)&moduleDir, &info) && info.dli_fname) {
            char real[PATH_MAX];
            g_moduleDir = dirOf(realpath(info.dli_fname, real) ? real : info.dli_fname);
        } else {
            g_moduleDir = "./Modules/";
        }
    }
    return g_moduleDir;
}

// ---------------------------------------------------------------- memory

// Every block carries a header with its size and a copy of its label, and
// sits in one doubly linked list so a dump can list what is still alive.
struct MemHeader {
    MemHeader* prev;
    MemHeader* next;
    size_t size;
    char* label;
    uint64_t magic;
    uint64_t pad;  // keeps the block 16-byte aligned
};
static_assert(sizeof(MemHeader) % 16 == 0, "header keeps blocks aligned");
const uint64_t kMemMagic = 0x56454c4d41524d42ull;

MemHeader* g_memHead = nullptr;
size_t g_memBytes = 0, g_memCount = 0;
BS_FailProc g_fail = nullptr;

[[noreturn]] void failNow(int code, const char* what) {
    if (g_fail) g_fail(code, what);  // the program's run-time error report
    logPrintf("[base] fatal: %s\n", what);
    fprintf(stderr, "Base: %s\n", what);
    _exit(code);
}

// ---------------------------------------------------------------- modules

struct OpenModule {
    void* handle;
    std::string path;
};

std::string envKeyFor(const char* name) {
    std::string k = "VELMAR_MODULE_";
    for (const char* p = name; *p; ++p) {
        unsigned char c = (unsigned char)*p;
        k += (char)(isalnum(c) ? toupper(c) : '_');
    }
    return k;
}

// The file a short module name stands for.
std::string modulePath(const char* name) {
    if (const char* o = getenv(envKeyFor(name).c_str()); o && *o) return o;
    std::string n = name;
    if (n == "WM" || n == "TL" || n == "Vorbis" || n == "Base") return moduleDir() + n + ".so";
    if (n == "OpenGL32.dll" || n == "OpenGL32") return "libGL.so.1";
    if (n == "glu32.dll" || n == "glu32") return "libGLU.so.1";
    if (n == "OpenAL32" || n == "OpenAL32.dll") return "libopenal.so.1";
    return n;
}

std::vector<BS_DlNode> g_dlNodes;
std::vector<std::string> g_dlNames;

int collectModule(struct dl_phdr_info* info, size_t, void*) {
    if (!info->dlpi_name || !*info->dlpi_name) return 0;  // the program itself
    const char* n = info->dlpi_name;
    const char* slash = strrchr(n, '/');
    g_dlNames.push_back(slash ? slash + 1 : n);
    g_dlNodes.push_back(BS_DlNode{nullptr, (uintptr_t)info->dlpi_addr, nullptr});
    return 0;
}

// ---------------------------------------------------------------- timer

int64_t nowMicros() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

struct Timer {
    int64_t start = 0;       // real clock: reset time in µs
    int64_t pausedAt = -1;   // real clock: time the pause began, -1 = running
    bool isVirtual = false;  // --step given
    double stepNum = 0, stepDen = 1;  // virtual: ms per frame as a fraction
    int64_t frames = 0;      // virtual: frames since the reset or the last set
    int32_t setMs = 0;       // virtual: show time at frame 0 (BS_TimerSet)
    bool paused = false;
    int32_t resets = 0;      // BS_TimerReset calls since BS_BaseInit
} g_timer;

void parseStep(const char* s) {
    char* end = nullptr;
    double num = strtod(s, &end), den = 1;
    if (*end == '/') den = strtod(end + 1, &end);
    g_timer.isVirtual = true;
    g_timer.stepNum = num;
    g_timer.stepDen = den;
}

bool g_initDone = false;

[[noreturn]] void refuse(const std::string& text) {
    fprintf(stderr, "vexil2: %s\n", text.c_str());
    _exit(2);
}

// "0,1500,20000": whole milliseconds, 0 or more.
bool isTimeList(const char* s) {
    if (!*s) return false;
    while (*s) {
        if (!isdigit((unsigned char)*s)) return false;
        char* end = nullptr;
        errno = 0;
        long v = strtol(s, &end, 10);
        if (errno != 0 || v > INT32_MAX) return false;
        s = end;
        if (*s == ',') {
            ++s;
            if (!*s) return false;
        } else if (*s) {
            return false;
        }
    }
    return true;
}

void replaceOption(const char* key, const std::string& value) {
    for (size_t i = g_cfg.size(); i-- > 0;)
        if (g_cfg[i].key == key) {
            g_cfg[i].value = value;
            return;
        }
}

// The capture options belong together; any of them puts the show on the
// virtual clock. A video's clock is its frame rate, so --capture and --step
// cannot both be given; pictures alone follow --step when it is.
void checkCaptureOptions() {
    const char* capture = cfgFind("--capture");
    const char* shots = cfgFind("--shots");
    const char* sheet = cfgFind("--contact-sheet");
    if (shots && !cfgFind("--at")) refuse("--shots needs --at MS[,MS...]: the show times to take");
    if (cfgFind("--at") && !shots) refuse("--at goes with --shots DIR");
    if (cfgFind("--every") && !sheet) refuse("--every goes with --contact-sheet OUT.png");
    if (const char* at = cfgFind("--at"); at && !isTimeList(at))
        refuse(std::string("--at wants show times in ms separated by commas (like 0,1500,20000), not \"") + at + "\"");
    if (!capture && !shots && !sheet) return;
    for (const char* k : kCaptureOutputs)
        if (const char* v = cfgFind(k); v && !*v) refuse(std::string(k) + " needs a file or folder name");
    long fps = kCaptureFps;
    if (const char* f = cfgFind("--fps")) fps = strtol(f, nullptr, 10);
    if (fps > kCaptureFpsMax) refuse("--fps wants at most " + std::to_string(kCaptureFpsMax) + " frames a second");
    if (capture && cfgFind("--step"))
        refuse("--capture runs the show clock at 1000/fps ms a frame: give --fps instead of --step");
    if (!g_timer.isVirtual) parseStep(("1000/" + std::to_string(fps)).c_str());
}

// A show time in ms, 0 to 250000 as a capture's or play's bound; exit 2 if not.
long showTimeOption(const char* key) {
    const char* v = cfgFind(key);
    if (!v) return -1;
    char* end = nullptr;
    errno = 0;
    long ms = strtol(v, &end, 10);
    if (!*v || !isdigit((unsigned char)*v) || *end || errno || ms > 250000)
        refuse(std::string(key) + " wants a show time in ms from 0 to 250000, not \"" + v + "\"");
    return ms;
}

// A segment of a capture: [--from, --to) of show time, or only its sound.
void checkSegmentOptions() {
    long from = showTimeOption("--from"), to = showTimeOption("--to");
    bool capture = cfgFind("--capture") || cfgFind("--shots") || cfgFind("--contact-sheet");
    if ((from >= 0 || to >= 0) && !capture) refuse("--from and --to go with --capture, --shots or --contact-sheet");
    if (to >= 0 && to <= std::max(from, 0L)) refuse("--to must lie after --from (0 without it)");
    if ((from >= 0 || to >= 0) && cfgFind("--start"))
        refuse("--from already says where the capture begins: give it instead of --start");
    if (cfgFind("--sound-only") && !cfgFind("--capture")) refuse("--sound-only goes with --capture");
    if (cfgFind("--sound-only") && cfgFind("--nosound")) refuse("--sound-only and --nosound leave nothing to capture");
    if (cfgFind("--lossless") && !cfgFind("--capture")) refuse("--lossless goes with --capture");
}

// Author mode's options: a start time within the show, --watch only with
// --author, and no author keys in a capture (its frames follow the clock).
void checkAuthorOptions() {
    showTimeOption("--start");
    bool author = cfgFind("--author") != nullptr;
    if (cfgFind("--watch") && !author) refuse("--watch goes with --author");
    if (author && cfgFind("--capture"))
        refuse("--author cannot be given with --capture: a capture plays the show straight through");
}

void absoluteOutputs() {
    if (const char* v = cfgFind("--profile"); v && !*v) refuse("--profile needs a file name");
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return;
    for (const char* k : kOutputs)
        if (const char* v = cfgFind(k); v && *v && v[0] != '/') replaceOption(k, std::string(cwd) + "/" + v);
}

}  // namespace

// ================================================================ errors

static int g_lastError = 0;
BS_EXPORT void errClear(void) { g_lastError = 0; }
BS_EXPORT void errSetLastError(int code) { g_lastError = code; }
BS_EXPORT int errGetLastError(void) { return g_lastError; }

// ================================================================ log

BS_EXPORT void BS_DbgLog(const char* text) {
    if (text) logWrite(text, strlen(text));
}

// ================================================================ memory

BS_EXPORT void* BS_MemGet(size_t size, const char* label) {
    if (size > SIZE_MAX - sizeof(MemHeader)) failNow(203, "out of memory");
    MemHeader* h = (MemHeader*)calloc(1, sizeof(MemHeader) + size);
    char* l = strdup(label ? label : "");
    if (!h || !l) {
        char what[320];
        snprintf(what, sizeof what, "out of memory: %zu bytes for \"%.200s\"", size, label ? label : "");
        failNow(203, what);
    }
    h->size = size;
    h->label = l;
    h->magic = kMemMagic;
    h->next = g_memHead;
    if (g_memHead) g_memHead->prev = h;
    g_memHead = h;
    g_memBytes += size;
    g_memCount++;
    return h + 1;
}

BS_EXPORT void BS_MemFree(void** block) {
    if (!block || !*block) return;
    MemHeader* h = (MemHeader*)*block - 1;
    if (h->magic != kMemMagic) failNow(204, "BS_MemFree: not a block of BS_MemGet");
    h->magic = 0;
    if (h->prev) h->prev->next = h->next; else g_memHead = h->next;
    if (h->next) h->next->prev = h->prev;
    g_memBytes -= h->size;
    g_memCount--;
    free(h->label);
    free(h);
    *block = nullptr;
}

BS_EXPORT size_t BS_MemTotal(void) { return g_memBytes; }
BS_EXPORT size_t BS_MemCount(void) { return g_memCount; }

BS_EXPORT size_t BS_MemLabelBytes(const char* label) {
    size_t n = 0;
    for (MemHeader* h = g_memHead; h; h = h->next)
        if (strcmp(h->label, label) == 0) n += h->size;
    return n;
}

// Live blocks, oldest first, then the totals per label.
BS_EXPORT void BS_MemDump(void) {
    std::vector<MemHeader*> blocks;
    for (MemHeader* h = g_memHead; h; h = h->next) blocks.push_back(h);
    std::reverse(blocks.begin(), blocks.end());
    logPrintf("[mem] --- %zu blocks, %zu bytes in use\n", g_memCount, g_memBytes);
    struct Total {
        std::string label;
        size_t bytes, count;
    };
    std::vector<Total> totals;
    for (MemHeader* h : blocks) {
        logPrintf("[mem] %p %10zu  %s\n", (void*)(h + 1), h->size, h->label);
        auto it = std::find_if(totals.begin(), totals.end(), [&](const Total& t) { return t.label == h->label; });
        if (it == totals.end()) totals.push_back({h->label, h->size, 1});
        else it->bytes += h->size, it->count++;
    }
    logPrintf("[mem] --- totals by label\n");
    for (const Total& t : totals) logPrintf("[mem] %10zu bytes in %zu blocks  %s\n", t.bytes, t.count, t.label.c_str());
    logPrintf("[mem] --- end\n");
}

BS_EXPORT void BS_SetFailProc(BS_FailProc proc) { g_fail = proc; }

// ================================================================ modules

BS_EXPORT void* BS_DlOpen(const char* name) {
    if (!name || !*name) return nullptr;
    std::string path = modulePath(name);
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) logPrintf("[base] cannot open %s (%s): %s\n", name, path.c_str(), dlerror());
    return h;
}

BS_EXPORT void* BS_DlGetProc(void* handle, const char* name) {
    if (!handle || !name) return nullptr;
    return dlsym(handle, name);
}

BS_EXPORT void BS_DlClose(void* handle) {
    if (handle) dlclose(handle);
}

BS_EXPORT BS_DlNode* BS_DlGetList(void) {
    g_dlNodes.clear();
    g_dlNames.clear();
    dl_iterate_phdr(collectModule, nullptr);
    for (size_t i = 0; i < g_dlNodes.size(); ++i) g_dlNodes[i].name = g_dlNames[i].c_str();
    std::stable_sort(g_dlNodes.begin(), g_dlNodes.end(),
                     [](const BS_DlNode& a, const BS_DlNode& b) { return a.base > b.base; });
    for (size_t i = 0; i + 1 < g_dlNodes.size(); ++i) g_dlNodes[i].next = &g_dlNodes[i + 1];
    return g_dlNodes.empty() ? nullptr : &g_dlNodes[0];
}

// ================================================================ config

BS_EXPORT const char* BS_CfgGet(const char* key) { return key ? cfgFind(key) : nullptr; }

BS_EXPORT void BS_CfgAdd(const char* key, const char* value) {
    if (key) g_cfg.push_back({key, value ? value : ""});
}

// ================================================================ timer

BS_EXPORT int32_t BS_TimerGet(void) {
    if (g_timer.isVirtual) {
        // Exact over the whole run: n frames of num/den ms, rounded down.
        double t = (double)g_timer.frames * g_timer.stepNum / g_timer.stepDen;
        return (int32_t)((int64_t)g_timer.setMs + (int64_t)(t + 1e-9));
    }
    int64_t now = g_timer.pausedAt >= 0 ? g_timer.pausedAt : nowMicros();
    return (int32_t)((now - g_timer.start) / 1000);
}

BS_EXPORT void BS_TimerReset(void) {
    g_timer.resets++;
    g_timer.frames = 0;
    g_timer.setMs = 0;
    g_timer.start = nowMicros();
    if (g_timer.pausedAt >= 0) g_timer.pausedAt = g_timer.start;
}

BS_EXPORT void BS_TimerSet(int32_t ms) {
    g_timer.frames = 0;
    g_timer.setMs = ms;
    int64_t now = g_timer.pausedAt >= 0 ? g_timer.pausedAt : nowMicros();
    g_timer.start = now - (int64_t)ms * 1000;
}

BS_EXPORT void BS_TimerPause(int paused) {
    if (paused && g_timer.pausedAt < 0) g_timer.pausedAt = nowMicros();
    else if (!paused && g_timer.pausedAt >= 0) {
        g_timer.start += nowMicros() - g_timer.pausedAt;
        g_timer.pausedAt = -1;
    }
    g_timer.paused = paused != 0;
}

BS_EXPORT void BS_TimerStep(void) {
    if (g_timer.isVirtual && !g_timer.paused) g_timer.frames++;
}

BS_EXPORT int BS_TimerIsVirtual(void) { return g_timer.isVirtual ? 1 : 0; }

BS_EXPORT int32_t BS_TimerResets(void) { return g_timer.resets; }

BS_EXPORT void BS_Sleep(int ms) {
    if (ms <= 0) return;
    struct timespec ts = {ms / 1000, (long)(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {}
}

BS_EXPORT int64_t BS_CurrentTime(void) {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// ================================================================ files, paths, zlib

BS_EXPORT int BS_FileExist(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

BS_EXPORT int64_t BS_FileSize(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return -1;
    return (int64_t)st.st_size;
}

BS_EXPORT int BS_MkDir(const char* path) { return path && (mkdir(path, 0777) == 0 || errno == EEXIST); }

BS_EXPORT const char* BS_PathGet(int kind, const char* name) {
    static std::string result;
    result = kind == 2 ? g_temp : g_home;
    if (name) result += name;
    return result.c_str();
}

BS_EXPORT uint32_t BS_ZCrc32(uint32_t crc, const void* data, size_t size) {
    return (uint32_t)crc32_z(crc, (const Bytef*)data, size);
}

// ================================================================ start and end

// Keeps the command line; "-v" opens debug.log in the home folder.
// Prints and exits on --help, --version and malformed numeric options.
BS_EXPORT int BS_BaseInit(void* /*module*/, int argc, char** argv, void** /*reserved*/) {
    findFolders();
    g_cfg.clear();
    std::string whole;
    for (int i = 0; i < argc && argv; ++i) {
        if (!argv[i]) continue;
        if (i) whole += ' ';
        whole += argv[i];
    }
    BS_CfgAdd("cmdline", whole.c_str());
    if (argc > 0 && argv && argv[0]) BS_CfgAdd("argv0", argv[0]);
    for (int i = 1; i < argc && argv; ++i) {
        std::string a = argv[i] ? argv[i] : "";
        if (a.size() < 2 || a[0] != '-') {
            BS_CfgAdd("arg", a.c_str());
            continue;
        }
        size_t eq = a.find('=');
        if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
            BS_CfgAdd(a.substr(0, eq).c_str(), a.substr(eq + 1).c_str());
        } else if (isValueOption(a)) {
            if (i + 1 >= argc) {
                fprintf(stderr, "vexil2: %s needs a value (see --help)\n", a.c_str());
                _exit(2);
            }
            BS_CfgAdd(a.c_str(), argv[++i]);
        } else {
            BS_CfgAdd(a.c_str(), "1");
        }
    }
    if (cfgFind("--help")) {
        fputs(kHelp, stdout);
        fflush(stdout);
        _exit(0);
    }
    if (cfgFind("--version")) {
        printf("vexil2 (Velmar engine) %s\n", VELMAR_VERSION);
        fflush(stdout);
        _exit(0);
    }
    for (const char* k : kNumericOptions)
        if (const char* v = cfgFind(k); v && !isNumber(v, false)) {
            fprintf(stderr, "vexil2: %s wants a whole number above 0, not \"%s\"\n", k, v);
            _exit(2);
        }
    g_timer = Timer{};
    if (const char* s = cfgFind("--step")) {
        if (!isNumber(s, true)) {
            fprintf(stderr, "vexil2: --step wants milliseconds above 0 (like 40 or 1000/30), not \"%s\"\n", s);
            _exit(2);
        }
        parseStep(s);
    }
    checkCaptureOptions();
    checkAuthorOptions();
    checkSegmentOptions();
    absoluteOutputs();
    if (const char* h = cfgFind("--home")) {
        g_home = h;
        if (g_home.empty() || g_home.back() != '/') g_home += '/';
    }
    if (cfgFind("-v")) {
        if (g_logFd >= 0) close(g_logFd);
        std::string path = g_home + "debug.log";
        g_logFd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
        if (g_logFd < 0) fprintf(stderr, "vexil2: cannot write %s: %s\n", path.c_str(), strerror(errno));
    }
    BS_TimerReset();
    g_timer.resets = 0;  // only the program's own resets count
    g_initDone = true;
    return 0;
}

// The log stays open: the exit run writes its last line after this call.
BS_EXPORT void BS_BaseDone(void) {
    if (!g_initDone) return;
    g_initDone = false;
    logPrintf("[base] %zu blocks (%zu bytes) still reserved at exit\n", g_memCount, g_memBytes);
}
