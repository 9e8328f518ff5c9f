#include "song.h"

#include <charconv>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#define SONG_NAME(name) #name,
const char* const SongWaveNames[SongWaveCount] = {SONG_WAVES(SONG_NAME)};
const char* const SongDrumNames[SongDrumCount] = {SONG_DRUMS(SONG_NAME)};
const char* const SongFilterNames[SongFilterCount] = {SONG_FILTERS(SONG_NAME)};
#undef SONG_NAME

namespace {

// Keywords with the number of words that may follow them: X(key, min, max).
#define SONG_TOP_KEYS(X) \
    X(tempo, 1, 1) X(steps, 1, 1) X(tail, 1, 1) X(volume, 1, 1) X(delay, 2, 2) X(reverb, 2, 2) \
    X(instrument, 1, 1) X(pattern, 2, 2) X(section, 2, 1 + SongMaxLayers) X(arrange, 1, 1 << 20)
#define SONG_INSTRUMENT_KEYS(X) \
    X(osc, 1, 3) X(drum, 1, 1) X(filter, 2, 3) X(sweep, 2, 2) X(env, 4, 4) X(decay, 1, 1) \
    X(tune, 1, 1) X(volume, 1, 1) X(pan, 1, 1) X(delay, 1, 1) X(reverb, 1, 1)

struct KeyInfo {
    const char* name;
    int32_t minArgs, maxArgs;
};
#define SONG_KEY_ENUM(name, lo, hi) Top_##name,
enum TopKey { SONG_TOP_KEYS(SONG_KEY_ENUM) TopKeyCount };
#undef SONG_KEY_ENUM
#define SONG_KEY_ENUM(name, lo, hi) Ins_##name,
enum InstrumentKey { SONG_INSTRUMENT_KEYS(SONG_KEY_ENUM) InstrumentKeyCount };
#undef SONG_KEY_ENUM
#define SONG_KEY_INFO(name, lo, hi) {#name, lo, hi},
const KeyInfo kTopKeys[TopKeyCount] = {SONG_TOP_KEYS(SONG_KEY_INFO)};
const KeyInfo kInstrumentKeys[InstrumentKeyCount] = {SONG_INSTRUMENT_KEYS(SONG_KEY_INFO)};
#undef SONG_KEY_INFO

const size_t kMaxLine = 4096;
const int32_t kMaxWords = (int32_t)kMaxLine / 2 + 1;

enum Block { InNothing, InInstrument, InPattern };

struct Reader {
    Song& song;
    SongError& err;
    int32_t line;
    std::string_view words[kMaxWords];
    int32_t wordCount;
    Block block;
    int32_t blockIndex, blockLine;
    int32_t lastArrangeLine, delayLine;
};

// Writes the fault and returns false, so a check reads `return fail(...)`.
bool fail(Reader& r, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool fail(Reader& r, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    vsnprintf(r.err.text, sizeof r.err.text, format, ap);
    va_end(ap);
    r.err.line = r.line;
    return false;
}

// Words are quoted in messages cut to a readable length.
int shown(std::string_view w) { return (int)(w.size() > 40 ? 40 : w.size()); }

bool readNumber(std::string_view w, float& out) {
    if (!w.empty() && w.front() == '+') w.remove_prefix(1);
    float f = 0;
    auto res = std::from_chars(w.data(), w.data() + w.size(), f);
    if (w.empty() || res.ec != std::errc() || res.ptr != w.data() + w.size() || !std::isfinite(f)) return false;
    out = f;
    return true;
}

// A number of the word at `i` within lo..hi, or a fault naming `what`.
bool number(Reader& r, int32_t i, float lo, float hi, const char* what, float& out) {
    std::string_view w = r.words[i];
    float f = 0;
    if (!readNumber(w, f) || f < lo || f > hi)
        return fail(r, "%s wants a number from %g to %g, not \"%.*s\"", what, lo, hi, shown(w), w.data());
    out = f;
    return true;
}

bool wholeNumber(Reader& r, int32_t i, int32_t lo, int32_t hi, const char* what, int32_t& out) {
    std::string_view w = r.words[i];
    int32_t v = 0;
    auto res = std::from_chars(w.data(), w.data() + w.size(), v);
    if (w.empty() || res.ec != std::errc() || res.ptr != w.data() + w.size() || v < lo || v > hi)
        return fail(r, "%s wants a whole number from %d to %d, not \"%.*s\"", what, lo, hi, shown(w), w.data());
    out = v;
    return true;
}

// Names: letters, digits, "_", "-" and ".", up to 31 characters, not "end".
bool name(Reader& r, int32_t i, char (&out)[SongNameSize]) {
    std::string_view w = r.words[i];
    bool ok = !w.empty() && w.size() < (size_t)SongNameSize && w != "end";
    for (char c : w)
        ok = ok && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '-' || c == '.');
    if (!ok)
        return fail(r, "\"%.*s\" is not a name (letters, digits, _ - . up to 31 characters)", shown(w), w.data());
    memcpy(out, w.data(), w.size());
    out[w.size()] = 0;
    return true;
}

template <typename T>
int32_t findNamed(const T* table, int32_t count, std::string_view w) {
    for (int32_t i = 0; i < count; ++i)
        if (w == table[i].name) return i;
    return -1;
}

int32_t findWord(const char* const* names, int32_t count, std::string_view w) {
    for (int32_t i = 0; i < count; ++i)
        if (w == names[i]) return i;
    return -1;
}

// "C4", "F#2", "Bb3", "a0": MIDI note number, or -1.
int32_t noteNumber(std::string_view w) {
    static const int8_t kPitch[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (w.size() < 2 || w.size() > 3) return -1;
    char c = w[0];
    if (c >= 'a' && c <= 'g') c = (char)(c - 'a' + 'A');
    if (c < 'A' || c > 'G') return -1;
    int32_t pitch = kPitch[c - 'A'];
    size_t at = 1;
    if (w.size() == 3) {
        if (w[1] == '#') pitch += 1;
        else if (w[1] == 'b') pitch -= 1;
        else return -1;
        at = 2;
    }
    if (w[at] < '0' || w[at] > '9') return -1;
    int32_t note = (w[at] - '0' + 1) * 12 + pitch;
    return note >= 0 && note <= 127 ? note : -1;
}

bool stepCell(Reader& r, std::string_view w, SongCell& cell) {
    cell.velocity = 255;
    if (w == ".") cell.note = SongHold;
    else if (w == "-") cell.note = SongRelease;
    else if (w == "x") cell.note = SongHitNote;
    else if (w == "o") cell.note = SongHitNote, cell.velocity = 128;
    else {
        int32_t n = noteNumber(w);
        if (n < 0)
            return fail(r, "\"%.*s\" is not a step (. - x o or a note such as C4 or F#2)", shown(w), w.data());
        cell.note = (int16_t)n;
    }
    return true;
}

void instrumentDefaults(SongInstrument& in) {
    in = SongInstrument{};
    in.drum = -1;
    in.filter = -1;
    in.cutoff = 1000;
    in.sweepMs = 100;
    in.attack = 5;
    in.decay = 200;
    in.sustain = 0.7f;
    in.release = 100;
    in.volume = 0.5f;
}

bool instrumentLine(Reader& r, SongInstrument& in) {
    int32_t key = -1;
    for (int32_t i = 0; i < InstrumentKeyCount; ++i)
        if (r.words[0] == kInstrumentKeys[i].name) key = i;
    if (key < 0)
        return fail(r, "unknown instrument setting \"%.*s\" (osc drum filter sweep env decay tune volume pan delay "
                       "reverb, or end)",
                    shown(r.words[0]), r.words[0].data());
    int32_t args = r.wordCount - 1;
    if (args < kInstrumentKeys[key].minArgs || args > kInstrumentKeys[key].maxArgs)
        return fail(r, "%s wants %d to %d values, not %d", kInstrumentKeys[key].name, kInstrumentKeys[key].minArgs,
                    kInstrumentKeys[key].maxArgs, args);
    switch ((InstrumentKey)key) {
    case Ins_osc: {
        if (in.drum >= 0) return fail(r, "a drum instrument has no osc lines");
        if (in.oscCount >= SongMaxOscs) return fail(r, "an instrument has at most %d osc lines", SongMaxOscs);
        SongOsc o{};
        int32_t w = findWord(SongWaveNames, SongWaveCount, r.words[1]);
        if (w < 0)
            return fail(r, "unknown wave \"%.*s\" (saw square sine noise)", shown(r.words[1]), r.words[1].data());
        o.wave = (uint8_t)w;
        o.level = 1;
        if (args >= 2 && !number(r, 2, -2400, 2400, "osc detune (cents)", o.detune)) return false;
        if (args >= 3 && !number(r, 3, 0, 4, "osc level", o.level)) return false;
        in.oscs[in.oscCount++] = o;
        return true;
    }
    case Ins_drum: {
        if (in.oscCount > 0) return fail(r, "an instrument with osc lines cannot be a drum");
        int32_t d = findWord(SongDrumNames, SongDrumCount, r.words[1]);
        if (d < 0)
            return fail(r, "unknown drum \"%.*s\" (kick snare hat openhat)", shown(r.words[1]), r.words[1].data());
        in.drum = d;
        return true;
    }
    case Ins_filter: {
        int32_t f = findWord(SongFilterNames, SongFilterCount, r.words[1]);
        if (f < 0)
            return fail(r, "unknown filter \"%.*s\" (lowpass highpass bandpass)", shown(r.words[1]),
                        r.words[1].data());
        in.filter = f;
        if (!number(r, 2, 20, 20000, "filter cutoff (Hz)", in.cutoff)) return false;
        in.resonance = 0;
        return args < 3 || number(r, 3, 0, 1, "filter resonance", in.resonance);
    }
    case Ins_sweep:
        return number(r, 1, -20000, 20000, "sweep (Hz)", in.sweep) &&
               number(r, 2, 1, 60000, "sweep time (ms)", in.sweepMs);
    case Ins_env:
        return number(r, 1, 0, 60000, "env attack (ms)", in.attack) &&
               number(r, 2, 1, 60000, "env decay (ms)", in.decay) &&
               number(r, 3, 0, 1, "env sustain level", in.sustain) &&
               number(r, 4, 1, 60000, "env release (ms)", in.release);
    case Ins_decay: return number(r, 1, 1, 60000, "decay (ms)", in.drumDecay);
    case Ins_tune: return number(r, 1, -48, 48, "tune (semitones)", in.tune);
    case Ins_volume: return number(r, 1, 0, 4, "volume", in.volume);
    case Ins_pan: return number(r, 1, -1, 1, "pan", in.pan);
    case Ins_delay: return number(r, 1, 0, 1, "delay send", in.delaySend);
    case Ins_reverb: return number(r, 1, 0, 1, "reverb send", in.reverbSend);
    case InstrumentKeyCount: break;
    }
    return true;
}

bool patternRow(Reader& r, SongPattern& p) {
    Song& s = r.song;
    int32_t instrument = findNamed(s.instruments, s.instrumentCount, r.words[0]);
    if (instrument < 0)
        return fail(r, "unknown instrument \"%.*s\" (instruments are defined before the patterns that use them)",
                    shown(r.words[0]), r.words[0].data());
    if (p.rowCount >= SongMaxRows) return fail(r, "pattern \"%s\" has more than %d rows", p.name, SongMaxRows);
    int32_t steps = 0;
    for (int32_t i = 1; i < r.wordCount; ++i) steps += r.words[i] != "|";
    if (steps != p.steps)
        return fail(r, "the row has %d steps; pattern \"%s\" has %d", steps, p.name, p.steps);
    if (s.cellCount + steps > SongMaxCells)
        return fail(r, "the song has more than %d pattern steps in all", SongMaxCells);
    SongRow& row = p.rows[p.rowCount];
    row.instrument = instrument;
    row.firstCell = s.cellCount;
    for (int32_t i = 1; i < r.wordCount; ++i) {
        if (r.words[i] == "|") continue;
        if (!stepCell(r, r.words[i], s.cells[s.cellCount])) return false;
        ++s.cellCount;
    }
    ++p.rowCount;
    return true;
}

bool arrangeLine(Reader& r) {
    Song& s = r.song;
    for (int32_t i = 1; i < r.wordCount; ++i) {
        std::string_view w = r.words[i];
        int32_t times = 1;
        size_t star = w.find('*');
        std::string_view sectionName = w.substr(0, star);
        if (star != std::string_view::npos) {
            std::string_view n = w.substr(star + 1);
            auto res = std::from_chars(n.data(), n.data() + n.size(), times);
            if (n.empty() || res.ec != std::errc() || res.ptr != n.data() + n.size() || times < 1 ||
                times > SongMaxArrange)
                return fail(r, "\"%.*s\": a repeat is a whole number from 1 to %d after \"*\"", shown(w), w.data(),
                            SongMaxArrange);
        }
        int32_t section = findNamed(s.sections, s.sectionCount, sectionName);
        if (section < 0)
            return fail(r, "unknown section \"%.*s\" (sections are defined before the arrangement)",
                        shown(sectionName), sectionName.data());
        if (s.arrangeCount + times > SongMaxArrange)
            return fail(r, "the arrangement has more than %d section plays", SongMaxArrange);
        for (int32_t t = 0; t < times; ++t) s.arrange[s.arrangeCount++] = (int16_t)section;
        s.totalSteps += (int64_t)times * s.sections[section].steps;
    }
    r.lastArrangeLine = r.line;
    return true;
}

bool topLine(Reader& r) {
    Song& s = r.song;
    int32_t key = -1;
    for (int32_t i = 0; i < TopKeyCount; ++i)
        if (r.words[0] == kTopKeys[i].name) key = i;
    if (key < 0)
        return fail(r, "unknown word \"%.*s\" (tempo steps tail volume delay reverb instrument pattern section "
                       "arrange)",
                    shown(r.words[0]), r.words[0].data());
    int32_t args = r.wordCount - 1;
    if (args < kTopKeys[key].minArgs || args > kTopKeys[key].maxArgs) {
        if (kTopKeys[key].minArgs == kTopKeys[key].maxArgs)
            return fail(r, "%s wants %d value%s, not %d", kTopKeys[key].name, kTopKeys[key].minArgs,
                        kTopKeys[key].minArgs == 1 ? "" : "s", args);
        return fail(r, "%s wants %d to %d values, not %d", kTopKeys[key].name, kTopKeys[key].minArgs,
                    kTopKeys[key].maxArgs, args);
    }
    switch ((TopKey)key) {
    case Top_tempo: return number(r, 1, 20, 400, "tempo (beats per minute)", s.tempo);
    case Top_steps: return wholeNumber(r, 1, 1, 16, "steps (per beat)", s.stepsPerBeat);
    case Top_tail: return number(r, 1, 0, 30, "tail (seconds)", s.tail);
    case Top_volume: return number(r, 1, 0, 4, "volume", s.volume);
    case Top_delay:
        r.delayLine = r.line;
        return number(r, 1, 0.125f, 64, "delay time (steps)", s.delaySteps) &&
               number(r, 2, 0, 0.95f, "delay feedback", s.delayFeedback);
    case Top_reverb:
        return number(r, 1, 0, 1, "reverb size", s.reverbSize) && number(r, 2, 0, 1, "reverb damping", s.reverbDamp);
    case Top_instrument: {
        if (s.instrumentCount >= SongMaxInstruments)
            return fail(r, "a song has at most %d instruments", SongMaxInstruments);
        SongInstrument& in = s.instruments[s.instrumentCount];
        instrumentDefaults(in);
        if (!name(r, 1, in.name)) return false;
        if (findNamed(s.instruments, s.instrumentCount, r.words[1]) >= 0)
            return fail(r, "instrument \"%s\" is defined twice", in.name);
        r.block = InInstrument, r.blockIndex = s.instrumentCount++, r.blockLine = r.line;
        return true;
    }
    case Top_pattern: {
        if (s.patternCount >= SongMaxPatterns) return fail(r, "a song has at most %d patterns", SongMaxPatterns);
        SongPattern& p = s.patterns[s.patternCount];
        p = SongPattern{};
        if (!name(r, 1, p.name) || !wholeNumber(r, 2, 1, SongMaxSteps, "pattern length (steps)", p.steps))
            return false;
        if (findNamed(s.patterns, s.patternCount, r.words[1]) >= 0)
            return fail(r, "pattern \"%s\" is defined twice", p.name);
        r.block = InPattern, r.blockIndex = s.patternCount++, r.blockLine = r.line;
        return true;
    }
    case Top_section: {
        if (s.sectionCount >= SongMaxSections) return fail(r, "a song has at most %d sections", SongMaxSections);
        SongSection& sec = s.sections[s.sectionCount];
        sec = SongSection{};
        if (!name(r, 1, sec.name)) return false;
        if (findNamed(s.sections, s.sectionCount, r.words[1]) >= 0)
            return fail(r, "section \"%s\" is defined twice", sec.name);
        for (int32_t i = 2; i < r.wordCount; ++i) {
            int32_t p = findNamed(s.patterns, s.patternCount, r.words[i]);
            if (p < 0)
                return fail(r, "unknown pattern \"%.*s\" (patterns are defined before the sections that use them)",
                            shown(r.words[i]), r.words[i].data());
            sec.layers[sec.layerCount++] = p;
            if (s.patterns[p].steps > sec.steps) sec.steps = s.patterns[p].steps;
        }
        ++s.sectionCount;
        return true;
    }
    case Top_arrange: return arrangeLine(r);
    case TopKeyCount: break;
    }
    return true;
}

bool blockLine(Reader& r) {
    Song& s = r.song;
    if (r.words[0] == "end") {
        if (r.wordCount > 1) return fail(r, "\"end\" stands alone on its line");
        if (r.block == InInstrument) {
            const SongInstrument& in = s.instruments[r.blockIndex];
            if (in.oscCount == 0 && in.drum < 0) {
                r.line = r.blockLine;
                return fail(r, "instrument \"%s\" has neither an osc nor a drum line", in.name);
            }
        }
        r.block = InNothing;
        return true;
    }
    if (r.block == InInstrument) return instrumentLine(r, s.instruments[r.blockIndex]);
    return patternRow(r, s.patterns[r.blockIndex]);
}

// Splits the line into words; a "#" where a word would begin starts a
// comment (inside a word it is a sharp: "F#2").
bool splitLine(Reader& r, std::string_view line) {
    r.wordCount = 0;
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == '#') break;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\f' &&
               line[i] != '\v')
            ++i;
        if (r.wordCount >= kMaxWords) return fail(r, "too many words on the line");
        r.words[r.wordCount++] = line.substr(start, i - start);
    }
    return true;
}

}  // namespace

