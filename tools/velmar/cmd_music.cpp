// velmar music render SONG OUT.ogg
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "../../frame/frame.h"
#include "../synth/audio.h"
#include "../synth/synth.h"
#include "json.h"
#include "tool.h"

namespace {

bool endsWith(const std::string& s, const char* tail) {
    size_t n = strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (tolower((unsigned char)s[s.size() - n + i]) != tail[i]) return false;
    return true;
}

}  // namespace

int cmdMusic(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {});
    if (a.help)
        return toolHelp(
            "usage: velmar music render SONG OUT.ogg\n"
            "Renders a song description with the built-in synthesiser to 44.1 kHz stereo\n"
            "and encodes it as Ogg Vorbis (an OUT ending in .wav gets 16-bit WAV instead).\n"
            "The same song always gives the same bytes. Prints JSON:\n"
            "  {\"out\":F,\"format\":\"ogg\"|\"wav\",\"seconds\":S,\"frames\":N,\"peak\":P,\"limited\":L,\"bytes\":B}\n"
            "peak is the loudest sample before the limiter (above 0.6 it bends the sound\n"
            "towards 0.9; limited counts the samples it bent). The song format is in the README.\n");
    if (a.positional.empty() || a.positional[0] != "render")
        toolFail("wants: render SONG OUT.ogg (see --help)");
    if (a.positional.size() != 3) toolFail("render wants a song file and an output file (see --help)");
    const std::string& songPath = a.positional[1];
    const std::string& outPath = a.positional[2];
    std::string text = toolReadFile(songPath);

    Song* song = (Song*)Base.BS_MemGet(sizeof(Song), "Song");
    SongError err;
    if (!songParse(*song, text.data(), text.size(), err))
        toolFail(songPath + ":" + std::to_string(err.line) + ": " + err.text);

    bool wav = endsWith(outPath, ".wav");
    int64_t frames = songFrames(*song);
    std::string out;
    VorbisWriter writer{};
    if (wav) {
        out = wavHeader(frames, 2, SongRate);
        out.reserve(out.size() + (size_t)frames * 4);
    } else {
        vorbisWriterStart(writer, 2, SongRate);
    }
    Synth* synth = (Synth*)Base.BS_MemGet(sizeof(Synth), "Synth");
    synthStart(*synth, *song);
    const int32_t block = 4096;
    float* samples = (float*)Base.BS_MemGet(sizeof(float) * 2 * block, "Song block");
    int64_t done = 0;
    for (;;) {
        int32_t n = synthRender(*synth, samples, block);
        if (n == 0) break;
        if (wav) wavAppend(out, samples, 2 * (int64_t)n);
        else vorbisWriterPush(writer, samples, n);
        done += n;
    }
    if (!wav) {
        vorbisWriterFinish(writer);
        out.swap(writer.out);
    }
    float peak = synth->peak;
    int64_t limited = synth->limited;
    synthStop(*synth);
    void* p = samples;
    Base.BS_MemFree(&p);
    p = synth;
    Base.BS_MemFree(&p);
    p = song;
    Base.BS_MemFree(&p);

    std::string why;
    if (!TryWriteFileAtomic(outPath.c_str(), out, &why)) toolFail("cannot write " + outPath + ": " + why);
    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "out"), jsonString(j, outPath);
    jsonKey(j, "format"), jsonString(j, wav ? "wav" : "ogg");
    jsonKey(j, "seconds"), jsonFloat(j, (float)((double)done / SongRate));
    jsonKey(j, "frames"), jsonInt(j, done);
    jsonKey(j, "peak"), jsonFloat(j, peak);
    jsonKey(j, "limited"), jsonInt(j, limited);
    jsonKey(j, "bytes"), jsonInt(j, (int64_t)out.size());
    jsonClose(j, '}');
    printf("%s\n", j.s.c_str());
    return 0;
}
