#include <errno.h>
#include <unistd.h>

#include <string>

#include "frame.h"

ProgramFolders Folders = {S("./"), S("/tmp")};

void FrameSetFolders() {
    Folders.temp = S(Base.BS_PathGet ? Base.BS_PathGet(2, "") : "/tmp");
    Folders.home = S(Base.BS_PathGet ? Base.BS_PathGet(1, "") : "./");
    if (Folders.home.len == 0) return;
    if (chdir(ToCString(Folders.home)) != 0) {
        int code = errno == ENOENT ? 3 : RtOpenErrorCode(errno);
        RunError(code, ToCString(S("cannot enter the home folder ") + Folders.home));
    }
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
    if (WM.handle) {
        WM.wmDone();
        WM.MsgBox(ToCString(message));
    } else {
        std::string line = str(message) + "\n";
        if (write(2, line.data(), line.size()) < 0) {}
    }
    LogLine(message);
    // A show that could not play is not a success.
    RunExits(1);
}