bool songParse(Song& song, const char* data, size_t size, SongError& err) {
    memset(&song, 0, sizeof song);
    song.tempo = 120;
    song.stepsPerBeat = 4;
    song.tail = 1;
    song.volume = 1;
    song.delaySteps = 3;
    song.delayFeedback = 0.35f;
    song.reverbSize = 0.5f;
    song.reverbDamp = 0.5f;
    err = SongError{};
    Reader r{song, err, 0, {}, 0, InNothing, 0, 0, 0, 0};
    bool ok = true;
    size_t pos = 0;
    while (ok && pos < size) {
        const char* nl = (const char*)memchr(data + pos, '\n', size - pos);
        size_t end = nl ? (size_t)(nl - data) : size;
        std::string_view line(data + pos, end - pos);
        pos = nl ? end + 1 : size;
        ++r.line;
        if (line.size() > kMaxLine) {
            ok = fail(r, "the line is longer than %zu characters", kMaxLine);
            break;
        }
        if (!splitLine(r, line)) {
            ok = false;
            break;
        }
        if (r.wordCount == 0) continue;
        ok = r.block == InNothing ? topLine(r) : blockLine(r);
    }
    if (ok && r.block != InNothing) {
        r.line = r.blockLine;
        ok = fail(r, "%s \"%s\" has no end line", r.block == InInstrument ? "instrument" : "pattern",
                  r.block == InInstrument ? song.instruments[r.blockIndex].name : song.patterns[r.blockIndex].name);
    }
    if (ok && song.arrangeCount == 0) {
        r.line = r.line > 0 ? r.line : 1;
        ok = fail(r, "the song has no arrange line: nothing to play");
    }
    if (ok && r.delayLine > 0 &&
        song.delaySteps * 60.0 / ((double)song.tempo * song.stepsPerBeat) > SongMaxDelaySeconds) {
        r.line = r.delayLine;
        ok = fail(r, "the delay is longer than %g seconds at this tempo", (double)SongMaxDelaySeconds);
    }
    if (ok && songFrames(song) > (int64_t)SongMaxSeconds * SongRate) {
        r.line = r.lastArrangeLine;
        ok = fail(r, "the song lasts %.1f seconds; at most %d", (double)songFrames(song) / SongRate, SongMaxSeconds);
    }
    return ok;
}

int64_t songStepFrame(const Song& song, int64_t step) {
    double framesPerStep = SongRate * 60.0 / ((double)song.tempo * song.stepsPerBeat);
    return (int64_t)std::floor((double)step * framesPerStep + 0.5);
}

int64_t songFrames(const Song& song) {
    return songStepFrame(song, song.totalSteps) + (int64_t)std::floor((double)song.tail * SongRate + 0.5);
}
