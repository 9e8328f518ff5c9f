// runerror.h - fatal run-time errors and their report.
//
// RunError(code) is the run-time's fatal error: failed file input/output
// (2 file not found, 3 path not found, 5 access denied, 100 read past end,
// 101 write error, 103 file not open), 106 invalid numeric format,
// 200 division by zero, 203 out of memory, 207 invalid floating-point
// operation, 216 access violation. It runs the installed error procedure,
// which writes a backtrace into the debug log and asks the user on standard
// output for the log, then ends the process with the code.
//
// A program that must survive bad input (the velmar tool, tests) installs a
// fail hook: RunError and FatalStop then call the hook first, which may throw.
#pragma once

#include <cstdint>

// The error procedure: error number, error address, frame pointer of the
// routine in which the error occurred. Returns to the caller (the run-time).
using ErrorProc = void (*)(int32_t code, uintptr_t address, uintptr_t frame);
extern ErrorProc RunErrorProc;

// The report written by the program's own error procedure.
void ErrorReport(int32_t code, uintptr_t address, uintptr_t frame);

// Installs ErrorReport and the handlers for SIGSEGV, SIGBUS and SIGFPE.
void InstallErrorReport();

// Ends through the error procedure; `detail` (may be null) is added to the
// run-time's own text on standard error and to the log.
[[noreturn]] void RunError(int code, const char* detail = nullptr);

// Where a failure goes before the process ends: kind 0 run-time error,
// kind 1 fatal stop. A hook that returns lets the default path go on.
enum FailKind { FailRunError = 0, FailFatalStop = 1 };
using FailHook = void (*)(FailKind kind, int code, const char* message);
void SetFailHook(FailHook hook);
FailHook GetFailHook();

// The message written to standard output (181 characters).
extern const char RunErrorMessage[];

// Module lookup used by the report: module name (empty if none) and the
// offset of `address` inside it, from the Base module's list.
struct ModuleHit {
    const char* name;
    uintptr_t offset;
};
ModuleHit LookupModule(const void* firstNode, uintptr_t address);
