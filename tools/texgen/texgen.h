// texgen.h - procedural textures from a recipe, written as TGA, PNG or DDS.
//
// A recipe (text, one statement a line) is read into a TexRecipe: the image
// size, the output format and a list of layer operations. tgPaint runs the
// operations over an RGBA canvas of floats (0..1, starting opaque black),
// each blended onto what is there; tgEncode turns the canvas into file bytes.
// Everything is deterministic: the same recipe gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/shortstring.h"

// Layer operations: name, arguments (c colour, n number, i whole number,
// s word, t quoted text; the ones after '|' may be left out).
#define TEXGEN_OPS(X)              \
    X(fill, "c")                   \
    X(gradient, "cc|n")            \
    X(radial, "cc")                \
    X(noise, "cci|i")              \
    X(plasma, "ccn")               \
    X(checkers, "cci")             \
    X(dot, "cn|n")                 \
    X(stars, "ci|n")               \
    X(spheremap, "ccc")            \
    X(frame, "cn")                 \
    X(text, "cnst")

#define TEXGEN_ENUM(name, args) TG_##name,
enum TgOpKind { TEXGEN_OPS(TEXGEN_ENUM) TG_OPCOUNT };
#undef TEXGEN_ENUM

#define TEXGEN_BLENDS(X) X(mix) X(add) X(multiply) X(screen) X(max) X(replace)
#define TEXGEN_ENUM(name) TGB_##name,
enum TgBlend { TEXGEN_BLENDS(TEXGEN_ENUM) TGB_COUNT };
#undef TEXGEN_ENUM

// Output formats; TGF_auto picks by the output's extension and the alpha.
#define TEXGEN_FORMATS(X) X(auto) X(tga24) X(tga32) X(png24) X(png32) X(dxt1) X(dxt5)
#define TEXGEN_ENUM(name) TGF_##name,
enum TgFormat { TEXGEN_FORMATS(TEXGEN_ENUM) TGF_COUNT };
#undef TEXGEN_ENUM

struct TgColor {
    float r, g, b, a;
};

struct TgOp {
    int32_t kind;  // TgOpKind
    int32_t line;
    int32_t blend;  // TgBlend
    float opacity;
    uint32_t seed;
    int32_t colors, numbers;  // how many were given
    TgColor color[3];
    float number[3];
    ShortString word;  // the font file of `text`
    ShortString text;
};

const int32_t TexMaxOps = 64;
const int32_t TexMaxSide = 4096;

struct TexRecipe {
    int32_t width, height;
    int32_t format;  // TgFormat
    int32_t opcount;
    TgOp ops[TexMaxOps];
};

struct TexError {
    int32_t line;  // 0: not tied to a line
    char text[160];
};

// Reads a recipe; false with the first fault's line and text.
bool tgParse(TexRecipe& r, const char* data, size_t size, TexError& err);

// Paints the recipe into `rgba` (width x height x 4 floats, top row first).
// `folder` is where a text operation's font file is looked for when its name
// is relative. False with the fault (an unreadable font) in `err`.
bool tgPaint(const TexRecipe& r, float* rgba, const std::string& folder, TexError& err);

// Sets a line of text into `mask` (width x height coverage, 0..1), centred;
// false with the reason. Made with FreeType (textcard.cpp).
bool tgTextMask(const std::string& fontFile, float sizePx, const ShortString& text, int32_t width, int32_t height,
                float* mask, std::string& why);

// The format a recipe's image is written in: `format`, or for auto, by the
// extension of `outName` (.tga, .png, .dds) and whether any alpha is below 1.
// TGF_auto when the extension is none of these.
int32_t tgChooseFormat(int32_t format, const std::string& outName, bool hasAlpha);

// The file's bytes: TGA (uncompressed, top row first), PNG, or DDS with
// DXT1/DXT5 levels down to 1 x 1 (at most 13).
std::string tgEncode(const float* rgba, int32_t width, int32_t height, int32_t format, int32_t* levels = nullptr);

const char* tgFormatName(int32_t format);
