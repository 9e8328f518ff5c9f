// velmar timeline FILE [--at MS]...
#include <stdio.h>

#include "../../player/timeline.h"
#include "json.h"
#include "tool.h"

int cmdTimeline(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--at"});
    if (a.help)
        return toolHelp(
            "usage: velmar timeline FILE [--at MS]...\n"
            "Reads a timeline with the program's own reader and prints JSON:\n"
            "  {\"entries\":[{\"start\":S,\"part\":P,\"offset\":O,\"p1\":F,...,\"p5\":F},...],\n"
            "   \"due\":[{\"t\":T,\"index\":I,\"part\":P},...]}\n"
            "entries in sorted order; for each --at the entry due at that clock value\n"
            "(index and part are null when none is due).\n");
    if (a.positional.size() != 1) toolFail("wants one timeline file (see --help)");
    std::vector<long> at;
    for (auto& [k, v] : a.options) at.push_back(toolInt(k, v));
    std::string text = toolReadFile(a.positional[0]);

    Timeline tl{};
    ParseTimeline(tl, text.data(), text.size());
    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "entries");
    jsonOpen(j, '[');
    for (int i = 0; i < tl.count; ++i) {
        const TimelineEntry& e = tl.entries[i];
        jsonOpen(j, '{');
        jsonKey(j, "start"), jsonInt(j, e.start);
        jsonKey(j, "part"), jsonInt(j, e.part);
        jsonKey(j, "offset"), jsonInt(j, e.offset);
        jsonKey(j, "p1"), jsonFloat(j, e.p1);
        jsonKey(j, "p2"), jsonFloat(j, e.p2);
        jsonKey(j, "p3"), jsonFloat(j, e.p3);
        jsonKey(j, "p4"), jsonFloat(j, e.p4);
        jsonKey(j, "p5"), jsonFloat(j, e.p5);
        jsonClose(j, '}');
    }
    jsonClose(j, ']');
    jsonKey(j, "due");
    jsonOpen(j, '[');
    for (long t : at) {
        int32_t clock = t > INT32_MAX ? INT32_MAX : t < INT32_MIN ? INT32_MIN : (int32_t)t;
        int32_t i = TimelineLookup(tl, clock);
        jsonOpen(j, '{');
        jsonKey(j, "t"), jsonInt(j, clock);
        jsonKey(j, "index");
        if (i >= 0) jsonInt(j, i); else jsonNull(j);
        jsonKey(j, "part");
        if (i >= 0) jsonInt(j, tl.entries[i].part); else jsonNull(j);
        jsonClose(j, '}');
    }
    jsonClose(j, ']');
    jsonClose(j, '}');
    FreeTimeline(tl);
    printf("%s\n", j.s.c_str());
    return 0;
}
