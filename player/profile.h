// profile.h - the frame-time report for show authors (--profile OUT.csv).
//
// Owns the profile file and the frames measured. With --profile, every frame
// the play loop presents writes one line
//   frame,show_ms,part,entry,draw_ms,present_ms
// (frame counted from 1; part 0 and entry -1 when no timeline entry is due;
// draw_ms from the frame's start to just before presenting, after glFinish so
// the GL's own work counts; present_ms the presenting, a capture's read-back
// included), flushed as it goes, so a show that stops early keeps its lines.
// At the end of play a summary goes to standard output: median, 99th
// percentile and maximum of draw_ms for the whole show and for each part,
// and the ten slowest frames. Without --profile every call does nothing and
// the GL sees no extra call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ProfileFrame {
    int32_t frame;
    int32_t showms;
    int32_t part;   // 0: no entry due
    int32_t entry;  // timeline index, -1: none
    double drawms;
    double presentms;
};

// Opens the file --profile names; one that cannot be written is refused on
// standard error with exit code 2, before anything else starts.
void profOpen();
bool profActive();

// Around one frame of the play loop.
void profFrameStart();
void profFrameDrawn(int32_t showms, int32_t part, int32_t entry);
void profFramePresented();

// Prints the summary and closes the file.
void profFinish();

// The summary for these frames (what profFinish prints).
std::string profSummary(const std::vector<ProfileFrame>& frames);
// Median (the mean of the middle two for an even count) and nearest-rank
// percentile of `values`; 0 for none.
double profMedian(std::vector<double> values);
double profPercentile(std::vector<double> values, double percent);
