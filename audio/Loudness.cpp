#include "audio/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <memory>

namespace platform {

namespace {

// BS.1770's absolute gate: anything quieter counts as silence.
constexpr double kAbsoluteGate = -70.0;
// Momentary loudness is sampled every 100 ms, the rate meters display it at.
constexpr double kMomentaryHop = 0.1;

double toDb(double linear) {
    return linear > 0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}
double fromDb(double db) {
    return std::pow(10.0, db / 20.0);
}

struct MeterDeleter {
    void operator()(ebur128_state* st) const { ebur128_destroy(&st); }
};
using Meter = std::unique_ptr<ebur128_state, MeterDeleter>;

// Interpolation filter for a 4x-oversampled peak estimate: a Hann-windowed
// sinc, kTaps input samples per phase. Phase 0 is the sample itself.
constexpr int kOversample = 4;
constexpr int kTaps = 16;
using Phase = std::array<float, kTaps>;

const std::array<Phase, kOversample>& interpolationPhases() {
    static const std::array<Phase, kOversample> phases = [] {
        std::array<Phase, kOversample> p{};
        constexpr double pi = 3.14159265358979323846;
        for (int ph = 1; ph < kOversample; ++ph) {
            const double frac = static_cast<double>(ph) / kOversample;
            for (int k = 0; k < kTaps; ++k) {
                // Tap k weighs input sample n + k - (kTaps/2 - 1) for the
                // point n + frac.
                const double t = frac - (k - (kTaps / 2 - 1));
                const double sinc = std::sin(pi * t) / (pi * t);
                const double w = 0.5 + 0.5 * std::cos(pi * t / (kTaps / 2.0));
                p[static_cast<size_t>(ph)][static_cast<size_t>(k)] = static_cast<float>(sinc * w);
            }
        }
        return p;
    }();
    return phases;
}

// The highest absolute value, between and at the samples, around every frame.
std::vector<float> framePeaks(const PcmBuffer& pcm) {
    const size_t frames = pcm.frames();
    const auto ch = static_cast<size_t>(pcm.channels);
    const auto& phases = interpolationPhases();
    std::vector<float> peaks(frames, 0.f);
    auto at = [&](size_t c, long i) -> float {
        return i < 0 || static_cast<size_t>(i) >= frames ? 0.f
                                                          : pcm.samples[static_cast<size_t>(i) * ch + c];
    };
    for (size_t c = 0; c < ch; ++c) {
        for (size_t n = 0; n < frames; ++n) {
            float peak = std::fabs(pcm.samples[n * ch + c]);
            const long first = static_cast<long>(n) - (kTaps / 2 - 1);
            for (size_t ph = 1; ph < kOversample; ++ph) {
                float v = 0;
                for (size_t k = 0; k < kTaps; ++k) v += phases[ph][k] * at(c, first + static_cast<long>(k));
                peak = std::max(peak, std::fabs(v));
            }
            peaks[n] = std::max(peaks[n], peak);
        }
    }
    return peaks;
}

// Look-ahead limiter: the gain falls smoothly over `lookahead` frames before
// a peak that would pass `ceiling` (linear) and recovers over ~`release`, so
// no peak passes and nothing is clipped.
void limit(PcmBuffer& pcm, float ceiling) {
    const size_t frames = pcm.frames();
    const auto ch = static_cast<size_t>(pcm.channels);
    const auto lookahead = std::max<size_t>(1, static_cast<size_t>(pcm.sampleRate * 0.005));
    const double releaseCoef = 1.0 - std::exp(-1.0 / (pcm.sampleRate * 0.08));

    const std::vector<float> peaks = framePeaks(pcm);
    std::vector<float> need(frames);
    for (size_t n = 0; n < frames; ++n) need[n] = peaks[n] > ceiling ? ceiling / peaks[n] : 1.f;

    // Lowest need over [n, n + lookahead): a monotonic queue of indices.
    std::vector<float> ahead(frames);
    std::deque<size_t> q;
    for (size_t i = frames; i-- > 0;) {
        while (!q.empty() && need[q.back()] >= need[i]) q.pop_back();
        q.push_back(i);
        while (q.front() >= i + lookahead) q.pop_front();
        ahead[i] = need[q.front()];
    }
    // Averaged over the `lookahead` frames up to n: still at most need[n],
    // since every term is, and free of steps. A sound that starts loud
    // starts already turned down.
    const double start = frames > 0 ? ahead[0] : 1.0;
    double sum = start * static_cast<double>(lookahead), gain = 1;
    for (size_t n = 0; n < frames; ++n) {
        sum += ahead[n] - (n >= lookahead ? ahead[n - lookahead] : start);
        const double smooth = sum / static_cast<double>(lookahead);
        gain = std::min(smooth, gain + (1.0 - gain) * releaseCoef);
        for (size_t c = 0; c < ch; ++c) pcm.samples[n * ch + c] *= static_cast<float>(gain);
    }
}

void applyGain(PcmBuffer& pcm, double gain) {
    const auto g = static_cast<float>(gain);
    for (float& s : pcm.samples) s *= g;
}

}  // namespace

LoudnessMeasure measureLoudness(const PcmBuffer& pcm) {
    LoudnessMeasure m;
    const size_t frames = pcm.frames();
    if (frames == 0 || pcm.channels < 1 || pcm.sampleRate <= 0) return m;
    Meter meter(ebur128_init(static_cast<unsigned>(pcm.channels),
                             static_cast<unsigned long>(std::lround(pcm.sampleRate)),
                             EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK));
    if (!meter) return m;

    const auto ch = static_cast<size_t>(pcm.channels);
    const auto hop = std::max<size_t>(1, static_cast<size_t>(pcm.sampleRate * kMomentaryHop));
    double maxMomentary = -std::numeric_limits<double>::infinity();
    for (size_t at = 0; at < frames; at += hop) {
        const size_t n = std::min(hop, frames - at);
        if (ebur128_add_frames_float(meter.get(), pcm.samples.data() + at * ch, n) != EBUR128_SUCCESS)
            return m;
        double momentary = 0;
        if (ebur128_loudness_momentary(meter.get(), &momentary) == EBUR128_SUCCESS)
            maxMomentary = std::max(maxMomentary, momentary);
    }

    double peak = 0;
    for (unsigned c = 0; c < ch; ++c) {
        double p = 0;
        if (ebur128_true_peak(meter.get(), c, &p) == EBUR128_SUCCESS) peak = std::max(peak, p);
    }
    m.truePeak = toDb(peak);

    double integrated = -HUGE_VAL;
    ebur128_loudness_global(meter.get(), &integrated);
    if (std::isfinite(integrated) && integrated > kAbsoluteGate) {
        m.measurable = m.integrated = true;
        m.loudness = integrated;
        double range = 0;
        if (ebur128_loudness_range(meter.get(), &range) == EBUR128_SUCCESS && std::isfinite(range))
            m.loudnessRange = range;
    } else if (std::isfinite(maxMomentary) && maxMomentary > kAbsoluteGate) {
        m.measurable = true;
        m.loudness = maxMomentary;
    }
    return m;
}

double loudnessGain(const LoudnessMeasure& measure, double targetLufs, double ceiling) {
    if (!measure.measurable || !std::isfinite(measure.loudness)) return 1.0;
    double gainDb = targetLufs - measure.loudness;
    if (std::isfinite(measure.truePeak)) gainDb = std::min(gainDb, ceiling - measure.truePeak);
    return fromDb(gainDb);
}

LoudnessMeasure normaliseLoudness(PcmBuffer& pcm, double targetLufs, double ceiling) {
    const LoudnessMeasure before = measureLoudness(pcm);
    if (!before.measurable) return before;

    double gainDb = targetLufs - before.loudness;
    // Peaks that would pass the ceiling are limited, which lowers the
    // loudness a little: raise the gain and limit again until both hold.
    // The limiter aims a little under the ceiling since its peak estimate
    // and the meter's interpolate differently.
    double limitAt = ceiling - 0.1;
    const std::vector<float> original = pcm.samples;
    double lastGainDb = 0, lastLoudness = -HUGE_VAL, stepScale = 1;
    for (int pass = 0; pass < 6; ++pass) {
        pcm.samples = original;
        applyGain(pcm, fromDb(gainDb));
        if (before.truePeak + gainDb <= ceiling) return before;  // gain alone is exact
        limit(pcm, static_cast<float>(fromDb(limitAt)));
        const LoudnessMeasure after = measureLoudness(pcm);
        if (after.truePeak > ceiling) {
            limitAt -= after.truePeak - ceiling + 0.05;
            continue;
        }
        const double off = targetLufs - after.loudness;
        if (std::fabs(off) < 0.2) return before;
        // The limiter takes back part of every dB added: step by the slope
        // seen so far (secant), at least one dB and at most four per dB missing.
        if (std::isfinite(lastLoudness) && gainDb != lastGainDb) {
            const double slope = (after.loudness - lastLoudness) / (gainDb - lastGainDb);
            if (slope > 0) stepScale = std::clamp(1.0 / slope, 1.0, 4.0);
        }
        lastGainDb = gainDb;
        lastLoudness = after.loudness;
        gainDb += off * stepScale;
    }
    // The last pass met the ceiling, or lowered the limit: settle for a sound
    // under the ceiling even if a little off the target.
    if (measureLoudness(pcm).truePeak > ceiling) {
        pcm.samples = original;
        applyGain(pcm, fromDb(ceiling - 0.1 - before.truePeak));
    }
    return before;
}

size_t trimSilence(PcmBuffer& pcm, double thresholdDb) {
    const size_t frames = pcm.frames();
    if (frames == 0) return 0;
    const auto ch = static_cast<size_t>(pcm.channels);
    const auto threshold = static_cast<float>(fromDb(thresholdDb));
    auto loud = [&](size_t n) {
        for (size_t c = 0; c < ch; ++c)
            if (std::fabs(pcm.samples[n * ch + c]) > threshold) return true;
        return false;
    };
    size_t first = 0;
    while (first < frames && !loud(first)) ++first;
    if (first == frames) return 0;  // all silence: nothing to keep it by
    size_t last = frames - 1;
    while (last > first && !loud(last)) --last;

    // A margin keeps soft attacks and decaying tails that sit under the
    // threshold.
    const auto margin = static_cast<size_t>(pcm.sampleRate * 0.01);
    const size_t begin = first > margin ? first - margin : 0;
    const size_t end = std::min(frames, last + 1 + margin);
    if (begin == 0 && end == frames) return 0;
    pcm.samples.erase(pcm.samples.begin() + static_cast<long>(end * ch), pcm.samples.end());
    pcm.samples.erase(pcm.samples.begin(), pcm.samples.begin() + static_cast<long>(begin * ch));
    return frames - (end - begin);
}

}  // namespace platform
