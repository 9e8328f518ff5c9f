#include "support.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

// Names the linked module does not provide are weak: their slots stay 0.
#define BS_WEAK(ret, name, params) extern "C" ret name params __attribute__((weak));
BS_API_LIST(BS_WEAK)
BS_EXTRA_LIST(BS_WEAK)
#undef BS_WEAK

void BindLinkedBase(const std::vector<std::string>& args) {
    Base.handle = (void*)&Base;
#define BS_FILL(ret, fn, params) Base.fn = &fn;
    BS_API_LIST(BS_FILL)
#undef BS_FILL
    std::vector<std::string> all = {"tests"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    void* reserved = nullptr;
    Base.BS_BaseInit(nullptr, (int)all.size(), argv.data(), &reserved);
}

namespace {
LogCapture* g_capture = nullptr;
void (*g_savedLog)(const char*) = nullptr;
void captureLog(const char* text) {
    if (g_capture) g_capture->text += text;
}
void throwFailure(FailKind kind, int code, const char* message) {
    throw Failure{kind, code, message ? message : ""};
}
}  // namespace

LogCapture::LogCapture() {
    g_savedLog = Base.BS_DbgLog;
    g_capture = this;
    Base.BS_DbgLog = captureLog;
}
LogCapture::~LogCapture() {
    g_capture = nullptr;
    Base.BS_DbgLog = g_savedLog;
}
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == '\n') out.push_back(cur), cur.clear();
        else cur += c;
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

std::vector<std::string> LogCapture::lines() const { return SplitLines(text); }

ThrowOnFailure::ThrowOnFailure() { SetFailHook(throwFailure); }
ThrowOnFailure::~ThrowOnFailure() { SetFailHook(nullptr); }

std::string ShowDir() { return VELMAR_TEST_SHOW_DIR; }
std::string ModuleDir() { return std::string(VELMAR_TEST_SHOW_DIR) + "/Modules"; }

std::string MakeTempDir(const char* tag) {
    std::string tmpl = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/velmar-" + tag + "-XXXXXX";
    char* d = mkdtemp(tmpl.data());
    return d ? std::string(d) : std::string();
}

void RemoveTree(const std::string& dir) {
    if (dir.empty() || dir == "/") return;
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) {}
}

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary);
    f << data;
}

std::string ReadFileText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

RunResult RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::string dir = MakeTempDir("run");
    std::string outPath = dir + "/out", errPath = dir + "/err";
    pid_t pid = fork();
    if (pid == 0) {
        int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1), dup2(e, 2);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        // "NAME=" takes the variable away.
        for (const std::string& kv : env) {
            size_t eq = kv.find('=');
            if (eq != std::string::npos && eq + 1 == kv.size()) unsetenv(kv.substr(0, eq).c_str());
            else putenv(strdup(kv.c_str()));
        }
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(strdup(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    RunResult r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFileText(outPath);
    r.err = ReadFileText(errPath);
    RemoveTree(dir);
    return r;
}
