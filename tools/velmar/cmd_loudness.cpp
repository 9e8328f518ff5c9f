// velmar loudness AUDIO OUT.rms [--plot PNG]
#include <stdio.h>

#include "../../frame/frame.h"
#include "../synth/audio.h"
#include "../synth/loudness.h"
#include "json.h"
#include "tool.h"

namespace {

// Long music takes a few seconds: say how far the work is, in tens.
void showProgress(int32_t percent) {
    if (percent % 10 == 0) fprintf(stderr, "velmar loudness: %d%%\n", percent);
}

void writeOrFail(const std::string& path, const std::string& data) {
    std::string why;
    if (!TryWriteFileAtomic(path.c_str(), data, &why)) toolFail("cannot write " + path + ": " + why);
}

}  // namespace

int cmdLoudness(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--plot"});
    if (a.help)
        return toolHelp(
            "usage: velmar loudness AUDIO OUT.rms [--plot PNG]\n"
            "Decodes an Ogg Vorbis or WAV file and writes the music loudness table: 12 bands\n"
            "of 11442 bytes (44.1 values per second, value k at k x 10000 / 441 ms), band 0\n"
            "lowest; shorter music is padded with 0, longer music is cut at 259.4 s.\n"
            "--plot draws the bands over time as a PNG (band 0 at the bottom, a line every\n"
            "second). Prints JSON:\n"
            "  {\"audio\":F,\"rate\":R,\"channels\":C,\"seconds\":S,\"values\":N,\n"
            "   \"bands\":[{\"from\":HZ,\"to\":HZ,\"reference\":RMS,\"mean\":M},...]}\n"
            "values counts the table values that lie within the music; reference is the\n"
            "band's RMS level that reads 255, mean its average value.\n");
    if (a.positional.size() != 2) toolFail("wants an audio file and an output file (see --help)");
    std::string plotPath;
    for (auto& [k, v] : a.options) plotPath = v;
    const std::string& audioPath = a.positional[0];
    const std::string& outPath = a.positional[1];
    std::string file = toolReadFile(audioPath);

    AudioClip clip{};
    std::string why;
    if (!audioRead(file, LoudnessSeconds, clip, why)) toolFail(audioPath + ": " + why);
    file.clear();
    file.shrink_to_fit();
    double seconds = clip.rate > 0 ? (double)clip.frames / clip.rate : 0;
    LoudnessTable* table = (LoudnessTable*)Base.BS_MemGet(sizeof(LoudnessTable), "Loudness table");
    loudnessAnalyse(clip, *table, seconds > 30 ? showProgress : nullptr);

    writeOrFail(outPath, loudnessBytes(*table));
    if (!plotPath.empty()) writeOrFail(plotPath, loudnessPng(*table));

    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "audio"), jsonString(j, audioPath);
    jsonKey(j, "rate"), jsonInt(j, clip.rate);
    jsonKey(j, "channels"), jsonInt(j, clip.channels);
    jsonKey(j, "seconds"), jsonFloat(j, (float)seconds);
    jsonKey(j, "values"), jsonInt(j, table->used);
    jsonKey(j, "bands");
    jsonOpen(j, '[');
    for (int32_t b = 0; b < LoudnessBands; ++b) {
        int64_t sum = 0;
        for (int32_t k = 0; k < table->used; ++k) sum += table->values[b][k];
        jsonOpen(j, '{');
        jsonKey(j, "from"), jsonFloat(j, LoudnessBandEdges[b]);
        jsonKey(j, "to"), jsonFloat(j, LoudnessBandEdges[b + 1]);
        jsonKey(j, "reference"), jsonFloat(j, table->reference[b]);
        jsonKey(j, "mean"), jsonFloat(j, table->used ? (float)sum / table->used : 0.0f);
        jsonClose(j, '}');
    }
    jsonClose(j, ']');
    jsonClose(j, '}');
    audioFree(clip);
    void* p = table;
    Base.BS_MemFree(&p);
    printf("%s\n", j.s.c_str());
    return 0;
}
