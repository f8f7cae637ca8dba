#pragma once

#include <string>
#include <vector>

#include "core/catalogue/QELSoundEffect.h"
#include "core/collection/QELMySoundEffectsChangeType.h"
#include "foundation/Clock.h"

// The user's collection: one ordered list of entries, read from the
// collection file when the storage is created and written back whole after
// every change operation. Every change is announced on the default
// notification centre, synchronously: will-change before the list changes,
// did-change after it and before the file is written. Main thread only.
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
    // never released.
    static QELMySoundEffectStorage& sharedStorage();

    // kUserCollectionFileBasePath() + "collection.info": the file sits beside
    // the recordings folder, not inside it, where stored collections live.
    static std::string collectionFilePath();

    // The path of the copy kept of a collection file that could not be taken
    // over whole: `filePath` + ".damaged".
    static std::string damagedCopyPath(const std::string& filePath) {
        return filePath + ".damaged";
    }

    // Loads `filePath`; a missing or undecodable file gives an empty list.
    // Entries are stamped with `clock`'s date when they are added.
    explicit QELMySoundEffectStorage(std::string filePath,
                                     const platform::Clock& clock = platform::Clock::system());
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

    const std::string& filePath() const { return path_; }

private:
    void load();
    void save();
    void keepDamagedCopy();
    void post(const char* name, QELMySoundEffectsChangeType type,
              const QELSoundEffect::Ref& soundEffect);
    List::iterator find(const QELCollectionSoundEffect::Ref& entry);

    std::string path_;
    const platform::Clock& clock_;
    List soundEffects_;
    // The file on disk held something the list did not take over; copy it
    // aside before the first save overwrites it.
    bool keepDamagedCopy_ = false;
};
