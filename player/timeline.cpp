#include "timeline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "../frame/frame.h"

DemoPartProc DemoParts[9] = {};

namespace {

// Text of columns a..b (1-based, inclusive); shorter lines give less.
std::string_view columns(const ShortString& line, int a, int b) {
    std::string_view v = view(line);
    if ((size_t)(a - 1) >= v.size()) return {};
    return v.substr((size_t)(a - 1), (size_t)(b - a + 1));
}

std::string_view trimmed(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
}

// Right-aligned decimal integer; blanks around it are allowed.
bool readInt(std::string_view v, int32_t& out) {
    return RtParseInt(trimmed(v), out);
}

// Decimal number; a field that is not one reads as 0.
float readFloat(std::string_view v) {
    float f = 0;
    RtParseReal(trimmed(v), f);
    return f;
}

bool parseEntry(const ShortString& line, TimelineEntry& e) {
    if (line.len > 0 && line.text[0] == '#') return false;
    int32_t part = 0;
    if (!readInt(columns(line, 25, 26), part) || part <= 0) return false;
    e.part = part;
    if (!readInt(columns(line, 18, 23), e.start)) e.start = 0;
    if (!readInt(columns(line, 28, 34), e.offset)) e.offset = 0;
    e.p1 = readFloat(columns(line, 36, 43));
    e.p2 = readFloat(columns(line, 45, 51));
    e.p3 = readFloat(columns(line, 53, 59));
    e.p4 = readFloat(columns(line, 61, 67));
    e.p5 = readFloat(columns(line, 69, 75));
    return true;
}

}  // namespace

void ParseTimeline(Timeline& tl, const char* data, size_t size) {
    TimelineEntry e{};
    int32_t count = 0;
    TextReader r{data, size, 0};
    while (!trEof(r))
        if (parseEntry(trReadLine(r), e)) ++count;
    tl.count = count;
    tl.entries = (TimelineEntry*)Base.BS_MemGet(sizeof(TimelineEntry) * ((size_t)count + 1), "Timeline");
    r.pos = 0;
    int32_t i = 0;
    while (!trEof(r) && i < count)
        if (parseEntry(trReadLine(r), e)) tl.entries[i++] = e;
    tl.entries[count] = TimelineEntry{};
    tl.entries[count].start = TimelineSentinel;
    // Stable: entries with equal starts keep their file order, as the
    // neighbour-swapping sort of the original format does.
    std::stable_sort(tl.entries, tl.entries + count,
                     [](const TimelineEntry& a, const TimelineEntry& b) { return a.start < b.start; });
}

void ReadTimeline(Timeline& tl, const char* fileName) {
    std::string text = RtReadFile(fileName);
    ParseTimeline(tl, text.data(), text.size());
}

void FreeTimeline(Timeline& tl) {
    void* p = tl.entries;
    if (p) Base.BS_MemFree(&p);
    tl.entries = nullptr;
    tl.count = 0;
}

int32_t TimelineLookup(const Timeline& tl, int32_t t) {
    for (int32_t i = 0; i < tl.count; ++i)
        if (tl.entries[i].start <= t && t < tl.entries[i + 1].start) return i;
    return -1;
}

void TimelineDispatch(const TimelineEntry& e) {
    if (e.part < 1 || e.part > 9) return;
    if (DemoPartProc p = DemoParts[e.part - 1]) p(e.offset, e.p1, e.p2, e.p3, e.p4, e.p5);
}
