// Timeline reader: any bytes give a sorted table with its sentinel.
#include "fuzz_support.h"
#include "player/timeline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    Timeline tl{};
    ParseTimeline(tl, (const char*)data, size);
    if (tl.entries[tl.count].start != TimelineSentinel) abort();
    for (int i = 0; i + 1 < tl.count; ++i)
        if (tl.entries[i].start > tl.entries[i + 1].start) abort();
    for (int i = 0; i < tl.count; ++i) {
        if (tl.entries[i].part <= 0) abort();
        int32_t due = TimelineLookup(tl, tl.entries[i].start);
        if (due < i || tl.entries[due].start != tl.entries[i].start) abort();
    }
    for (int32_t t : {INT32_MIN, INT32_MAX}) TimelineLookup(tl, t);
    FreeTimeline(tl);
    return 0;
}
