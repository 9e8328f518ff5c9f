// timeline.h - the show's script: which part runs when.
//
// "2ddata/timeline.cfg" is fixed-column text, read once when play begins.
// Each frame the entry due at the clock is looked up and its part number
// (1..9) dispatched to the part procedures with the entry's time mapping.
//
// Columns (1-based): 1-17 free label, 18-23 start ms, 25-26 part,
// 28-34 offset ms, 36-43 p1, 45-51 p2, 53-59 p3, 61-67 p4, 69-75 p5.
// "#" in column 1 makes a comment; a line whose part field is not a number
// above 0 is skipped.
#pragma once

#include <cstddef>
#include <cstdint>

struct TimelineEntry {
    int32_t start;   // ms from which the entry is due
    int32_t part;    // 1..9; others draw nothing
    int32_t offset;  // ms added to the clock before the division
    float p1;        // part time = (clock + offset) / p1
    float p2;        // part 1's layer divisor
    float p3, p4, p5;
};

// `entries` holds count + 1 records sorted by start; the last is the
// sentinel with start 99999999.
struct Timeline {
    int32_t count;
    TimelineEntry* entries;
};

const int32_t TimelineSentinel = 99999999;

// Reads the file; a file that cannot be read is a run-time error.
void ReadTimeline(Timeline& tl, const char* fileName);

// Fills `tl` from text (any bytes; lines cut at 255 characters).
void ParseTimeline(Timeline& tl, const char* data, size_t size);

void FreeTimeline(Timeline& tl);

// Index of the entry due at clock t, or -1 when none is.
int32_t TimelineLookup(const Timeline& tl, int32_t t);

// Part procedures 1..9 (index 0..8); a null slot draws nothing.
using DemoPartProc = void (*)(int32_t offset, float p1, float p2, float p3, float p4, float p5);
extern DemoPartProc DemoParts[9];

// Runs the part procedure of the entry's part number, if any answers it.
void TimelineDispatch(const TimelineEntry& e);
