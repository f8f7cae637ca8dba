#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "audio/Loudness.h"
#include "foundation/DispatchQueue.h"
#include "foundation/Files.h"

// The loudness of sound files the program plays as they are stored (the
// user's recordings from before they were normalised when saved): each
// version of a file is measured once, in the background, and remembered in
// a small file across runs. A file that changed (size, time or inode) is
// measured again. Main thread only.
class QELLoudnessCache {
public:
    // The program's cache, in the Library folder.
    static QELLoudnessCache& shared();
    explicit QELLoudnessCache(std::string file);
    ~QELLoudnessCache();
    QELLoudnessCache(const QELLoudnessCache&) = delete;
    QELLoudnessCache& operator=(const QELLoudnessCache&) = delete;

    // The measure of the file at `path` as it is now; nullopt while unknown,
    // and then it is being measured.
    std::optional<platform::LoudnessMeasure> measureFor(const std::string& path);
    // Measures, in the background, those of `paths` not known yet.
    void prefetch(const std::vector<std::string>& paths);

    // Gain for playing the file at `path` at `targetLufs`; 1 while unknown.
    double gainFor(const std::string& path, double targetLufs);

    // Blocks until every measurement queued so far is done; the results
    // arrive on the main loop's next turns (tests and shutdown).
    void waitUntilMeasured();

private:
    struct Entry {
        platform::FileStamp stamp;
        platform::LoudnessMeasure measure;
    };
    struct State {
        std::string file;
        std::map<std::string, Entry> entries;
        std::set<std::string> pending;
    };
    void load();
    static void save(const State& state);
    static void arrived(const std::shared_ptr<State>& state, const std::string& path,
                        const Entry& entry);

    std::shared_ptr<State> state_;
    // Serial and last: joined before the state it reports to goes away.
    platform::DispatchQueue queue_{"loudness", 1};
};
