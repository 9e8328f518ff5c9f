/* tl_api.h - the texture-loader module's interface, one list for everyone.

   The texture-loader module (Modules/TL.so) turns image files into pixel
   records: TGA, PNG, JPEG and BMP through stb_image, DDS (DXT1, DXT3, DXT5
   with their mip levels) with our own reader. The program binds it by name;
   this header is the one place where the names, their C signatures, the
   record layout, the options and the result codes are written down:

     TX_API_LIST(X)     the 16 entry points, in binding order
     TX_EXTRA_LIST(X)   entry points of our own beyond those
     TX_RESULT_LIST(X)  what txGetResult reports after each call

   X(ret, name, params). Everything is plain C: no C++ type crosses the
   module boundary, and nothing is thrown out of it. Bad input never ends the
   process: the call returns 0 and txGetResult says why. */
#ifndef VELMAR_TL_API_H
#define VELMAR_TL_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TX_MAX_LEVELS 13

/* Kinds of image (TextureImage.kind). */
#define TX_KIND_PIXELS 1     /* rows of bytes, R G B (A) */
#define TX_KIND_COMPRESSED 5 /* block-compressed levels for glCompressedTexImage2D */

/* Compressed formats (TextureImage.format of kind 5) and the options that
   say whether the GL accepts them (1) or the image is decoded here (0). */
#define TX_DXT1 33776 /* GL_COMPRESSED_RGB_S3TC_DXT1_EXT */
#define TX_DXT3 33778 /* GL_COMPRESSED_RGBA_S3TC_DXT3_EXT */
#define TX_DXT5 33779 /* GL_COMPRESSED_RGBA_S3TC_DXT5_EXT */

/* Options (txOptions). */
#define TX_OPTION_REDUCE 2   /* halve width and height this many times (0 = full size) */
#define TX_OPTION_ROWORDER 3 /* 1 = top row first (default), 0 = bottom row first */

/* Where an image came from (TextureImage.source). */
#define TX_SOURCE_NONE 0
#define TX_SOURCE_TGA 1
#define TX_SOURCE_PNG 2
#define TX_SOURCE_JPEG 3
#define TX_SOURCE_BMP 4
#define TX_SOURCE_DDS 5

/* TextureImage.flags */
#define TX_FLAG_BOTTOM_FIRST 1 /* rows run bottom row first */

/* The record txLoad returns and txFree takes back. Byte offsets are fixed
   (the program reads kind, format, width, height, bpp, levels, levelsize and
   level at these places); the level pointers are 8 bytes wide on 64-bit. */
typedef struct TextureImage {
    int32_t kind;                     /*  0: TX_KIND_PIXELS or TX_KIND_COMPRESSED */
    int32_t format;                   /*  4: kind 5: GL compressed format; else 0 no alpha, 1 alpha */
    int32_t source;                   /*  8: TX_SOURCE_* */
    int32_t flags;                    /* 12: TX_FLAG_* */
    int32_t width;                    /* 16: level 0 */
    int32_t height;                   /* 20: level 0 */
    int32_t bpp;                      /* 24: 24 or 32 (8 after tx24to8) */
    int32_t levels;                   /* 28: stored levels, 1 to TX_MAX_LEVELS */
    int32_t pitch;                    /* 32: bytes per row of level 0 (0 for kind 5) */
    int32_t levelsize[TX_MAX_LEVELS]; /* 36: bytes of each level */
    uint8_t* level[TX_MAX_LEVELS];    /* 88: data of each level, one block */
} TextureImage;

#define TX_RESULT_LIST(X) \
    X(TX_OK, 0, "ok") \
    X(TX_ERR_OPEN, 1, "cannot open the file") \
    X(TX_ERR_FORMAT, 2, "not an image format the loader reads") \
    X(TX_ERR_TRUNCATED, 3, "the file ends before its image data") \
    X(TX_ERR_MALFORMED, 4, "malformed image data") \
    X(TX_ERR_TOO_LARGE, 5, "the image is larger than the loader accepts") \
    X(TX_ERR_MEMORY, 6, "out of memory") \
    X(TX_ERR_ARGUMENT, 7, "bad argument") \
    X(TX_ERR_UNSUPPORTED, 8, "not possible for this kind of image") \
    X(TX_ERR_WRITE, 9, "cannot write the file")

#define TX_RESULT_ENUM(name, value, text) name = value,
enum { TX_RESULT_LIST(TX_RESULT_ENUM) };
#undef TX_RESULT_ENUM

/* Largest side and largest pixel count an image may have. */
#define TX_MAX_SIDE 16384
#define TX_MAX_PIXELS (8192 * 8192)

#define TX_API_LIST(X) \
    X(int32_t, txGetResult, (void)) \
    X(int32_t, txGetVersion, (void)) \
    X(void, txFree, (TextureImage** image)) \
    X(int32_t, txGetDepth, (const TextureImage* image)) \
    X(TextureImage*, txDup, (const TextureImage* image)) \
    X(int32_t, tx24to32, (TextureImage* image)) \
    X(int32_t, tx24to8, (TextureImage* image)) \
    X(int32_t, txIntensity, (TextureImage* image)) \
    X(int32_t, txScale, (TextureImage* image, int32_t width, int32_t height)) \
    X(int32_t, txOptions, (int32_t option, int32_t value)) \
    X(int32_t, txBGR2RGB, (TextureImage* image)) \
    X(const uint8_t*, txGetImage, (const TextureImage* image, int32_t level)) \
    X(int32_t, txGetImageSize, (const TextureImage* image, int32_t level)) \
    X(int32_t, txInit, (int32_t flags)) \
    X(TextureImage*, txLoad, (const char* fileName)) \
    X(int32_t, txSave, (const char* fileName, const TextureImage* image))

/* Our own addition, reached by name like the others: the loader on bytes
   already in memory (the fuzz target and the tests feed it directly). */
#define TX_EXTRA_LIST(X) \
    X(TextureImage*, txLoadMemory, (const void* data, size_t size))

#define TX_DECLARE(ret, name, params) ret name params;
TX_API_LIST(TX_DECLARE)
TX_EXTRA_LIST(TX_DECLARE)
#undef TX_DECLARE

/* The text of a result code. */
static inline const char* txResultText(int32_t code) {
    switch (code) {
#define TX_RESULT_CASE(name, value, text) \
    case value: return text;
        TX_RESULT_LIST(TX_RESULT_CASE)
#undef TX_RESULT_CASE
    }
    return "unknown result";
}

#ifdef __cplusplus
}
#endif

#endif
