// layers.h - interface layers: 2D effect files and their drawing.
//
// An ".ife" file is a stack of textured or plain-coloured rectangles, each
// animated by its own keys, drawn over the picture in a 1024 x 768 screen
// laid over the current viewport. This unit owns the file format, the loaded
// sets and their drawing. The texture word "RT" shows the frame texture,
// "GLOW" the glow texture; "feher.tga" marks a plain-colour layer.
#pragma once

#include <cstdint>
#include <string>

#include "../frame/shortstring.h"

struct LayerKey {
    int32_t time;
    float x, y;     // centre, screen units from the left and bottom edges
    uint8_t ease;   // 0 linear, 1 ease-out, 2 ease-in, from this key to the next
    float angle;    // degrees, counter-clockwise
    float width, height;
    float red, green, blue, alpha;  // 0..255
};

struct InterfaceLayer {
    ShortString texturename;
    ShortString text2;
    ShortString text3;
    uint32_t gltexture;
    int32_t keycount;
    uint8_t blend;  // 0 off, 1 one/one, 2 alpha, 3 one minus alpha, 4 colour; others keep the state
    LayerKey* keys;
};

struct InterfaceLayerSet {
    int32_t count;
    int32_t header;
    InterfaceLayer* layers;
};

// A layer's look at one time, as drawn: colours already divided by 255.
struct LayerState {
    float x, y, angle, width, height;
    float red, green, blue, alpha;
};

// Loads a set; textures come from `folder` through the texture manager.
void ifeLoad(InterfaceLayerSet& set, const ShortString& fileName, const ShortString& folder);

// Reads a set from text without touching GL or textures (gltexture stays 0).
// Failures end like ifeLoad's: run-time error 106 for a malformed integer,
// a fatal stop for a set the drawing could not use.
void ifeParse(InterfaceLayerSet& set, const std::string& text, const ShortString& fileName);

void ifeFree(InterfaceLayerSet& set);

// Pieces of the format, used by the loader.
struct TextReader;
ShortString ifeReadValue(TextReader& file);
ShortString ifeField(const ShortString& text, int n);
float ifeFieldFloat(const ShortString& text, int n);

float ifeInterpolate(float a, float b, float f, int kind);
LayerState ifeEvaluate(const InterfaceLayer& layer, float time);

// Draws the set at `time` (in the units of its key times).
void ifeDraw(const InterfaceLayerSet& set, float time);
