#include "runerror.h"

#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <ucontext.h>
#include <unistd.h>

#include "base.h"
#include "registry.h"
#include "rtfile.h"

const char RunErrorMessage[] =
    "Runtime error found, please run this application with \"-v\" parameter, and send the "
    "\"debug.log\" file for the authors.\n\nPlease read the *.nfo file(s) for the "
    "instructions.\n\nThank you.";
static_assert(sizeof(RunErrorMessage) - 1 == 181, "the message is 181 characters");

ErrorProc RunErrorProc = nullptr;

namespace {

int32_t g_reentry = 0;
FailHook g_hook = nullptr;
uintptr_t g_stackLo = 0, g_stackHi = 0;  // main thread's stack, for the frame walk

// Addresses are 64-bit here: 16 digits.
ShortString hex(uintptr_t v, int digits) {
    char b[32];
    snprintf(b, sizeof b, "%0*lX", digits, (unsigned long)v);
    return S(b);
}

int findMain(struct dl_phdr_info* info, size_t, void* out) {
    *(uintptr_t*)out = (uintptr_t)info->dlpi_addr;
    return 1;  // the first object is the program itself
}

uintptr_t programLoadAddress() {
    uintptr_t a = 0;
    dl_iterate_phdr(findMain, &a);
    return a;
}

bool frameReadable(uintptr_t fp) {
    if (fp == 0 || (fp & 7)) return false;
    if (g_stackHi == 0) return true;  // bounds unknown: trust the chain
    return fp >= g_stackLo && fp + 16 <= g_stackHi;
}

void backtraceEntry(uintptr_t a, uintptr_t lowest, const void* list) {
    LogText(S("  0x") + hex(a, 16));
    ModuleHit m = LookupModule(list, a);
    if (a > lowest && m.name && *m.name)
        LogText(S(" (") + m.name + ", ofs: 0x" + hex(m.offset, 8) + ")");
    LogLine(S(""));
}

void onSignal(int sig, siginfo_t* info, void* ctx) {
    int code = 216;
    if (sig == SIGFPE)
        code = (info && (info->si_code == FPE_INTDIV || info->si_code == FPE_FLTDIV)) ? 200 : 207;
    uintptr_t pc = 0, fp = 0;
#if defined(__x86_64__)
    ucontext_t* uc = (ucontext_t*)ctx;
    pc = (uintptr_t)uc->uc_mcontext.gregs[REG_RIP];
    fp = (uintptr_t)uc->uc_mcontext.gregs[REG_RBP];
#elif defined(__aarch64__)
    ucontext_t* uc = (ucontext_t*)ctx;
    pc = (uintptr_t)uc->uc_mcontext.pc;
    fp = (uintptr_t)uc->uc_mcontext.regs[29];
#else
    (void)ctx;
#endif
    if (RunErrorProc) RunErrorProc(code, pc, fp);
    char b[96];
    int n = snprintf(b, sizeof b, "Runtime error %d at 0x%016lX\n", code, (unsigned long)pc);
    fflush(stdout);
    if (n > 0 && write(2, b, (size_t)n) < 0) {}
    _exit(code);
}

}  // namespace

ModuleHit LookupModule(const void* firstNode, uintptr_t a) {
    for (const BS_DlNode* n = (const BS_DlNode*)firstNode; n; n = n->next) {
        const BS_DlNode* m = n->next;
        if (!m) break;
        if (n->base > a && m->base < a) return ModuleHit{m->name, a - m->base};
    }
    return ModuleHit{"", 0};
}

void ErrorReport(int32_t code, uintptr_t address, uintptr_t frame) {
    if (++g_reentry > 1) _exit(217);
    if (Base.BS_DbgLog) {
        LogLine("--- [backtrace] ---");
        char num[16];
        snprintf(num, sizeof num, "%d", code);
        LogLine(S("runtime error ") + num + " at 0x" + hex(address, 16));
        LogLine(S("Main: 0x") + hex(programLoadAddress(), 16));
        LogLine("DLL list:");
        uintptr_t lowest = UINTPTR_MAX;
        const BS_DlNode* list = Base.BS_DlGetList ? Base.BS_DlGetList() : nullptr;
        for (const BS_DlNode* n = list; n; n = n->next) {
            LogLine(S(" - 0x") + hex(n->base, 16) + " (" + (n->name ? n->name : "") + ")");
            if (n->base < lowest) lowest = n->base;
        }
        LogLine("Backtrace:");
        if (address != 0) backtraceEntry(address, lowest, list);
        uintptr_t fp = frame, previous = frame - 1;
        int count = 0;
        while (fp > previous && frameReadable(fp)) {
            uintptr_t a = ((uintptr_t*)fp)[1];
            if (a != 0) backtraceEntry(a, lowest, list);
            if (++count > 64) break;
            previous = fp;
            fp = ((uintptr_t*)fp)[0];
        }
        LogLine("--- [end of backtrace] ---");
    }
    fputs(RunErrorMessage, stdout);
    fputs("\n", stdout);
    fflush(stdout);
}

void InstallErrorReport() {
    RunErrorProc = ErrorReport;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* lo = nullptr;
        size_t size = 0;
        if (pthread_attr_getstack(&attr, &lo, &size) == 0) {
            g_stackLo = (uintptr_t)lo;
            g_stackHi = (uintptr_t)lo + size;
        }
        pthread_attr_destroy(&attr);
    }
    // Own stack for the handler, so a stack overflow still gets its report.
    static char altStack[64 * 1024];
    stack_t ss = {};
    ss.ss_sp = altStack;
    ss.ss_size = sizeof altStack;
    sigaltstack(&ss, nullptr);
    struct sigaction sa = {};
    sa.sa_sigaction = onSignal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGSEGV, &sa, nullptr);
    sigaction(SIGBUS, &sa, nullptr);
    sigaction(SIGFPE, &sa, nullptr);
}

void SetFailHook(FailHook hook) { g_hook = hook; }
FailHook GetFailHook() { return g_hook; }

__attribute__((noinline)) void RunError(int code, const char* given) {
    uintptr_t address = (uintptr_t)__builtin_return_address(0);
    uintptr_t frame = *(uintptr_t*)__builtin_frame_address(0);  // the caller's frame
    // A copy first: the text may live in the shared conversion buffer, which
    // the report's own log lines reuse. Fixed size: this may be out of memory.
    char copy[1024];
    snprintf(copy, sizeof copy, "%s", given ? given : "");
    const char* detail = copy;
    if (g_hook) g_hook(FailRunError, code, detail);
    if (*detail) LogLine(S("[rt] ") + detail);
    if (RunErrorProc) RunErrorProc(code, address, frame);
    fflush(stdout);
    fprintf(stderr, "Runtime error %d at 0x%016lX%s%s\n", code, (unsigned long)address, *detail ? ": " : "",
            PrintableText(detail).c_str());
    fflush(stderr);
    _exit(code);
}
