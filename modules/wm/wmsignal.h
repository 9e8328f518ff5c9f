// wmsignal.h - SIGINT and SIGTERM, and the way out of a frame that never ends
// (part of Modules/WM.so).
//
// Owns: the two signal handlers, the count of signals seen, the time the
// last frame was presented and a watchdog thread. The first signal is a quit
// request, like the close button: the show ends cleanly after its current
// frame. A second signal, or the first while no frame has been presented for
// 5 s of wall time with the window open, ends the process at once from the
// watchdog: the capture's video so far is finished (capAbort), a last line
// is logged and the exit code is 128 + the signal (130 SIGINT, 143 SIGTERM).
// A signal the process was started ignoring (a background job's SIGINT)
// stays ignored.
#pragma once

#include "wm_base.h"

// Wall time without a presented frame after which one signal ends at once.
const double kSigStallSeconds = 5.0;

// Installs the handlers and starts the watchdog; again: nothing.
void sigInstall(const WmBaseLink& base);
// Stops the watchdog and gives the signals their default action back.
void sigRemove();

// True once a signal has asked the show to end.
bool sigQuitRequested();

// The window opened (frames are expected from now on) or closed (the show
// is shutting down: only a second signal ends it at once).
void sigWindowOpen(bool open);
void sigFramePresented();
