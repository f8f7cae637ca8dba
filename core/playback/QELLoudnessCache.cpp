#include "core/playback/QELLoudnessCache.h"

#include <cmath>

#include "audio/AudioFile.h"
#include "foundation/Paths.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "foundation/Value.h"

using platform::Value;

namespace {

// The rate the user's recordings are made at: measured there, nothing is
// resampled.
constexpr double kMeasureRate = 44100;

std::optional<int64_t> integer(const Value& dict, const char* key) {
    const Value* v = dict.find(key);
    return v ? v->asInteger() : std::nullopt;
}
std::optional<double> real(const Value& dict, const char* key) {
    const Value* v = dict.find(key);
    return v ? v->asReal() : std::nullopt;
}

}  // namespace

QELLoudnessCache& QELLoudnessCache::shared() {
    static QELLoudnessCache cache(platform::Paths::libraryDirectory() + "/LoudnessCache.plist");
    return cache;
}

QELLoudnessCache::QELLoudnessCache(std::string file) : state_(std::make_shared<State>()) {
    state_->file = std::move(file);
    load();
}

QELLoudnessCache::~QELLoudnessCache() = default;

void QELLoudnessCache::load() {
    const auto root = platform::PropertyList::readFile(state_->file);
    const Value::Dictionary* files = root ? root->asDictionary() : nullptr;
    if (!files) return;  // none yet, or unreadable: measured again
    for (const auto& [path, v] : *files) {
        const auto size = integer(v, "size"), modified = integer(v, "modifiedNs"),
                   inode = integer(v, "inode");
        if (!size || !modified || !inode) continue;
        Entry e;
        e.stamp.size = *size;
        e.stamp.modifiedNs = *modified;
        e.stamp.inode = static_cast<uint64_t>(*inode);
        const auto loudness = real(v, "loudness"), peak = real(v, "truePeak");
        if (loudness && peak) {
            e.measure.measurable = true;
            e.measure.loudness = *loudness;
            e.measure.truePeak = *peak;
            e.measure.loudnessRange = real(v, "loudnessRange").value_or(0);
            const Value* integrated = v.find("integrated");
            e.measure.integrated = integrated && integrated->asBool().value_or(false);
        }
        state_->entries[path] = e;
    }
}

void QELLoudnessCache::save(const State& state) {
    Value::Dictionary files;
    for (const auto& [path, e] : state.entries) {
        // Entries of files since removed are dropped here.
        if (!platform::fileStamp(path)) continue;
        Value::Dictionary d{{"size", e.stamp.size},
                            {"modifiedNs", e.stamp.modifiedNs},
                            {"inode", static_cast<int64_t>(e.stamp.inode)}};
        if (e.measure.measurable) {
            d["loudness"] = e.measure.loudness;
            d["truePeak"] = e.measure.truePeak;
            d["loudnessRange"] = e.measure.loudnessRange;
            d["integrated"] = e.measure.integrated;
        }
        files[path] = Value(std::move(d));
    }
    const auto slash = state.file.rfind('/');
    if (slash != std::string::npos) platform::createDirectories(state.file.substr(0, slash));
    // A cache: failing to keep it only costs a measurement next time.
    platform::PropertyList::writeFile(state.file, Value(std::move(files)),
                                      platform::PropertyList::Format::Binary);
}

// Same file as measured: size, time and inode (a file replaced by rename
// has another).
static bool sameVersion(const platform::FileStamp& a, const platform::FileStamp& b) {
    return a.size == b.size && a.modifiedNs == b.modifiedNs && a.inode == b.inode;
}

std::optional<platform::LoudnessMeasure> QELLoudnessCache::measureFor(const std::string& path) {
    const auto stamp = platform::fileStamp(path);
    if (!stamp) return std::nullopt;
    if (auto it = state_->entries.find(path);
        it != state_->entries.end() && sameVersion(it->second.stamp, *stamp))
        return it->second.measure;
    if (!state_->pending.insert(path).second) return std::nullopt;
    std::weak_ptr<State> weak = state_;
    queue_.async([weak, path] {
        Entry e;
        // Stamped before reading: a file changed meanwhile does not match
        // and is measured again.
        const auto stamp = platform::fileStamp(path);
        if (stamp) {
            e.stamp = *stamp;
            if (const auto pcm = platform::decodeAudioFile(path, kMeasureRate))
                e.measure = platform::measureLoudness(*pcm);
        }
        platform::RunLoop::main().post([weak, path, e] {
            if (auto state = weak.lock()) arrived(state, path, e);
        });
    });
    return std::nullopt;
}

void QELLoudnessCache::arrived(const std::shared_ptr<State>& state, const std::string& path,
                               const Entry& entry) {
    state->pending.erase(path);
    if (entry.stamp.size > 0 || entry.stamp.modifiedNs > 0) state->entries[path] = entry;
    // One write for a batch of measurements.
    if (state->pending.empty()) save(*state);
}

void QELLoudnessCache::prefetch(const std::vector<std::string>& paths) {
    for (const auto& path : paths) measureFor(path);
}

double QELLoudnessCache::gainFor(const std::string& path, double targetLufs) {
    const auto measure = measureFor(path);
    return measure ? platform::loudnessGain(*measure, targetLufs) : 1.0;
}

void QELLoudnessCache::waitUntilMeasured() {
    queue_.waitUntilIdle();
}
