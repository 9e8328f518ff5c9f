#include "support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

// Names the linked module does not provide are weak: their slots stay 0.
#define BS_WEAK(ret, name, params) extern "C" ret name params __attribute__((weak));
BS_API_LIST(BS_WEAK)
BS_EXTRA_LIST(BS_WEAK)
#undef BS_WEAK

void BindLinkedBase(const std::vector<std::string>& args) {
    Base.handle = (void*)&Base;
#define BS_FILL(ret, fn, params) Base.fn = &fn;
    BS_API_LIST(BS_FILL)
    BS_EXTRA_LIST(BS_FILL)
#undef BS_FILL
    std::vector<std::string> all = {"tests"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    void* reserved = nullptr;
    Base.BS_BaseInit(nullptr, (int)all.size(), argv.data(), &reserved);
}

static LogCapture* g_capture = nullptr;
static void (*g_savedLog)(const char*) = nullptr;
LogCapture::LogCapture() {
    g_capture = this;
    g_savedLog = std::exchange(Base.BS_DbgLog, [](const char* text) { if (g_capture) g_capture->text += text; });
}
LogCapture::~LogCapture() { g_capture = nullptr, Base.BS_DbgLog = g_savedLog; }

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> out;
    for (size_t at = 0, nl; at < text.size(); at = nl + 1)
        out.push_back(text.substr(at, (nl = std::min(text.find('\n', at), text.size())) - at));
    return out;
}

ThrowOnFailure::ThrowOnFailure() {
    SetFailHook([](FailKind kind, int code, const char* text) { throw Failure{kind, code, text ? text : ""}; });
}
ThrowOnFailure::~ThrowOnFailure() { SetFailHook(nullptr); }

std::string ShowDir() { return VELMAR_TEST_SHOW_DIR; }
std::string ModuleDir() { return ShowDir() + "/Modules"; }
std::string MakeTempDir(const char* tag) {
    std::string tmpl = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/velmar-" + tag + "-XXXXXX";
    return mkdtemp(tmpl.data()) ? tmpl : std::string();
}
void RemoveTree(const std::string& dir) {
    if (!dir.empty() && dir != "/" && system(("rm -rf '" + dir + "'").c_str()) != 0) {}
}
void WriteFile(const std::string& path, const std::string& data) { std::ofstream(path, std::ios::binary) << data; }
std::vector<uint8_t> ReadPngRgb(const std::string& path, int* w, int* h) {
    int n = 0;
    unsigned char* data = stbi_load(path.c_str(), w, h, &n, 3);
    std::vector<uint8_t> rgb(data, data + (data ? (size_t)*w * *h * 3 : 0));
    stbi_image_free(data);
    return rgb;
}

std::string ReadFileText(const std::string& path) {
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}

pid_t StartProgram(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   const std::string& outPath, const std::string& errPath, bool ownGroup, bool emptyUnsets) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    if (ownGroup) setpgid(0, 0);
    dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    dup2(open("/dev/null", O_RDONLY), 0);
    for (const std::string& kv : env) {
        size_t eq = std::min(kv.find('='), kv.size());
        if (eq + 1 >= kv.size() && (emptyUnsets || eq == kv.size())) unsetenv(kv.substr(0, eq).c_str());
        else setenv(kv.substr(0, eq).c_str(), kv.c_str() + eq + 1, 1);
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(strdup(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }
RunResult RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::string dir = MakeTempDir("run");
    int status = 0;
    waitpid(StartProgram(args, env, dir + "/out", dir + "/err"), &status, 0);
    RunResult r{ExitCode(status), ReadFileText(dir + "/out"), ReadFileText(dir + "/err")};
    RemoveTree(dir);
    return r;
}
