// commands.h - velmar's subcommands: one line each, the table is made from it.
// X(name, function, one-line summary)
#pragma once

#define VELMAR_COMMANDS(X) \
    X("timeline", cmdTimeline, "read a timeline file and show its entries and what is due when") \
    X("music", cmdMusic, "render a song description to Ogg Vorbis (or WAV) with the built-in synthesiser") \
    X("loudness", cmdLoudness, "make the 12-band loudness table (.rms) of an Ogg Vorbis or WAV file") \
    X("scene", cmdSceneWithRender, "inspect, evaluate, resave, render or configure a scene file (.vlm); import or export one") \
    X("ife", cmdIfe, "read an interface-layer file and show its layers and keys, or their look at a time") \
    X("font", cmdFont, "read a font set and show its glyph widths and character map, or make one from a TrueType font") \
    X("image", cmdImage, "load an image through the texture loader and show what it returns") \
    X("texture", cmdTexture, "make a texture (TGA, PNG or DDS) from a recipe of procedural layers") \
    X("capture", cmdCapture, "capture the show to video in segments by several processes or machines, then join them")

#define VELMAR_DECLARE(name, fn, summary) int fn(int argc, char** argv);
VELMAR_COMMANDS(VELMAR_DECLARE)
#undef VELMAR_DECLARE

// velmar font make: handed over by the font command.
int cmdFontMake(int argc, char** argv);
