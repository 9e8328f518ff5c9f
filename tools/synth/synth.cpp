#include "synth.h"

#include <cmath>
#include <cstring>

#include "../../frame/base.h"

namespace {

const float kPi = 3.14159265358979f;
const float kE5 = 0.006737947f;  // e^-5: where an envelope segment ends
const float kRate = (float)SongRate;

// Built-in length (ms) of each drum voice.
const float kDrumDecay[SongDrumCount] = {400, 220, 60, 400};

// Reverb: comb and all-pass lengths in frames at 44.1 kHz, the right
// channel 23 frames longer for width.
const int32_t kCombLengths[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
const int32_t kAllpassLengths[4] = {556, 441, 341, 225};
const int32_t kStereoSpread = 23;
const float kReverbInput = 0.015f;

// Limiter: straight up to the knee, then bent smoothly towards the ceiling.
const float kKnee = 0.6f;
const float kCeiling = 0.9f;

inline float flushTiny(float v) { return std::fabs(v) < 1e-15f ? 0.0f : v; }

inline uint32_t nextNoise(uint32_t& x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}
inline float noiseSample(uint32_t& x) { return (float)(int32_t)nextNoise(x) * (1.0f / 2147483648.0f); }

// Step of a segment falling from 1 to e^-5 over `ms`.
inline float fallStepFor(float ms) {
    float frames = ms * kRate / 1000.0f;
    return std::exp(-5.0f / (frames < 1 ? 1 : frames));
}
// 1 at the segment's start, exactly 0 at its end.
inline float fallShape(float fall) { return fall <= kE5 ? 0.0f : (fall - kE5) / (1.0f - kE5); }

// State-variable filter coefficients for a cutoff and a resonance 0..1.
inline void filterCoefficients(float cutoff, float resonance, float& g, float& k, float& a1) {
    float fc = cutoff < 20 ? 20 : cutoff > kRate * 0.45f ? kRate * 0.45f : cutoff;
    g = std::tan(kPi * fc / kRate);
    k = 2.0f - 1.95f * resonance;
    a1 = 1.0f / (1.0f + g * (g + k));
}

// One sample through the filter; `type` picks the output.
inline float filterRun(float in, float g, float k, float a1, float& ic1, float& ic2, int32_t type) {
    float v3 = in - ic2;
    float v1 = a1 * ic1 + g * a1 * v3;
    float v2 = ic2 + g * v1;
    ic1 = flushTiny(2.0f * v1 - ic1);
    ic2 = flushTiny(2.0f * v2 - ic2);
    if (type == Filter_highpass) return in - k * v1 - v2;
    if (type == Filter_bandpass) return v1;
    return v2;
}

// Band-limited step correction for saw and square.
inline float polyBlep(float t, float dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
        t = (t - 1.0f) / dt;
        return t * t + t + t + 1.0f;
    }
    return 0.0f;
}

float oscSample(SynthVoice& v, int32_t i, uint8_t wave) {
    float t = v.phase[i], dt = v.inc[i];
    float out;
    switch (wave) {
    case Wave_saw: out = 2.0f * t - 1.0f - polyBlep(t, dt); break;
    case Wave_square: {
        float t2 = t + 0.5f;
        if (t2 >= 1.0f) t2 -= 1.0f;
        out = (t < 0.5f ? 1.0f : -1.0f) + polyBlep(t, dt) - polyBlep(t2, dt);
        break;
    }
    case Wave_sine: out = std::sin(2.0f * kPi * t); break;
    default: out = noiseSample(v.noise); break;
    }
    t += dt;
    if (t >= 1.0f) t -= 1.0f;
    v.phase[i] = t;
    return out;
}

void startRelease(SynthVoice& v, float ms) {
    if (v.stage == EnvOff || v.stage == EnvRelease) return;
    v.releaseFrom = v.level;
    v.fall = 1;
    v.fallStep = fallStepFor(ms);
    v.stage = EnvRelease;
}

// Lets go of the voice a row holds: oscillator voices fade over their
// release, drums are choked in a few milliseconds.
void releaseOwner(Synth& s, int32_t owner) {
    for (SynthVoice& v : s.voices) {
        if (v.stage == EnvOff || v.owner != owner) continue;
        const SongInstrument& in = s.song->instruments[v.instrument];
        startRelease(v, in.drum >= 0 ? 5.0f : in.release);
        v.owner = 0;
    }
}

void releaseAll(Synth& s) {
    for (SynthVoice& v : s.voices)
        if (v.stage != EnvOff && v.owner != 0) releaseOwner(s, v.owner);
}

SynthVoice& freeVoice(Synth& s) {
    // A free voice, else the oldest fading one, else the oldest.
    SynthVoice* best = nullptr;
    for (SynthVoice& v : s.voices)
        if (v.stage == EnvOff) return v;
    for (SynthVoice& v : s.voices)
        if (v.stage == EnvRelease && (!best || v.serial < best->serial)) best = &v;
    if (best) return *best;
    best = &s.voices[0];
    for (SynthVoice& v : s.voices)
        if (v.serial < best->serial) best = &v;
    return *best;
}

void startVoice(Synth& s, int32_t instrument, const SongCell& cell, int32_t owner) {
    const SongInstrument& in = s.song->instruments[instrument];
    SynthVoice& v = freeVoice(s);
    v = SynthVoice{};
    v.instrument = instrument;
    v.owner = owner;
    v.serial = ++s.serial;
    v.noise = v.serial * 2654435761u + 0x6A09E667u;
    if (v.noise == 0) v.noise = 1;
    v.velocity = cell.velocity / 255.0f;
    // Constant power, 1 on each side in the middle, exactly 0 on the far side.
    float gain = in.volume * v.velocity;
    v.gainL = gain * std::sqrt(1.0f - in.pan);
    v.gainR = gain * std::sqrt(1.0f + in.pan);
    v.stage = EnvAttack;
    float tuneRatio = std::exp2(in.tune / 12.0f);
    if (in.drum >= 0) {
        v.attackStep = 1.0f / (0.0002f * kRate);
        v.fallStep = fallStepFor(in.drumDecay > 0 ? in.drumDecay : kDrumDecay[in.drum]);
        v.pitchFall = 1;
        v.toneFall = 1;
        v.drumPhase[0] = v.drumPhase[1] = 0;
        switch (in.drum) {
        case Drum_kick:
            v.pitchStep = std::exp(-1.0f / (0.006f * kRate));  // the pitch drops within ~20 ms
            v.toneStep = std::exp(-1.0f / (0.0015f * kRate));  // the click
            v.inc[0] = 160.0f * tuneRatio / kRate;              // start pitch
            v.inc[1] = 48.0f * tuneRatio / kRate;               // body pitch
            break;
        case Drum_snare:
            v.toneStep = std::exp(-1.0f / (0.035f * kRate));
            v.inc[0] = 220.0f * tuneRatio / kRate;
            v.inc[1] = 420.0f * tuneRatio / kRate;
            filterCoefficients(500.0f * tuneRatio, 0.1f, v.ng, v.nk, v.na1);
            break;
        default:
            filterCoefficients(7000.0f * tuneRatio, 0.2f, v.ng, v.nk, v.na1);
            break;
        }
    } else {
        v.attackStep = 1.0f / ((in.attack < 1 ? 1 : in.attack) * 0.001f * kRate);
        v.fallStep = fallStepFor(in.decay);
        float freq = 440.0f * std::exp2((cell.note - 69 + in.tune) / 12.0f);
        for (int32_t i = 0; i < in.oscCount; ++i) {
            float inc = freq * std::exp2(in.oscs[i].detune / 1200.0f) / kRate;
            v.inc[i] = inc > 0.49f ? 0.49f : inc;
        }
    }
    if (in.filter >= 0) {
        v.sweepFall = 1;
        v.sweepStep = fallStepFor(in.sweepMs);
        filterCoefficients(in.cutoff + in.sweep, in.resonance, v.fg, v.fk, v.fa1);
        v.filterCountdown = 16;
    }
}

// Advances the envelope one frame; false when the voice has ended.
inline bool envelopeStep(SynthVoice& v, float sustain) {
    switch (v.stage) {
    case EnvAttack:
        v.level += v.attackStep;
        if (v.level >= 1.0f) {
            v.level = 1;
            v.fall = 1;
            v.stage = EnvDecay;
        }
        return true;
    case EnvDecay:
        v.fall *= v.fallStep;
        if (v.fall <= kE5) {
            v.level = sustain;
            v.stage = EnvSustain;
            if (sustain <= 0) {
                v.stage = EnvOff;
                return false;
            }
        } else {
            v.level = sustain + (1.0f - sustain) * fallShape(v.fall);
        }
        return true;
    case EnvSustain: return true;
    case EnvRelease:
        v.fall *= v.fallStep;
        v.level = v.releaseFrom * fallShape(v.fall);
        if (v.fall <= kE5) {
            v.stage = EnvOff;
            return false;
        }
        return true;
    default: return false;
    }
}

float drumSample(SynthVoice& v, int32_t drum) {
    switch (drum) {
    case Drum_kick: {
        float inc = v.inc[1] + (v.inc[0] - v.inc[1]) * v.pitchFall;
        v.pitchFall *= v.pitchStep;
        float body = std::sin(2.0f * kPi * v.drumPhase[0]);
        v.drumPhase[0] += inc;
        if (v.drumPhase[0] >= 1.0f) v.drumPhase[0] -= 1.0f;
        float click = noiseSample(v.noise) * v.toneFall * 0.5f;
        v.toneFall *= v.toneStep;
        return std::tanh(1.5f * body) * 1.1f + click;
    }
    case Drum_snare: {
        float tone = 0.6f * std::sin(2.0f * kPi * v.drumPhase[0]) + 0.4f * std::sin(2.0f * kPi * v.drumPhase[1]);
        for (int32_t i = 0; i < 2; ++i) {
            v.drumPhase[i] += v.inc[i];
            if (v.drumPhase[i] >= 1.0f) v.drumPhase[i] -= 1.0f;
        }
        tone *= v.toneFall;
        v.toneFall *= v.toneStep;
        float n = filterRun(noiseSample(v.noise), v.ng, v.nk, v.na1, v.nic1, v.nic2, Filter_highpass);
        return 0.8f * tone + 0.7f * n;
    }
    default: return filterRun(noiseSample(v.noise), v.ng, v.nk, v.na1, v.nic1, v.nic2, Filter_highpass) * 0.8f;
    }
}

// Adds `n` frames of the voice into the dry and send buffers.
void voiceRender(Synth& s, SynthVoice& v, int32_t n, float* dry, float* echoSend, float* roomSend) {
    const SongInstrument& in = s.song->instruments[v.instrument];
    float sustain = in.drum >= 0 ? 0.0f : in.sustain;
    for (int32_t i = 0; i < n; ++i) {
        float x = 0;
        if (in.drum >= 0) {
            x = drumSample(v, in.drum);
        } else {
            for (int32_t o = 0; o < in.oscCount; ++o) x += oscSample(v, o, in.oscs[o].wave) * in.oscs[o].level;
        }
        if (in.filter >= 0) {
            if (in.sweep != 0 && --v.filterCountdown <= 0) {
                v.filterCountdown = 16;
                filterCoefficients(in.cutoff + in.sweep * fallShape(v.sweepFall), in.resonance, v.fg, v.fk, v.fa1);
            }
            if (in.sweep != 0) v.sweepFall *= v.sweepStep;
            x = filterRun(x, v.fg, v.fk, v.fa1, v.ic1, v.ic2, in.filter);
        }
        if (!envelopeStep(v, sustain)) return;
        x *= v.level;
        float l = x * v.gainL, r = x * v.gainR;
        dry[2 * i] += l;
        dry[2 * i + 1] += r;
        if (in.delaySend > 0) echoSend[2 * i] += l * in.delaySend, echoSend[2 * i + 1] += r * in.delaySend;
        if (in.reverbSend > 0) roomSend[i] += (l + r) * in.reverbSend;
    }
}

// Plays one step of the arrangement (or, after the last, lets every note go).
void sequencerStep(Synth& s) {
    const Song& g = *s.song;
    if (s.step >= g.totalSteps) {
        releaseAll(s);
        s.step = g.totalSteps + 1;
        s.nextStepFrame = INT64_MAX;
        return;
    }
    const SongSection& sec = g.sections[g.arrange[s.entry]];
    if (s.stepInSection == 0) releaseAll(s);  // each section starts clean
    for (int32_t l = 0; l < sec.layerCount; ++l) {
        const SongPattern& p = g.patterns[sec.layers[l]];
        int32_t at = s.stepInSection % p.steps;
        for (int32_t r = 0; r < p.rowCount; ++r) {
            const SongCell& cell = g.cells[p.rows[r].firstCell + at];
            if (cell.note == SongHold) continue;
            int32_t owner = l * SongMaxRows + r + 1;
            releaseOwner(s, owner);
            if (cell.note >= 0) startVoice(s, p.rows[r].instrument, cell, owner);
        }
    }
    if (++s.stepInSection >= sec.steps) {
        s.stepInSection = 0;
        ++s.entry;
    }
    ++s.step;
    s.nextStepFrame = songStepFrame(g, s.step);
}

inline float limit(Synth& s, float x) {
    float a = std::fabs(x);
    if (a > s.peak) s.peak = a;
    if (a <= kKnee) return x;
    ++s.limited;
    float y = kKnee + (kCeiling - kKnee) * std::tanh((a - kKnee) / (kCeiling - kKnee));
    return x < 0 ? -y : y;
}

// Echo, reverb, master volume and limiter over `n` mixed frames.
void effectsRender(Synth& s, int32_t n, const float* dry, const float* echoSend, const float* roomSend, float* out) {
    const Song& g = *s.song;
    for (int32_t i = 0; i < n; ++i) {
        float l = dry[2 * i], r = dry[2 * i + 1];
        // echo: each repeat a little darker
        float* e = s.echo + 2 * s.echoPos;
        for (int32_t c = 0; c < 2; ++c) {
            float y = e[c];
            s.echoTone[c] = flushTiny(s.echoTone[c] + 0.6f * (y - s.echoTone[c]));
            e[c] = flushTiny(echoSend[2 * i + c] + s.echoTone[c] * g.delayFeedback);
            (c == 0 ? l : r) += y;
        }
        if (++s.echoPos >= s.echoLength) s.echoPos = 0;
        // reverb: parallel damped combs, then all-passes in series
        float input = roomSend[i] * kReverbInput;
        float wet[2] = {0, 0};
        for (int32_t c = 0; c < 16; ++c) {
            float* buf = s.comb[c];
            float y = buf[s.combPos[c]];
            s.combStore[c] = flushTiny(y * (1 - s.roomDamp) + s.combStore[c] * s.roomDamp);
            buf[s.combPos[c]] = flushTiny(input + s.combStore[c] * s.roomFeedback);
            if (++s.combPos[c] >= s.combLength[c]) s.combPos[c] = 0;
            wet[c / 8] += y;
        }
        for (int32_t a = 0; a < 8; ++a) {
            float* buf = s.allpass[a];
            float& w = wet[a / 4];
            float y = buf[s.allpassPos[a]];
            buf[s.allpassPos[a]] = flushTiny(w + y * 0.5f);
            w = y - w;
            if (++s.allpassPos[a] >= s.allpassLength[a]) s.allpassPos[a] = 0;
        }
        l += wet[0];
        r += wet[1];
        out[2 * i] = limit(s, l * g.volume);
        out[2 * i + 1] = limit(s, r * g.volume);
    }
}

}  // namespace

