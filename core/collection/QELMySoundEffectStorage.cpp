#include "core/collection/QELMySoundEffectStorage.h"

#include <algorithm>
#include <bit>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

#include "foundation/Application.h"
#include "foundation/DebugLog.h"
#include "foundation/Fatal.h"
#include "foundation/FileLock.h"
#include "foundation/KeyedArchive.h"

using platform::Value;
namespace fs = std::filesystem;

namespace {

// Entries are the same entry when their fields and their time agree: what
// an entry is in another process's copy of the file.
std::string entryKey(const QELCollectionSoundEffect& e) {
    return e.equalityKey() + "@" +
           std::to_string(std::bit_cast<uint64_t>(e.time().secondsSinceReferenceDate));
}

bool sameEntry(const QELCollectionSoundEffect::Ref& a, const QELCollectionSoundEffect::Ref& b) {
    return a == b || (*a == *b && a->time() == b->time());
}

// The file that saves replace (links followed) and the lock beside it.
fs::path writeTarget(const std::string& path) {
    return fs::path(platform::resolveWriteTarget(path).value_or(path));
}
std::string lockPath(const std::string& path) {
    const fs::path target = writeTarget(path);
    return (target.parent_path() / ("." + target.filename().string() + ".lock")).string();
}

// The entries of an archived collection; false when it is no archived list
// at all. `damaged`: something in it was not taken over.
bool decode(const std::vector<uint8_t>& bytes, QELMySoundEffectStorage::List& out, bool& damaged) {
    auto root =
        platform::KeyedUnarchiver::unarchiveObjectWithData(bytes, QELSoundEffect::archiveClasses());
    const Value::Array* items = root ? root->asArray() : nullptr;
    if (!items) {
        damaged = true;
        return false;
    }
    out.clear();
    out.reserve(items->size());
    for (const Value& item : *items) {
        if (auto entry = item.asObject<QELCollectionSoundEffect>()) {
            out.push_back(std::move(entry));
        } else {
            damaged = true;
        }
    }
    return true;
}

// Reads the file and the stamp of the version read; nullopt stamp: no file.
std::optional<std::vector<uint8_t>> readVersion(const std::string& path,
                                                std::optional<platform::FileStamp>& stamp,
                                                std::string* error) {
    for (int attempt = 0;; ++attempt) {
        stamp = platform::fileStamp(path);
        if (!stamp) return std::nullopt;
        auto bytes = platform::readFile(path, error);
        // A save renamed into place meanwhile: read the newer one.
        if (platform::fileStamp(path) == stamp || attempt == 3 || !bytes) return bytes;
    }
}

}  // namespace

QELMySoundEffectStorage& QELMySoundEffectStorage::sharedStorage() {
    static QELMySoundEffectStorage* const storage = new QELMySoundEffectStorage(
        collectionFilePath(), platform::Clock::system(), Options{true, true});
    return *storage;
}

std::string QELMySoundEffectStorage::collectionFilePath() {
    return kUserCollectionFileBasePath() + "collection.info";
}

QELMySoundEffectStorage::QELMySoundEffectStorage(std::string filePath, const platform::Clock& clock,
                                                 Options options, platform::RunLoop& loop)
    : path_(std::move(filePath)), clock_(clock), loop_(loop) {
    load();
    writer_ = std::make_unique<platform::DispatchQueue>("collection writer");
    if (options.watch) {
        // The program's folder, which its maker creates at start anyway: the
        // watch needs it now, before a first save.
        std::string error;
        if (!platform::createDirectories(writeTarget(path_).parent_path().string(), &error))
            QEL_DEBUG_ERROR(error);
        watcher_ =
            std::make_unique<platform::FileWatcher>(path_, loop_, [this] { fileDidChange(); });
    }
    if (options.flushOnTerminate) {
        terminateObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
            platform::kApplicationWillTerminateNotification, nullptr,
            [this](const platform::Notification&) { flush(); });
    }
}

QELMySoundEffectStorage::~QELMySoundEffectStorage() {
    terminateObserver_.reset();
    watcher_.reset();
    flush();
    *alive_ = false;
    writer_.reset();
}

