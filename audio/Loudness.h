#pragma once

#include <limits>

#include "audio/AudioFile.h"

namespace platform {

// Loudness after EBU R128 / ITU-R BS.1770 (libebur128).
struct LoudnessMeasure {
    // False for silence: nothing above the absolute gate.
    bool measurable = false;
    // True when `loudness` is the integrated loudness; false when the sound is
    // too short for one and `loudness` is its maximum momentary loudness.
    bool integrated = false;
    double loudness = -std::numeric_limits<double>::infinity();      // LUFS
    double loudnessRange = 0;                                          // LU
    double truePeak = -std::numeric_limits<double>::infinity();       // dBTP
};

// Loudness the user's sounds are brought to unless they chose another.
inline constexpr double kDefaultLoudnessTarget = -16.0;
inline constexpr double kMinLoudnessTarget = -23.0;
inline constexpr double kMaxLoudnessTarget = -9.0;
// Highest true peak a normalised sound may reach.
inline constexpr double kTruePeakCeiling = -1.0;

LoudnessMeasure measureLoudness(const PcmBuffer& pcm);

// Linear gain that brings a sound measured as `measure` to `targetLufs`
// without its true peak passing `ceiling` (for sounds played as stored, not
// rewritten); 1 for a sound that cannot be measured.
double loudnessGain(const LoudnessMeasure& measure, double targetLufs,
                    double ceiling = kTruePeakCeiling);

// Brings `pcm` to `targetLufs` in place; peaks that would pass `ceiling` are
// limited, never clipped. Returns the measure before the change; a sound that
// cannot be measured is left as it is.
LoudnessMeasure normaliseLoudness(PcmBuffer& pcm, double targetLufs,
                                  double ceiling = kTruePeakCeiling);

// Cuts leading and trailing silence (below `thresholdDb` dBFS), keeping a
// few milliseconds so attacks and tails are not clipped. Returns the frames
// removed.
size_t trimSilence(PcmBuffer& pcm, double thresholdDb = -50.0);

}  // namespace platform
