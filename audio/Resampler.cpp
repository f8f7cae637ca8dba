#include "audio/Resampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <numeric>
#include <utility>

namespace platform {

namespace {

// Beyond this many phases the table outgrows what it saves.
constexpr size_t kMaxPhases = 4096;
constexpr double kPassband = 0.90;        // of the lower Nyquist frequency
constexpr double kAttenuationDb = 100.0;  // a margin over 16 bits' 96 dB
constexpr double kPi = 3.14159265358979323846;

}  // namespace

std::unique_ptr<Resampler> Resampler::create(int inRate, int outRate) {
    if (inRate <= 0 || outRate <= 0 || inRate == outRate) return nullptr;
    const auto g = static_cast<size_t>(std::gcd(inRate, outRate));
    const size_t up = static_cast<size_t>(outRate) / g;
    const size_t down = static_cast<size_t>(inRate) / g;
    if (up > kMaxPhases) return nullptr;
    // A table takes longer to make than a short sound to convert: each is
    // made once.
    static std::mutex mutex;
    static std::map<std::pair<size_t, size_t>, std::shared_ptr<const Table>> tables;
    std::shared_ptr<const Table> table;
    {
        std::lock_guard lock(mutex);
        auto& cached = tables[{up, down}];
        if (!cached) cached = makeTable(up, down);
        table = cached;
    }
    return std::unique_ptr<Resampler>(new Resampler(up, down, std::move(table)));
}

std::shared_ptr<const Resampler::Table> Resampler::makeTable(size_t up, size_t down) {
    // Frequencies in cycles per input sample. The stop band starts at the
    // lower Nyquist frequency; the cut-off sits mid-way down the transition.
    const double stop = 0.5 * std::min(1.0, static_cast<double>(up) / static_cast<double>(down));
    const double pass = kPassband * stop;
    const double cutoff = 0.5 * (pass + stop);
    const double beta = 0.1102 * (kAttenuationDb - 8.7);
    const double length = (kAttenuationDb - 8.0) / (2.285 * 2.0 * kPi * (stop - pass));
    const auto half = static_cast<size_t>(std::ceil(length / 2.0));
    const size_t taps = (2 * half + 7) / 8 * 8;
    const double reach = static_cast<double>(half);
    const double window0 = std::cyl_bessel_i(0.0, beta);

    auto table = std::make_shared<Table>();
    table->taps = taps;
    table->coefficients.assign(up * taps, 0.0f);
    std::vector<double> phase(taps);
    for (size_t p = 0; p < up; ++p) {
        const double frac = static_cast<double>(p) / static_cast<double>(up);
        double sum = 0;
        for (size_t k = 0; k < taps; ++k) {
            // Distance from the output position to input n - taps/2 + 1 + k.
            const double t = frac + static_cast<double>(taps / 2) - 1.0 - static_cast<double>(k);
            double h = 0;
            if (std::fabs(t) < reach) {
                const double x = 2.0 * cutoff * t;
                const double sinc = x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
                const double r = t / reach;
                h = 2.0 * cutoff * sinc * std::cyl_bessel_i(0.0, beta * std::sqrt(1.0 - r * r)) /
                    window0;
            }
            phase[k] = h;
            sum += h;
        }
        // Every phase passes a constant unchanged: no ripple at the rate of
        // the phases.
        for (size_t k = 0; k < taps; ++k)
            table->coefficients[p * taps + k] = static_cast<float>(phase[k] / sum);
    }
    return table;
}

Resampler::Resampler(size_t up, size_t down, std::shared_ptr<const Table> table)
    : up_(up), down_(down), table_(std::move(table)) {}

size_t Resampler::outputFrames(size_t inFrames) const {
    return (inFrames * up_ + down_ - 1) / down_;
}

void Resampler::process(const float* in, size_t inFrames, int channels, float* out, size_t from,
                        size_t to) const {
    const auto ch = static_cast<size_t>(channels);
    const size_t taps = table_->taps;
    const size_t lead = taps / 2 - 1;  // taps before the output position
    const size_t stepFrames = down_ / up_, stepPhases = down_ % up_;
    // One channel at a time, padded with silence on both sides, so the
    // inner loop is a plain dot product the compiler vectorises.
    const size_t first = from * down_ / up_;
    const size_t last = std::min(inFrames, (to * down_ + up_ - 1) / up_ + 1);
    std::vector<float> x(last - first + taps + 1, 0.0f);
    for (size_t c = 0; c < ch; ++c) {
        // x[j] is input frame first - lead + j.
        for (size_t i = first; i < last; ++i) x[i - first + lead] = in[i * ch + c];
        // Output m sits at input n + p / up.
        size_t n = first, p = from * down_ % up_;
        for (size_t m = from; m < to; ++m) {
            const float* h = table_->coefficients.data() + p * taps;
            const float* s = x.data() + (n - first);
            std::array<float, 8> acc{};
            for (size_t k = 0; k < taps; k += 8)
                for (size_t j = 0; j < 8; ++j) acc[j] += h[k + j] * s[k + j];
            out[m * ch + c] = std::accumulate(acc.begin(), acc.end(), 0.0f);
            n += stepFrames;
            p += stepPhases;
            if (p >= up_) {
                p -= up_;
                ++n;
            }
        }
    }
}

}  // namespace platform