void QELMySoundEffectStorage::load() {
    std::string error;
    // Temporaries of a save that was killed. Only under the lock: another
    // process may be saving right now.
    const fs::path target = writeTarget(path_);
    const std::string name = target.filename().string();
    bool leftovers = false;
    platform::removeLeftoverTemporaries(target.parent_path().string(), [&](const std::string& n) {
        leftovers = leftovers || n == name;
        return false;
    });
    if (leftovers) {
        auto lock = platform::FileLock::acquire(lockPath(path_), &error);
        if (!lock) QEL_DEBUG_ERROR(error);
        platform::removeLeftoverTemporaries(target.parent_path().string(),
                                            [&](const std::string& n) { return n == name; });
    }

    auto bytes = readVersion(path_, stamp_, &error);
    base_ = std::make_shared<const List>();
    if (!stamp_) return;  // first start
    if (!bytes) {
        QEL_DEBUG_ERROR("cannot read the collection: " + error);
        keepDamagedCopy_ = true;
        return;
    }
    if (!decode(*bytes, soundEffects_, keepDamagedCopy_)) {
        QEL_DEBUG_ERROR("collection file is not an archived list, starting empty: " + path_);
        return;
    }
    base_ = std::make_shared<const List>(soundEffects_);
}

void QELMySoundEffectStorage::post(const char* name, QELMySoundEffectsChangeType type,
                                   const QELSoundEffect::Ref& soundEffect) {
    platform::NotificationCenter::defaultCenter().post(
        name, this,
        Value::Dictionary{
            {MySoundEffectAmountChangeNotificationTypeUserInfoKey, rawValue(type)},
            {MySoundEffectAmountChangeNotificationOldSoundEffectUserInfoKey, Value(soundEffect)}});
}

QELMySoundEffectStorage::List::iterator QELMySoundEffectStorage::find(
    const QELCollectionSoundEffect::Ref& entry) {
    return std::find(soundEffects_.begin(), soundEffects_.end(), entry);
}

bool QELMySoundEffectStorage::addSoundEffect(QELSoundEffect::Ref soundEffect) {
    if (!soundEffect) platform::fatal("addSoundEffect needs a sound effect");
    const bool duplicate =
        std::any_of(soundEffects_.begin(), soundEffects_.end(),
                    [&](const QELCollectionSoundEffect::Ref& e) { return *e == *soundEffect; });
    if (duplicate) return false;

    const auto type = QELMySoundEffectsChangeType::Add;
    post(MySoundEffectAmountWillChangeNotification, type, soundEffect);
    auto entry = QELCollectionSoundEffect::initWithSoundEffect(*soundEffect, clock_);
    soundEffects_.push_back(entry);
    post(MySoundEffectAmountDidChangeNotification, type, soundEffect);
    note(Op{Op::Add, soundEffect, std::move(entry), nullptr});
    return false;
}

void QELMySoundEffectStorage::removeSoundEffect(QELCollectionSoundEffect::Ref soundEffect) {
    if (find(soundEffect) == soundEffects_.end()) {
        writeRequested_ = true;
        requestSync();
        return;
    }
    const auto type = QELMySoundEffectsChangeType::Delete;
    post(MySoundEffectAmountWillChangeNotification, type, soundEffect);
    // Looked up again: a will-change observer may have changed the list.
    auto it = find(soundEffect);
    if (it != soundEffects_.end()) soundEffects_.erase(it);
    post(MySoundEffectAmountDidChangeNotification, type, soundEffect);
    note(Op{Op::Remove, nullptr, std::move(soundEffect), nullptr});
}

void QELMySoundEffectStorage::replaceSoundEffect(QELCollectionSoundEffect::Ref oldSoundEffect,
                                                 QELSoundEffect::Ref newSoundEffect) {
    if (!newSoundEffect) platform::fatal("replaceSoundEffect needs a sound effect");
    if (find(oldSoundEffect) == soundEffects_.end()) {
        writeRequested_ = true;
        requestSync();
        return;
    }
    const auto type = QELMySoundEffectsChangeType::Replace;
    post(MySoundEffectAmountWillChangeNotification, type, oldSoundEffect);
    auto replacement = QELCollectionSoundEffect::initWithSoundEffect(*newSoundEffect, clock_);
    auto it = find(oldSoundEffect);
    if (it != soundEffects_.end()) *it = replacement;
    post(MySoundEffectAmountDidChangeNotification, type, oldSoundEffect);
    note(Op{Op::Replace, nullptr, std::move(oldSoundEffect), std::move(replacement)});
}

