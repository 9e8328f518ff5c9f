// SIGINT and SIGTERM, and the watchdog that ends a stalled show. See
// wmsignal.h.
#include "wmsignal.h"

#include <errno.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "capture.h"

namespace {

const int kSignals[2] = {SIGINT, SIGTERM};

struct SigState {
    WmBaseLink base;
    bool installed;
    bool ours[2];                 // our handler is on kSignals[i]
    struct sigaction saved[2];    // what was there before
    sem_t wake;                   // posted by the handler and by sigRemove
    pthread_t watchdog;
    std::atomic<bool> stop;
    std::atomic<bool> windowOpen;
    std::atomic<double> lastFrame;  // wall seconds of the last presented frame
} g;

// Written by the handler only.
volatile sig_atomic_t g_count = 0;
volatile sig_atomic_t g_last = 0;

double nowSeconds() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

void onSignal(int sig) {
    int saved = errno;
    g_last = sig;
    g_count = g_count + 1;
    sem_post(&g.wake);  // async-signal-safe
    errno = saved;
}

const char* signalName(int sig) { return sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "a signal"; }

[[noreturn]] void endAtOnce(int sig, const std::string& why) {
    capAbort();
    int code = 128 + sig;
    std::string text = "ended at once: " + why + " (exit code " + std::to_string(code) + ")";
    wmLog(g.base, "[wm] " + text);
    std::string line = "vexil2: " + text + "\n";
    if (write(2, line.data(), line.size()) < 0) {}
    _exit(code);
}

// Sleeps until a signal comes (or, after the first one, every 100 ms to
// watch the frames), and ends the process when it must.
void* watch(void*) {
    for (;;) {
        if (g_count == 0) {
            while (sem_wait(&g.wake) != 0 && errno == EINTR) {}
        } else {
            struct timespec until;
            clock_gettime(CLOCK_REALTIME, &until);
            until.tv_nsec += 100 * 1000000L;
            if (until.tv_nsec >= 1000000000L) until.tv_sec++, until.tv_nsec -= 1000000000L;
            sem_timedwait(&g.wake, &until);
        }
        if (g.stop) return nullptr;
        int count = g_count, sig = g_last;
        if (count >= 2) endAtOnce(sig, std::string("a second ") + signalName(sig));
        double idle = nowSeconds() - g.lastFrame;
        if (count == 1 && g.windowOpen && idle >= kSigStallSeconds) {
            char b[32];
            snprintf(b, sizeof b, "%.1f", idle);
            endAtOnce(sig, std::string(signalName(sig)) + " while no frame was presented for " + b + " s");
        }
    }
}

}  // namespace

void sigInstall(const WmBaseLink& base) {
    g.base = base;
    if (g.installed) return;
    g_count = 0;
    g.stop = false;
    g.windowOpen = false;
    g.lastFrame = nowSeconds();
    sem_init(&g.wake, 0, 0);
    for (int i = 0; i < 2; ++i) {
        g.ours[i] = false;
        if (sigaction(kSignals[i], nullptr, &g.saved[i]) != 0) continue;
        if (g.saved[i].sa_handler == SIG_IGN) continue;  // started ignoring it: keep that
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        g.ours[i] = sigaction(kSignals[i], &sa, nullptr) == 0;
    }
    // The watchdog takes no signals itself: they reach the show's thread.
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : kSignals) sigaddset(&block, s);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    bool started = pthread_create(&g.watchdog, nullptr, watch, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (!started) {
        for (int i = 0; i < 2; ++i)
            if (g.ours[i]) sigaction(kSignals[i], &g.saved[i], nullptr);
        sem_destroy(&g.wake);
        wmLog(g.base, "[wm] no watchdog thread: signals keep their default action");
        return;
    }
    g.installed = true;
}

void sigRemove() {
    if (!g.installed) return;
    g.stop = true;
    sem_post(&g.wake);
    pthread_join(g.watchdog, nullptr);
    for (int i = 0; i < 2; ++i)
        if (g.ours[i]) sigaction(kSignals[i], &g.saved[i], nullptr);
    sem_destroy(&g.wake);
    g.installed = false;
}

bool sigQuitRequested() { return g.installed && g_count > 0; }

void sigWindowOpen(bool open) {
    g.lastFrame = nowSeconds();
    g.windowOpen = open;
}

void sigFramePresented() { g.lastFrame = nowSeconds(); }
