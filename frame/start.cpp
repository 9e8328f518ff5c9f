#include <errno.h>
#include <unistd.h>

#include "frame.h"

ProgramFolders Folders = {S("./"), S("/tmp")};
FatalStopDisplay FatalDisplay = nullptr;

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
}

void FatalStop(const ShortString& message) {
    if (FailHook hook = GetFailHook()) hook(FailFatalStop, 0, ToCString(message));
    if (FatalDisplay) FatalDisplay(message);
    LogLine(message);
    RunExits(0);
}