void synthStart(Synth& s, const Song& song) {
    memset(&s, 0, sizeof s);
    s.song = &song;
    s.total = songFrames(song);
    s.nextStepFrame = 0;
    double echoFrames = song.delaySteps * (SongRate * 60.0 / ((double)song.tempo * song.stepsPerBeat));
    int32_t maxEcho = (int32_t)(SongMaxDelaySeconds * SongRate);
    s.echoLength = echoFrames < 1 ? 1 : echoFrames > maxEcho ? maxEcho : (int32_t)std::lround(echoFrames);
    size_t floats = 2 * (size_t)s.echoLength;
    for (int32_t c = 0; c < 16; ++c) {
        s.combLength[c] = kCombLengths[c % 8] + (c >= 8 ? kStereoSpread : 0);
        floats += (size_t)s.combLength[c];
    }
    for (int32_t a = 0; a < 8; ++a) {
        s.allpassLength[a] = kAllpassLengths[a % 4] + (a >= 4 ? kStereoSpread : 0);
        floats += (size_t)s.allpassLength[a];
    }
    s.effects = (float*)Base.BS_MemGet(floats * sizeof(float), "Synth effects");
    float* at = s.effects;
    s.echo = at;
    at += 2 * (size_t)s.echoLength;
    for (int32_t c = 0; c < 16; ++c) s.comb[c] = at, at += s.combLength[c];
    for (int32_t a = 0; a < 8; ++a) s.allpass[a] = at, at += s.allpassLength[a];
    s.roomFeedback = 0.7f + 0.28f * song.reverbSize;
    s.roomDamp = 0.4f * song.reverbDamp;
}