void QELMySoundEffectStorage::note(Op op) {
    pending_.push_back(std::move(op));
    requestSync();
}

void QELMySoundEffectStorage::fileDidChange() {
    syncRequested_ = true;
    requestSync();
}

void QELMySoundEffectStorage::requestSync() {
    // Posted rather than started: the changes of this turn of the loop go
    // into one write.
    if (scheduled_) return;
    scheduled_ = true;
    loop_.post([this, alive = alive_] {
        if (!*alive) return;
        scheduled_ = false;
        startJob();
    });
}

QELMySoundEffectStorage::Sync QELMySoundEffectStorage::snapshot() {
    Sync sync;
    sync.base = base_;
    sync.stamp = stamp_;
    sync.ops = pending_;
    sync.write = !pending_.empty() || writeRequested_;
    sync.keepDamagedCopy = keepDamagedCopy_;
    jobOps_ = pending_.size();
    writeRequested_ = false;
    syncRequested_ = false;
    return sync;
}

void QELMySoundEffectStorage::startJob() {
    if (job_ || (!hasUnsavedChanges() && !syncRequested_)) return;
    auto job = std::make_shared<Job>();
    job->sync = snapshot();
    job_ = job;
    writer_->async([this, job, path = path_, alive = alive_] {
        runSync(path, job->sync);
        {
            std::lock_guard lock(job->mutex);
            job->sync.done = true;
        }
        job->finished.notify_all();
        loop_.post([this, job, alive] {
            if (*alive) consume(job);
        });
    });
}

void QELMySoundEffectStorage::consume(const std::shared_ptr<Job>& job) {
    {
        std::unique_lock lock(job->mutex);
        job->finished.wait(lock, [&] { return job->sync.done; });
        if (job->consumed) return;
        job->consumed = true;
    }
    const Sync& sync = job->sync;
    base_ = sync.base;
    stamp_ = sync.stamp;
    keepDamagedCopy_ = sync.keepDamagedCopy;
    if (sync.write) lastWriteOk_ = sync.ok;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(jobOps_));
    jobOps_ = 0;
    if (job_ == job) job_.reset();
    converge(apply(*base_, pending_));
    if (hasUnsavedChanges() || syncRequested_) requestSync();
}

bool QELMySoundEffectStorage::flush() {
    if (auto running = job_) consume(running);
    if (!hasUnsavedChanges()) return lastWriteOk_;
    auto job = std::make_shared<Job>();
    job->sync = snapshot();
    job_ = job;
    runSync(path_, job->sync);
    job->sync.done = true;
    consume(job);
    return lastWriteOk_;
}

void QELMySoundEffectStorage::runSync(const std::string& path, Sync& sync) {
    std::string error;
    // Without the lock (no folder, no rights) the write below fails and says why.
    auto lock = platform::FileLock::acquire(lockPath(path), &error);

    // Another process changed the file since we saw it: our changes go on
    // top of its version.
    std::optional<platform::FileStamp> stamp = platform::fileStamp(path);
    if (stamp && stamp != sync.stamp) {
        auto bytes = readVersion(path, stamp, &error);
        List theirs;
        bool damaged = false;
        if (bytes && decode(*bytes, theirs, damaged)) {
            sync.base = std::make_shared<const List>(std::move(theirs));
        } else {
            QEL_DEBUG_ERROR("collection file changed and cannot be read: " + path);
        }
        sync.keepDamagedCopy = sync.keepDamagedCopy || damaged || !bytes;
        sync.stamp = stamp;
    }
    auto result = std::make_shared<const List>(apply(*sync.base, sync.ops));
    sync.base = result;
    if (!sync.write) return;

    if (sync.keepDamagedCopy && stamp) {
        if (!platform::keepDamagedCopy(path, &error))
            QEL_DEBUG_ERROR("cannot keep a copy of the damaged collection: " + error);
    }
    sync.keepDamagedCopy = false;
    auto data = platform::KeyedArchiver::archivedDataWithRootObject(
        Value(Value::Array(result->begin(), result->end())));
    if (!data) {
        QEL_DEBUG_ERROR("cannot archive the collection");
        sync.ok = false;
        return;
    }
    sync.ok = platform::writeFileAtomically(path, *data, &error);
    if (!sync.ok) {
        QEL_DEBUG_ERROR("cannot save the collection: " + error);
        return;
    }
    sync.stamp = platform::fileStamp(path);
}

