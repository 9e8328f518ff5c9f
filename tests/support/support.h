// support.h - shared pieces of the test programs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "frame/frame.h"

// Fills the Base table from the module code linked into the test program
// (no file is opened) and calls BS_BaseInit with `args` after argv[0].
void BindLinkedBase(const std::vector<std::string>& args = {});

// Text split at line feeds (a last line without one counts too).
std::vector<std::string> SplitLines(const std::string& text);
// Everything the program logs while it lives, in one string.
struct LogCapture {
    LogCapture();
    ~LogCapture();
    std::string text;
    std::vector<std::string> lines() const { return SplitLines(text); }
};

// Failures (run-time errors and fatal stops) thrown as this while it lives.
struct Failure {
    FailKind kind;
    int code;
    std::string message;
};
struct ThrowOnFailure {
    ThrowOnFailure();
    ~ThrowOnFailure();
};

// Folders of the build: the show folder with the program and its modules.
std::string ShowDir();
std::string ModuleDir();
// A fresh empty folder under the temporary folder, removed by the caller.
std::string MakeTempDir(const char* tag);
void RemoveTree(const std::string& dir);
void WriteFile(const std::string& path, const std::string& data);
std::string ReadFileText(const std::string& path);
// A PNG file's pixels as RGB, top row first (empty when it cannot be read).
std::vector<uint8_t> ReadPngRgb(const std::string& path, int* w, int* h);

// Runs a program, waits, returns its exit code; stdout/stderr into strings.
// `env` entries "NAME=value" are set, "NAME=" are taken away.
struct RunResult {
    int code;
    std::string out, err;
};
RunResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

// Starts a program, stdin from /dev/null, stdout/stderr into the files; `env`
// as for RunProgram ("NAME" alone is taken away too), but "NAME=" sets an
// empty value unless `emptyUnsets`. `ownGroup`: leads a process group.
pid_t StartProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const std::string& outPath, const std::string& errPath, bool ownGroup = false,
                   bool emptyUnsets = true);
// waitpid's status as an exit code, or 128 + the signal.
int ExitCode(int status);