int32_t synthRender(Synth& s, float* out, int32_t frames) {
    float dry[2 * SynthBlock], echoSend[2 * SynthBlock], roomSend[SynthBlock];
    int32_t done = 0;
    while (done < frames && s.frame < s.total) {
        while (s.frame >= s.nextStepFrame) sequencerStep(s);
        int64_t n = frames - done;
        if (n > SynthBlock) n = SynthBlock;
        if (n > s.total - s.frame) n = s.total - s.frame;
        if (n > s.nextStepFrame - s.frame) n = s.nextStepFrame - s.frame;
        memset(dry, 0, sizeof dry);
        memset(echoSend, 0, sizeof echoSend);
        memset(roomSend, 0, sizeof roomSend);
        for (SynthVoice& v : s.voices)
            if (v.stage != EnvOff) voiceRender(s, v, (int32_t)n, dry, echoSend, roomSend);
        effectsRender(s, (int32_t)n, dry, echoSend, roomSend, out + 2 * (size_t)done);
        done += (int32_t)n;
        s.frame += n;
    }
    return done;
}

void synthStop(Synth& s) {
    void* p = s.effects;
    Base.BS_MemFree(&p);
    s.effects = nullptr;
}

int64_t synthRenderAll(const Song& song, float* out) {
    Synth* s = (Synth*)Base.BS_MemGet(sizeof(Synth), "Synth");
    synthStart(*s, song);
    int64_t total = 0;
    for (;;) {
        int32_t n = synthRender(*s, out + 2 * total, 4096);
        if (n == 0) break;
        total += n;
    }
    synthStop(*s);
    void* p = s;
    Base.BS_MemFree(&p);
    return total;
}
