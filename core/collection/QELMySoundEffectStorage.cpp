#include "core/collection/QELMySoundEffectStorage.h"

#include <algorithm>
#include <filesystem>

#include "foundation/DebugLog.h"
#include "foundation/Fatal.h"
#include "foundation/Files.h"
#include "foundation/KeyedArchive.h"
#include "foundation/NotificationCenter.h"

using platform::Value;

QELMySoundEffectStorage& QELMySoundEffectStorage::sharedStorage() {
    static QELMySoundEffectStorage* const storage =
        new QELMySoundEffectStorage(collectionFilePath());
    return *storage;
}

std::string QELMySoundEffectStorage::collectionFilePath() {
    return kUserCollectionFileBasePath() + "collection.info";
}

QELMySoundEffectStorage::QELMySoundEffectStorage(std::string filePath, const platform::Clock& clock)
    : path_(std::move(filePath)), clock_(clock) {
    load();
}

void QELMySoundEffectStorage::load() {
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) return;  // first start

    std::string error;
    auto bytes = platform::readFile(path_, &error);
    if (!bytes) {
        QEL_DEBUG_ERROR("cannot read the collection: " + error);
        keepDamagedCopy_ = true;
        return;
    }
    auto root = platform::KeyedUnarchiver::unarchiveObjectWithData(
        *bytes, QELSoundEffect::archiveClasses());
    const Value::Array* items = root ? root->asArray() : nullptr;
    if (!items) {
        QEL_DEBUG_ERROR("collection file is not an archived list, starting empty: " + path_);
        keepDamagedCopy_ = true;
        return;
    }
    soundEffects_.reserve(items->size());
    for (const Value& item : *items) {
        if (auto entry = item.asObject<QELCollectionSoundEffect>()) {
            soundEffects_.push_back(std::move(entry));
        } else {
            keepDamagedCopy_ = true;
        }
    }
}

void QELMySoundEffectStorage::save() {
    auto data = platform::KeyedArchiver::archivedDataWithRootObject(
        Value(Value::Array(soundEffects_.begin(), soundEffects_.end())));
    if (!data) {
        QEL_DEBUG_ERROR("cannot archive the collection");
        return;
    }
    if (keepDamagedCopy_) {
        keepDamagedCopy_ = false;
        keepDamagedCopy();
    }
    std::string error;
    if (!platform::writeFileAtomically(path_, *data, &error)) {
        QEL_DEBUG_ERROR("cannot save the collection: " + error);
    }
}

void QELMySoundEffectStorage::keepDamagedCopy() {
    std::string error;
    auto bytes = platform::readFile(path_, &error);
    if (!bytes || !platform::writeFileAtomically(damagedCopyPath(path_), *bytes, &error)) {
        QEL_DEBUG_ERROR("cannot keep a copy of the damaged collection: " + error);
    }
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
    soundEffects_.push_back(QELCollectionSoundEffect::initWithSoundEffect(*soundEffect, clock_));
    post(MySoundEffectAmountDidChangeNotification, type, soundEffect);
    save();
    return false;
}

void QELMySoundEffectStorage::removeSoundEffect(QELCollectionSoundEffect::Ref soundEffect) {
    if (find(soundEffect) != soundEffects_.end()) {
        const auto type = QELMySoundEffectsChangeType::Delete;
        post(MySoundEffectAmountWillChangeNotification, type, soundEffect);
        // Looked up again: a will-change observer may have changed the list.
        auto it = find(soundEffect);
        if (it != soundEffects_.end()) soundEffects_.erase(it);
        post(MySoundEffectAmountDidChangeNotification, type, soundEffect);
    }
    save();
}

void QELMySoundEffectStorage::replaceSoundEffect(QELCollectionSoundEffect::Ref oldSoundEffect,
                                                 QELSoundEffect::Ref newSoundEffect) {
    if (!newSoundEffect) platform::fatal("replaceSoundEffect needs a sound effect");
    if (find(oldSoundEffect) != soundEffects_.end()) {
        const auto type = QELMySoundEffectsChangeType::Replace;
        post(MySoundEffectAmountWillChangeNotification, type, oldSoundEffect);
        auto it = find(oldSoundEffect);
        if (it != soundEffects_.end()) {
            *it = QELCollectionSoundEffect::initWithSoundEffect(*newSoundEffect, clock_);
        }
        post(MySoundEffectAmountDidChangeNotification, type, oldSoundEffect);
    }
    save();
}
