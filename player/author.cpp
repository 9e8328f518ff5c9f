#include "author.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "../frame/frame.h"
#include "../frame/wm.h"
#include "../render/particles.h"
#include "../sound/sound.h"
#include "../textures/texman.h"
#include "loading.h"
#include "show.h"
#include "showdata.h"
#include "timeline.h"

AuthorState Author = {false, false, false, 0, 0, {}, -1, -1, {}, {}, 0};

namespace {

const int64_t ErrorShownMs = 5000;
const int64_t WatchSettleMs = 100;  // a save in several writes is loaded once
const char* const WatchedFolders[] = {"2ddata", "3ddata", "Textures"};

int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void authorLog(const std::string& line) { LogLine(S("[author] ") + line); }

int32_t clampShowTime(int64_t t) { return (int32_t)(t < 0 ? 0 : t > ShowEndTime ? ShowEndTime : t); }

// ---------------------------------------------------------------- files

void stampOf(AuthorFile& f) {
    struct stat st;
    if (stat(f.path.c_str(), &st) != 0) {
        f.mtime = -1, f.size = 0;
        return;
    }
    f.mtime = (int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
    f.size = (int64_t)st.st_size;
}

void addFile(const std::string& path, AuthorFileKind kind, int index) {
    for (const AuthorFile& f : Author.files)
        if (f.path == path) return;
    AuthorFile f{path, kind, index, -1, 0};
    stampOf(f);
    Author.files.push_back(f);
}

// Every texture the table holds now: scenes and layers loaded later may
// bring new names, stamped as they are first seen.
void addTextures() {
    for (const TextureEntry& e : TextureManager)
        if (!e.empty && e.uploaded) addFile(str(e.name), AuthorTexture, 0);
}

void stampShowFiles() {
    addFile(ShowTimelineFile, AuthorTimeline, 0);
    for (int i = 0; i < ShowLayer::Count; ++i) addFile(ShowLayerFile(i), AuthorLayer, i);
    for (int i = 0; i < ShowScene::Count; ++i) addFile(ShowSceneFile(i), AuthorScene, i);
    addFile(ShowLevelsFile, AuthorLevels, 0);
    addFile(ShowMusicFile, AuthorMusic, 0);
    addTextures();
}

// A loader's fatal stop or run-time error, turned into an exception while a
// reload runs, so a bad file never ends the show.
struct ReloadFailure {
    std::string message;
};

void throwFailure(FailKind kind, int code, const char* message) {
    std::string text = message ? message : "";
    if (kind == FailRunError) text = "run-time error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
    throw ReloadFailure{text};
}

void reloadTimeline() {
    Timeline fresh{};
    ReadTimeline(fresh, ShowTimelineFile);
    FreeTimeline(ShowTimeline);
    ShowTimeline = fresh;
}

void reloadMusic() {
    std::string why;
    if (!sndReloadMusic(S(ShowMusicFile), Base.BS_TimerGet(), Author.paused, &why)) throw ReloadFailure{why};
}

void reloadTexture(const AuthorFile& f) {
    if (!tmReloadFile(S(f.path))) throw ReloadFailure{"the texture loader cannot read it"};
}

void reloadOne(const AuthorFile& f) {
    FailHook saved = GetFailHook();
    SetFailHook(throwFailure);
    try {
        switch (f.kind) {
        case AuthorTimeline: reloadTimeline(); break;
        case AuthorLayer: ReplaceShowLayer(f.index); break;
        case AuthorScene: ReplaceShowScene(f.index); break;
        case AuthorLevels: ReadMusicLevels(ShowLevelsFile); break;
        case AuthorMusic: reloadMusic(); break;
        case AuthorTexture: reloadTexture(f); break;
        }
        SetFailHook(saved);
        authorLog("reload " + f.path);
        Author.status = "reloaded " + f.path;
        Author.errorUntil = 0;
    } catch (const ReloadFailure& e) {
        SetFailHook(saved);
        tmForgetFailed();
        std::string message = PrintableText(e.message);
        authorLog("reload failed: " + f.path + ": " + message);
        fprintf(stderr, "vexil2: reload failed: %s: %s\n", f.path.c_str(), message.c_str());
        Author.status = "reload failed: " + f.path + ": " + message;
        Author.errorUntil = steadyMs() + ErrorShownMs;
    }
}

// ---------------------------------------------------------------- watch

int g_watchDescriptors[3] = {-1, -1, -1};  // of WatchedFolders

void startWatch() {
    Author.watchFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (Author.watchFd < 0) {
        fprintf(stderr, "vexil2: --watch: cannot watch files: %s (R still reloads)\n", strerror(errno));
        return;
    }
    for (int i = 0; i < 3; ++i) {
        const char* folder = WatchedFolders[i];
        g_watchDescriptors[i] = inotify_add_watch(Author.watchFd, folder, IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE);
        if (g_watchDescriptors[i] < 0) authorLog(std::string("cannot watch ") + folder + ": " + strerror(errno));
    }
}

// A file named by an event is loaded even when its stamp looks the same (a
// save of the same size within the file system's clock tick).
void markWritten(const struct inotify_event& e) {
    for (int i = 0; i < 3; ++i)
        if (e.wd == g_watchDescriptors[i] && e.len > 0) {
            std::string path = std::string(WatchedFolders[i]) + "/" + e.name;
            for (AuthorFile& f : Author.files)
                if (f.path == path) f.mtime = -2;
        }
}

// True once a change was seen and has settled.
bool watchSaysReload() {
    if (Author.watchFd < 0) return false;
    alignas(struct inotify_event) char buf[4096];
    ssize_t n;
    while ((n = read(Author.watchFd, buf, sizeof buf)) > 0) {
        for (ssize_t at = 0; at + (ssize_t)sizeof(struct inotify_event) <= n;) {
            const struct inotify_event* e = (const struct inotify_event*)(buf + at);
            markWritten(*e);
            at += (ssize_t)sizeof(struct inotify_event) + e->len;
        }
        if (Author.watchDue < 0) Author.watchDue = steadyMs() + WatchSettleMs;
    }
    if (Author.watchDue < 0 || steadyMs() < Author.watchDue) return false;
    Author.watchDue = -1;
    return true;
}

// ---------------------------------------------------------------- keys

bool pressed(int code) {
    uint8_t now = KeyState(code);
    bool edge = now != 0 && Author.held[code] == 0;
    Author.held[code] = now;
    return edge;
}

// The first entry of a part, -1 when the timeline has none.
int32_t firstEntryOf(int32_t part) {
    for (int32_t i = 0; i < ShowTimeline.count; ++i)
        if (ShowTimeline.entries[i].part == part) return i;
    return -1;
}

void toggleLoop(int32_t t) {
    if (Author.looping) {
        Author.looping = false;
        authorLog("loop off");
        return;
    }
    int32_t due = TimelineLookup(ShowTimeline, t);
    int64_t a = 0, b = ShowTimeline.count > 0 ? ShowTimeline.entries[0].start : ShowEndTime;
    if (due >= 0) a = ShowTimeline.entries[due].start, b = ShowTimeline.entries[due + 1].start;
    Author.loopStart = clampShowTime(a);
    Author.loopEnd = clampShowTime(b);
    if (Author.loopEnd <= Author.loopStart) Author.loopEnd = ShowEndTime;
    Author.looping = true;
    authorLog("loop " + std::to_string(Author.loopStart) + "-" + std::to_string(Author.loopEnd));
}

void readKeys() {
    int32_t t = Base.BS_TimerGet();
    const struct {
        int code;
        int32_t delta;
    } jumps[] = {{AuthorKeyLeft, -1000}, {AuthorKeyRight, 1000}, {AuthorKeyDown, -10000}, {AuthorKeyUp, 10000}};
    for (auto j : jumps)
        if (pressed(j.code)) auSeek(clampShowTime((int64_t)t + j.delta)), t = Base.BS_TimerGet();
    if (pressed(AuthorKeyHome)) auSeek(0), t = 0;
    for (int part = 1; part <= 9; ++part) {
        if (!pressed('0' + part)) continue;
        int32_t e = firstEntryOf(part);
        if (e >= 0) {
            auSeek(ShowTimeline.entries[e].start), t = Base.BS_TimerGet();
        } else {
            Author.status = "no part " + std::to_string(part) + " in the timeline";
            Author.errorUntil = steadyMs() + ErrorShownMs;
        }
    }
    if (pressed(AuthorKeyPause)) auSetPaused(!Author.paused);
    if (pressed(AuthorKeyLoop)) toggleLoop(t);
    if (pressed(AuthorKeyReload) && auReloadChanged() == 0) {
        Author.status = "nothing changed since the last reload";
        Author.errorUntil = 0;
    }
}

}  // namespace

int32_t auStartTime() {
    const char* v = Base.BS_CfgGet ? Base.BS_CfgGet("--start") : nullptr;
    return v ? clampShowTime(atol(v)) : 0;
}

void auInit() {
    Author.files.clear();
    Author.status.clear();
    Author.paused = Author.looping = false;
    Author.watchDue = -1;
    Author.errorUntil = 0;
    memset(Author.held, 0, sizeof Author.held);
    Author.enabled = Base.BS_CfgGet && Base.BS_CfgGet("--author");
    if (!Author.enabled) return;
    stampShowFiles();
    if (Base.BS_CfgGet("--watch")) startWatch();
    LogLine(S("[author] on") + (Author.watchFd >= 0 ? ", watching 2ddata/, 3ddata/, Textures/" : ""));
}

void auStartPlay() {
    int32_t start = auStartTime();
    if (start == 0) return;
    if (Base.BS_TimerSet) Base.BS_TimerSet(start);
    sndSeekMusic(start);
    Show.lastframeend = Show.lastfpsupdate = start;
    LogLine(S("[play] from ") + std::to_string(start) + " ms");
}

void auSeek(int32_t t) {
    t = clampShowTime(t);
    if (Base.BS_TimerSet) Base.BS_TimerSet(t);
    sndSeekMusic(t);
    for (Scene& s : ShowScenes) emptyParticles(s);
    Show.lastframeend = Show.lastfpsupdate = t;
    Show.fpsframes = 0;
    authorLog("seek " + std::to_string(t));
}

void auSetPaused(bool paused) {
    if (paused == Author.paused) return;
    Author.paused = paused;
    if (Base.BS_TimerPause) Base.BS_TimerPause(paused ? 1 : 0);
    sndPauseMusic(paused);
    authorLog(std::string(paused ? "pause " : "resume ") + std::to_string(Base.BS_TimerGet()));
}

int auReloadChanged() {
    int reloaded = 0;
    addTextures();
    // Textures first: a scene or layer loaded after them shares the new images.
    for (AuthorFileKind pass : {AuthorTexture, AuthorScene, AuthorLayer, AuthorTimeline, AuthorLevels, AuthorMusic})
        for (size_t i = 0; i < Author.files.size(); ++i) {
            AuthorFile& f = Author.files[i];
            if (f.kind != pass) continue;
            int64_t mtime = f.mtime, size = f.size;
            stampOf(f);
            if (f.mtime == mtime && f.size == size) continue;
            reloadOne(f);
            reloaded++;
        }
    addTextures();
    return reloaded;
}

void auFrameStart() {
    if (!Author.enabled) return;
    readKeys();
    if (watchSaysReload()) auReloadChanged();
    if (Author.looping && Base.BS_TimerGet() >= Author.loopEnd) auSeek(Author.loopStart);
}

bool auHoldsEnd() { return Author.enabled && Author.looping; }

std::string auStatusText(int32_t t) {
    std::string s = "time:" + std::to_string(t);
    int32_t due = TimelineLookup(ShowTimeline, t);
    if (due >= 0) {
        const TimelineEntry& e = ShowTimeline.entries[due];
        s += " part:" + std::to_string(e.part) + " entry:" + std::to_string(due + 1) + "/" +
             std::to_string(ShowTimeline.count) + " (" + std::to_string(e.start) + ")";
    } else {
        s += " part:-";
    }
    if (Author.paused) s += " paused";
    if (Author.looping) s += " loop:" + std::to_string(Author.loopStart) + "-" + std::to_string(Author.loopEnd);
    if (!Author.status.empty()) {
        bool error = Author.errorUntil > 0;
        if (error && steadyMs() >= Author.errorUntil) {
            // The error has been read: keep only which file failed.
            size_t cut = Author.status.find(": ", Author.status.find(": ") + 2);
            if (cut != std::string::npos) Author.status.erase(cut);
            Author.errorUntil = 0;
        }
        s += " | " + Author.status;
    }
    return s;
}

void auDrawStatus() {
    if (Author.enabled) DrawAuthorLine(S(auStatusText(Base.BS_TimerGet())));
}

void auDone() {
    if (Author.watchFd >= 0) close(Author.watchFd);
    Author.watchFd = -1;
}
