// frame.h - the runtime frame: start-up and shut-down of the program.
//
// The frame owns the subsystem registry and the log front end (registry.h),
// the Base module binding (base.h), the window-manager binding (wm.h), the
// fatal error report (runerror.h), checked file input (rtfile.h), the
// program folders and FatalStop.
//
// FrameStart runs before anything else of the program: it installs the error
// report, binds Base with the command line, takes the home and temporary
// folders, makes the home folder the working folder and registers slot 1
// (the window manager).
#pragma once

#include "base.h"
#include "registry.h"
#include "rtfile.h"
#include "runerror.h"
#include "shortstring.h"
#include "wm.h"

struct ProgramFolders {
    ShortString home;  // "./" until FrameStart; "./" too for a home longer than 255
    ShortString temp;  // "/tmp" until FrameStart
};
extern ProgramFolders Folders;

void FrameStart(int argc, char** argv);

// Takes the folders from Base and enters the home folder by its whole path
// (however long); a folder that cannot be entered is run-time error 3.
void FrameSetFolders();

// Ends the program on a condition it cannot recover from: closes the window
// and shows the message when the window manager is loaded (on standard
// error without it), logs the message, then runs the exit procedures with
// exit code 1.
[[noreturn]] void FatalStop(const ShortString& message);
[[noreturn]] inline void FatalStop(std::string_view message) { FatalStop(S(message)); }
