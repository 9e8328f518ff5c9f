// author.h - author mode: start anywhere, jump, pause, loop a timeline
// entry, and see changed files at once.
//
// `--start MS` alone moves the start of play (clock and music). `--author`
// turns on the keys below, the reloading of changed files and a status line;
// `--watch` reloads them by themselves (inotify on 2ddata/, 3ddata/,
// Textures/). Without `--author` nothing here acts on play. The unit owns
// `Author`: the keys' previous states, pause, loop, the files' stamps, the
// watch and the status. Log lines: "[author] seek T", "pause T", "resume T",
// "loop A-B", "loop off", "reload FILE", "reload failed: FILE: MESSAGE".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../modules/wm/wm_api.h"

// What a file of the show is, for its reload.
enum AuthorFileKind { AuthorTimeline, AuthorLayer, AuthorScene, AuthorLevels, AuthorMusic, AuthorTexture };

struct AuthorFile {
    std::string path;  // relative to the home folder
    AuthorFileKind kind;
    int index;         // the scene or layer slot
    int64_t mtime;     // ns; -1 while the file is missing
    int64_t size;
};

struct AuthorState {
    bool enabled;  // --author
    bool paused;
    bool looping;
    int32_t loopStart, loopEnd;  // ms: [start, end)
    uint8_t held[WM_KEY_COUNT];  // the keys' states of the previous frame
    int watchFd;                 // inotify, -1 without --watch
    int64_t watchDue;            // steady ms at which a seen change is loaded, -1 none
    std::vector<AuthorFile> files;
    std::string status;          // the last reload and its result
    int64_t errorUntil;          // steady ms up to which the status shows an error
};
extern AuthorState Author;

// Key codes of the window manager's table that author mode reads.
enum AuthorKey {
    AuthorKeyHome = 36, AuthorKeyLeft = 37, AuthorKeyUp = 38, AuthorKeyRight = 39, AuthorKeyDown = 40,
    AuthorKeyLoop = 'L', AuthorKeyPause = 'P', AuthorKeyReload = 'R',
};

// --start (0 without); the options were checked at start-up.
int32_t auStartTime();

// Reads the options; with --author stamps every file of the show and, with
// --watch, starts watching its folders. After the show data is loaded.
void auInit();
// Right after the play clock's reset: applies --start.
void auStartPlay();
// At the start of every frame: the keys, the loop's return, the reloads.
void auFrameStart();
// True while a loop holds the show past its end time.
bool auHoldsEnd();
// The status line, drawn on the overlay's stage with --author.
void auDrawStatus();
// The status line's text at show time t.
std::string auStatusText(int32_t t);

// The clock (clamped to 0..250000) and the music go to t, particle pools
// are emptied; a paused show stays paused.
void auSeek(int32_t t);
void auSetPaused(bool paused);
// Loads again every file whose stamp changed (a failure keeps the old data);
// how many it tried.
int auReloadChanged();
void auDone();
