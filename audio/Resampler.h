#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace platform {

// Sample-rate conversion between rates in a small whole-number ratio
// (48000 to 44100 is 147/160): a Kaiser-windowed sinc, one precomputed
// phase per output position, flat to 90 % of the lower Nyquist frequency
// and at least 96 dB down from that Nyquist frequency on, so nothing
// aliases into what a 16-bit file keeps. Several times faster than
// libsamplerate's interpolated table of the same quality, for the
// conversions that matter: a whole sound in memory, not a stream.
class Resampler {
public:
    // nullptr when the rates are not in a ratio small enough for a table.
    static std::unique_ptr<Resampler> create(int inRate, int outRate);

    // Frames made from `inFrames` input frames: the input's length at the
    // output's rate, rounded up.
    size_t outputFrames(size_t inFrames) const;

    // Output frames [from, to) of `in` (`inFrames` interleaved frames of
    // `channels`), written to `out` at its frame `from`. Stateless, so a
    // long sound converts in blocks.
    void process(const float* in, size_t inFrames, int channels, float* out, size_t from,
                 size_t to) const;

private:
    struct Table {
        size_t taps = 0;  // per phase, a multiple of 8
        // Phase by phase; tap k weighs input n - taps/2 + 1 + k.
        std::vector<float> coefficients;
    };
    static std::shared_ptr<const Table> makeTable(size_t up, size_t down);
    Resampler(size_t up, size_t down, std::shared_ptr<const Table> table);

    size_t up_;  // output positions per `down_` input frames
    size_t down_;
    std::shared_ptr<const Table> table_;
};

}  // namespace platform
