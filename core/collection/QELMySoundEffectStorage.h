#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/catalogue/QELSoundEffect.h"
#include "core/collection/QELMySoundEffectsChangeType.h"
#include "foundation/Clock.h"
#include "foundation/DispatchQueue.h"
#include "foundation/FileWatcher.h"
#include "foundation/Files.h"
#include "foundation/NotificationCenter.h"
#include "foundation/RunLoop.h"

// The user's collection: one ordered list of entries, read from the
// collection file when the storage is created. Every change is announced on
// the default notification centre, synchronously: will-change before the
// list changes, did-change after it. Main thread only.
//
// The file is written off the main thread: a change only notes what was
// done, and a writer thread merges the changes noted so far into the file,
// so a burst of them is written once. The writer takes the file's lock
// (flock), reads the file again if another process (the CLI, a second
// program) changed it since, applies this process's changes to what it read,
// and writes the result atomically; changes the other process made then
// reach this list with the usual notifications. flush() waits for the file.
class QELMySoundEffectStorage {
public:
    using List = std::vector<QELCollectionSoundEffect::Ref>;

    static constexpr const char* MySoundEffectAmountWillChangeNotification =
        "com.zentrik.quellio.mysoundeffect.amountwillchange";
    static constexpr const char* MySoundEffectAmountDidChangeNotification =
        "com.zentrik.quellio.mysoundeffect.amountdidchange";
    static constexpr const char* MySoundEffectAmountChangeNotificationTypeUserInfoKey = "type";
    static constexpr const char* MySoundEffectAmountChangeNotificationOldSoundEffectUserInfoKey =
        "oldSoundEffect";

    // The program's storage on collectionFilePath(), created on first use and
    // never released. It watches the file for other processes' changes and
    // writes what is pending when the application will terminate.
    static QELMySoundEffectStorage& sharedStorage();

    // kUserCollectionFileBasePath() + "collection.info": the file sits beside
    // the recordings folder, not inside it, where stored collections live.
    static std::string collectionFilePath();

    // The path of the newest copy kept of a collection file that could not
    // be taken over whole: `filePath` + ".damaged" (older ones: ".damaged.1"...).
    static std::string damagedCopyPath(const std::string& filePath) {
        return platform::damagedCopyPath(filePath);
    }

    // Both off unless asked for.
    struct Options {
        // Follow the file when another process changes it.
        bool watch;
        // Write what is pending when the application will terminate.
        bool flushOnTerminate;
    };

    // Loads `filePath`; a missing or undecodable file gives an empty list.
    // Entries are stamped with `clock`'s date when they are added; `loop` is
    // the thread the storage lives on, where the writer reports back.
    explicit QELMySoundEffectStorage(std::string filePath,
                                     const platform::Clock& clock = platform::Clock::system(),
                                     Options options = Options(),
                                     platform::RunLoop& loop = platform::RunLoop::main());
    // Writes what is pending.
    ~QELMySoundEffectStorage();
    QELMySoundEffectStorage(const QELMySoundEffectStorage&) = delete;
    QELMySoundEffectStorage& operator=(const QELMySoundEffectStorage&) = delete;

    // The live list; copy it to keep a snapshot across changes.
    const List& soundEffects() const { return soundEffects_; }
    // Replaces the list in memory only: no notification, no write.
    void setSoundEffects(List soundEffects) { soundEffects_ = std::move(soundEffects); }

    // Appends a new entry copied from `soundEffect` unless an entry equal to
    // it (category, name, file) is there already; a duplicate changes,
    // announces and writes nothing. The result is false in every case.
    bool addSoundEffect(QELSoundEffect::Ref soundEffect);
    // Removes that very entry (identity, not equality). An entry not in the
    // list changes and announces nothing, but the file is written again.
    // Entries are taken by value: callers may pass an element of the list,
    // which the change itself releases.
    void removeSoundEffect(QELCollectionSoundEffect::Ref soundEffect);
    // Puts a new entry copied from `newSoundEffect` in the place of that very
    // entry; no duplicate test. Not found: as for removeSoundEffect.
    void replaceSoundEffect(QELCollectionSoundEffect::Ref oldSoundEffect,
                            QELSoundEffect::Ref newSoundEffect);

    // Writes every change made so far and returns once the file holds it
    // (or the write failed: false, and the error went to the debug log).
    // Changes another process made meanwhile are taken over first.
    bool flush();
    // Reads the file again if another process changed it, announcing what
    // changed. The watcher calls it; it returns before the file is read.
    void fileDidChange();
    // Whether changes wait to be written.
    bool hasUnsavedChanges() const { return !pending_.empty() || writeRequested_; }

    const std::string& filePath() const { return path_; }

private:
    struct Op {
        enum Kind { Add, Remove, Replace } kind;
        QELSoundEffect::Ref record;          // Add: the record given
        QELCollectionSoundEffect::Ref entry;  // Add: the new entry; else the old one
        QELCollectionSoundEffect::Ref replacement;
    };
    using ListRef = std::shared_ptr<const List>;
    // What the writer works from and what it brings back.
    struct Sync {
        ListRef base;                          // the file's list as last seen
        std::optional<platform::FileStamp> stamp;
        std::vector<Op> ops;
        bool write = false;
        bool keepDamagedCopy = false;
        bool removeTemporaries = false;
        // Results.
        bool ok = true;
        bool done = false;
    };
    struct Job {
        std::mutex mutex;
        std::condition_variable finished;
        Sync sync;
        bool consumed = false;
    };

    void load();
    void note(Op op);
    void requestSync();
    void startJob();
    void consume(const std::shared_ptr<Job>& job);
    static void runSync(const std::string& path, Sync& sync);
    static List apply(const List& base, const std::vector<Op>& ops);
    void converge(const List& target);
    Sync snapshot();
    void post(const char* name, QELMySoundEffectsChangeType type,
              const QELSoundEffect::Ref& soundEffect);
    List::iterator find(const QELCollectionSoundEffect::Ref& entry);

    std::string path_;
    const platform::Clock& clock_;
    platform::RunLoop& loop_;
    List soundEffects_;
    ListRef base_;
    std::optional<platform::FileStamp> stamp_;
    std::vector<Op> pending_;
    size_t jobOps_ = 0;  // how many of pending_ the running job writes
    bool writeRequested_ = false;  // a write was asked for that no job took yet
    bool syncRequested_ = false;   // the file may have changed under us
    bool scheduled_ = false;
    bool lastWriteOk_ = true;
    // The file on disk held something the list did not take over; copy it
    // aside before the first save overwrites it.
    bool keepDamagedCopy_ = false;
    bool removeTemporaries_ = false;
    std::shared_ptr<Job> job_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::unique_ptr<platform::DispatchQueue> writer_;
    std::unique_ptr<platform::FileWatcher> watcher_;
    platform::NotificationToken terminateObserver_;
};
