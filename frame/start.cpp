#include <errno.h>
#include <unistd.h>

#include <string>

#include "frame.h"

ProgramFolders Folders = {S("./"), S("/tmp")};

void FrameSetFolders() {
    Folders.temp = S(Base.BS_PathGet ? Base.BS_PathGet(2, "") : "/tmp");
    const char* got = Base.BS_PathGet ? Base.BS_PathGet(1, "") : "./";
    std::string home = got ? got : "";
    if (home.empty()) {
        Folders.home = S("");
        return;
    }
    // The whole path: cut to a short string it would name another folder.
    // Every data path is relative to the working folder from here on.
    if (chdir(home.c_str()) != 0) {
        int code = errno == ENOENT ? 3 : RtOpenErrorCode(errno);
        RunError(code, ("cannot enter the home folder " + home).c_str());
    }
    Folders.home = S(home.size() <= 255 ? home : "./");
}

void FrameStart(int argc, char** argv) {
    InstallErrorReport();
    BaseBind(BaseDefaultPath(), argc, argv);
    FrameSetFolders();
    WmRegisterUnit();
}

void FatalStop(const ShortString& message) {
    if (FailHook hook = GetFailHook()) hook(FailFatalStop, 0, ToCString(message));
    // A stop from inside the exit run would start the run again, forever.
    static bool stopping = false;
    if (stopping) {
        LogLine(message);
        _exit(1);
    }
    stopping = true;
    struct Reset {
        ~Reset() { stopping = false; }  // only reached when a test's process end throws
    } reset;
    // The window goes first, so the box is not hidden behind a full-screen
    // picture; without the module there is no box: standard error.
    // Bytes from files reach the screen as \xNN; the log keeps them.
    std::string shown = PrintableText(view(message));
    if (WM.handle) {
        WM.wmDone();
        WM.MsgBox(shown.c_str());
    } else {
        std::string line = shown + "\n";
        if (write(2, line.data(), line.size()) < 0) {}
    }
    LogLine(message);
    // A show that could not play is not a success.
    RunExits(1);
}