QELMySoundEffectStorage::List QELMySoundEffectStorage::apply(const List& base,
                                                             const std::vector<Op>& ops) {
    List list = base;
    auto locate = [&](const QELCollectionSoundEffect::Ref& entry) {
        auto it = std::find(list.begin(), list.end(), entry);
        if (it != list.end()) return it;
        return std::find_if(list.begin(), list.end(),
                            [&](const auto& e) { return sameEntry(e, entry); });
    };
    for (const Op& op : ops) {
        switch (op.kind) {
            case Op::Add:
                if (std::none_of(list.begin(), list.end(),
                                 [&](const auto& e) { return *e == *op.record; }))
                    list.push_back(op.entry);
                break;
            case Op::Remove:
                if (auto it = locate(op.entry); it != list.end()) list.erase(it);
                break;
            case Op::Replace:
                // Removed elsewhere meanwhile: the new sound is kept all the same.
                if (auto it = locate(op.entry); it != list.end())
                    *it = op.replacement;
                else
                    list.push_back(op.replacement);
                break;
        }
    }
    return list;
}

void QELMySoundEffectStorage::converge(const List& target) {
    if (target == soundEffects_) return;  // the same entries: nothing came from outside

    // Entries this process knows keep their identity; the rest are new.
    std::unordered_map<std::string, QELCollectionSoundEffect::Ref> known;
    for (const auto& e : soundEffects_) known.emplace(entryKey(*e), e);
    List wanted = target;
    std::unordered_set<std::string> wantedKeys;
    for (auto& e : wanted) {
        const std::string key = entryKey(*e);
        if (auto it = known.find(key); it != known.end()) e = it->second;
        wantedKeys.insert(key);
    }

    auto change = [&](QELMySoundEffectsChangeType type, const QELSoundEffect::Ref& payload,
                      const std::function<void()>& apply) {
        post(MySoundEffectAmountWillChangeNotification, type, payload);
        apply();
        post(MySoundEffectAmountDidChangeNotification, type, payload);
    };
    auto removeAt = [&](size_t i) {
        const auto old = soundEffects_[i];
        change(QELMySoundEffectsChangeType::Delete, old, [&] {
            if (auto it = find(old); it != soundEffects_.end()) soundEffects_.erase(it);
        });
    };
    auto append = [&](const QELCollectionSoundEffect::Ref& e) {
        change(QELMySoundEffectsChangeType::Add, e, [&] { soundEffects_.push_back(e); });
    };

    // Walks both lists: what went is a removal, a new entry in the place of
    // one that went is a replacement, new ones at the end are additions.
    size_t i = 0;
    for (;;) {
        const size_t have = soundEffects_.size();
        if (i >= have && i >= wanted.size()) return;
        if (i < have && i < wanted.size() && soundEffects_[i] == wanted[i]) {
            ++i;
            continue;
        }
        const bool gone = i < have && !wantedKeys.contains(entryKey(*soundEffects_[i]));
        const bool added = i < wanted.size() && !known.contains(entryKey(*wanted[i]));
        if (gone && added) {
            const auto old = soundEffects_[i];
            change(QELMySoundEffectsChangeType::Replace, old, [&] {
                if (auto it = find(old); it != soundEffects_.end()) *it = wanted[i];
            });
            ++i;
        } else if (gone) {
            removeAt(i);
        } else if (added && i == have) {
            append(wanted[i]);
            ++i;
        } else {
            break;
        }
    }
    // The order changed in a way the three changes cannot say: the rest
    // goes and comes back in the new order.
    while (soundEffects_.size() > i) removeAt(soundEffects_.size() - 1);
    for (size_t j = i; j < wanted.size(); ++j) append(wanted[j]);
}
