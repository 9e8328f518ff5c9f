// commands.h - velmar's subcommands: one line each, the table is made from it.
// X(name, function, one-line summary)
#pragma once

#define VELMAR_COMMANDS(X) \
    X("timeline", cmdTimeline, "read a timeline file and show its entries and what is due when") \
    X("ife", cmdIfe, "read an interface-layer file and show its layers and keys, or their look at a time") \
    X("font", cmdFont, "read a font set and show its glyph widths and character map")

#define VELMAR_DECLARE(name, fn, summary) int fn(int argc, char** argv);
VELMAR_COMMANDS(VELMAR_DECLARE)
#undef VELMAR_DECLARE
