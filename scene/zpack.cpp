// zlib for the packed chunks, bound by name from the Base module on first use.
#include "../frame/frame.h"
#include "scenefile.h"

namespace {

// zlib's own signatures (uLongf is unsigned long on this platform).
using Compress2Proc = int (*)(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                              unsigned long sourceLen, int level);
using UncompressProc = int (*)(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                               unsigned long sourceLen);

const int ZOk = 0;
const int ZDataError = -3;
const int NoBlock = 42;

struct ZlibBinding {
    Compress2Proc compress2;
    UncompressProc uncompress;
    int32_t level;
};
ZlibBinding Zlib = {nullptr, nullptr, 9};

void bindZlib() {
    if (Zlib.compress2) return;
    void* h = Base.BS_DlOpen ? Base.BS_DlOpen("Base") : nullptr;
    if (h) {
        Zlib.compress2 = (Compress2Proc)Base.BS_DlGetProc(h, "compress2");
        Zlib.uncompress = (UncompressProc)Base.BS_DlGetProc(h, "uncompress");
    }
    // Without them no scene file can be read or written: the module is
    // not ours or is damaged.
    if (!Zlib.compress2 || !Zlib.uncompress) {
        Zlib.compress2 = nullptr;
        Zlib.uncompress = nullptr;
        FatalStop("Base module without compress2/uncompress. Please reinstall this software.");
    }
}

}  // namespace

void SetCompressionLevel(int32_t level) { Zlib.level = level; }

int32_t PackBlock(const void* source, int32_t length, void** output, int32_t* outputLength) {
    bindZlib();
    *output = nullptr;
    *outputLength = 0;
    if (length < 0) return ZDataError;
    size_t room = (size_t)((double)length * 1.001) + 12;
    void* out = Base.BS_MemGet(room, "Z lib (compress)");
    if (!out) return NoBlock;
    unsigned long got = room;
    int r = Zlib.compress2((unsigned char*)out, &got, (const unsigned char*)source, (unsigned long)length, Zlib.level);
    *output = out;
    *outputLength = (int32_t)got;
    return r;
}

int32_t UnpackBlock(void** output, int32_t outputLength, const void* source, int32_t sourceLength) {
    bindZlib();
    *output = nullptr;
    if (outputLength < 0 || sourceLength < 0) return ZDataError;
    void* out = Base.BS_MemGet((size_t)outputLength, "Z lib (decompress)");
    if (!out) return NoBlock;
    *output = out;
    unsigned long got = (unsigned long)outputLength;
    int r = Zlib.uncompress((unsigned char*)out, &got, (const unsigned char*)source, (unsigned long)sourceLength);
    if (r == ZOk && got != (unsigned long)outputLength) r = ZDataError;
    return r;
}

bool InflateInto(void* dest, size_t size, const void* source, size_t sourceLength) {
    bindZlib();
    // zlib takes an output length of 0 and then only accepts a stream of
    // nothing, which is what an empty payload must be.
    unsigned char spare;
    unsigned long got = size;
    int r = Zlib.uncompress(dest ? (unsigned char*)dest : &spare, &got, (const unsigned char*)source,
                            (unsigned long)sourceLength);
    return r == ZOk && got == size;
}
