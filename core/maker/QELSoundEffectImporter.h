#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/Loudness.h"
#include "core/collection/QELMySoundEffectStorage.h"
#include "foundation/DispatchQueue.h"

class QELAudioSettings;

// How a file is made a user recording.
struct QELImportOptions {
    // Empty: the file's name without its extension.
    std::string title;
    bool trimSilence = true;
    bool normalise = true;
    double loudnessTarget = platform::kDefaultLoudnessTarget;
    // Replace a recording of the same name (atomically); without it such an
    // import is refused with NameTaken.
    bool replace = false;

    // The user's choices of loudness.
    static QELImportOptions fromSettings(const QELAudioSettings& settings);
};

// What became of an import. `message` says why it failed, in words the
// user reads, or notes something about an import that happened.
struct QELImportResult {
    enum class Code {
        Imported,
        Cancelled,
        InvalidName,
        NameTaken,
        NotFound,
        IsDirectory,
        Unreadable,
        Empty,
        TooLarge,
        TooLong,
        NotAudio,
        SaveFailed,
    };
    Code code = Code::Imported;
    std::string title;
    std::string message;
    bool imported() const { return code == Code::Imported; }
    // "NameTaken" and so on, for scripts.
    const char* name() const;
};

// Brings the user's own sound files into the collection, saved the way the
// maker saves a take (see QELRecordingSave): decoded, mixed to mono at
// 44.1 kHz, trimmed of leading and trailing silence and brought to an even
// loudness. The work runs off the main thread, one file at a time; a
// cancelled or failed import writes nothing. Main thread only.
class QELSoundEffectImporter {
public:
    static constexpr uint64_t kMaxFileBytes = 200ull * 1024 * 1024;

    struct Environment {
        std::string userCollectionBasePath;
        QELMySoundEffectStorage* storage;
        // The program's: the Library folder and the shared storage.
        static Environment standard();
    };

    // One import under way.
    class Task {
    public:
        // The import stops at its next step; its completion says Cancelled
        // unless the file was written already.
        void cancel() { cancelled_ = true; }
        bool isCancelled() const { return cancelled_; }

    private:
        std::atomic<bool> cancelled_{false};
    };

    using Completion = std::function<void(const QELImportResult&)>;
    // Share done, 0..1, on the main queue.
    using Progress = std::function<void(double)>;

    // The program's, on the standard environment, created on first use and
    // never released: the window and the bus import through one queue, so
    // two imports of one name never race.
    static QELSoundEffectImporter& shared();

    explicit QELSoundEffectImporter(Environment environment = Environment::standard());
    // Cancels what is under way and waits for it; completions still to come
    // are dropped.
    ~QELSoundEffectImporter();
    QELSoundEffectImporter(const QELSoundEffectImporter&) = delete;
    QELSoundEffectImporter& operator=(const QELSoundEffectImporter&) = delete;

    // Imports the file at `path`; the completion comes once, on the main
    // queue.
    std::shared_ptr<Task> importFile(const std::string& path, QELImportOptions options,
                                     Completion completion, Progress progress = nullptr);
    // Whether importing as `title` would replace a recording.
    bool hasSoundEffectNamed(const std::string& title) const;

    // The title a file gets unless the user gives one.
    static std::string defaultTitle(const std::string& path);
    // Any thread: the WAV bytes `path` is saved as, or nullopt with `result`
    // saying why. `progress` returning false cancels.
    static std::optional<std::vector<uint8_t>> prepare(const std::string& path,
                                                       const QELImportOptions& options,
                                                       const std::function<bool(double)>& progress,
                                                       QELImportResult& result);

private:
    Environment env_;
    std::vector<std::weak_ptr<Task>> tasks_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::unique_ptr<platform::DispatchQueue> queue_;
};
