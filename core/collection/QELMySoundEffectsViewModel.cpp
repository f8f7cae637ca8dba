#include "core/collection/QELMySoundEffectsViewModel.h"

#include "core/playback/QELLoudnessCache.h"
#include "core/settings/QELAudioSettings.h"
#include "foundation/Fatal.h"
#include "foundation/RunLoop.h"

using platform::Value;

namespace {

// The "type" text of a change notification, if it carries one.
const std::string* rawChangeType(const platform::Notification& n) {
    const Value* raw = n.userInfo.find(
        QELMySoundEffectStorage::MySoundEffectAmountChangeNotificationTypeUserInfoKey);
    return raw ? raw->asString() : nullptr;
}

// The storage sends only the three raw values: any other is a programming
// error.
QELMySoundEffectsChangeType changeType(const std::string& raw) {
    auto type = changeTypeFromRawValue(raw);
    if (!type) platform::fatal("unknown collection change type \"" + raw + "\"");
    return *type;
}

}  // namespace

QELMySoundEffectsViewModel::QELMySoundEffectsViewModel()
    : QELMySoundEffectsViewModel(QELMySoundEffectStorage::sharedStorage()) {}

QELMySoundEffectsViewModel::QELMySoundEffectsViewModel(QELMySoundEffectStorage& storage)
    : storage_(storage) {
    auto& center = platform::NotificationCenter::defaultCenter();
    // The handlers hold the model weakly: once it is gone they do nothing.
    auto observe = [&](const char* name,
                       void (QELMySoundEffectsViewModel::*handler)(const platform::Notification&)) {
        std::weak_ptr<QELSoundEffectPlayController> weak = weakSelf();
        contentChangeObserver_.push_back(center.addObserver(
            name, nullptr, platform::RunLoop::main(),
            [weak, handler](const platform::Notification& n) {
                if (auto self = weak.lock())
                    (static_cast<QELMySoundEffectsViewModel&>(*self).*handler)(n);
            }));
    };
    observe(QELMySoundEffectStorage::MySoundEffectAmountWillChangeNotification,
            &QELMySoundEffectsViewModel::contentWillChange);
    observe(QELMySoundEffectStorage::MySoundEffectAmountDidChangeNotification,
            &QELMySoundEffectsViewModel::contentDidChange);
}

QELMySoundEffectsViewModel::~QELMySoundEffectsViewModel() {
    contentChangeObserver_.clear();
}

std::shared_ptr<QELMySoundEffectsDataProvider> QELMySoundEffectsViewModel::dataProvider() {
    if (!dataProvider_) dataProvider_ = std::make_shared<QELMySoundEffectsDataProvider>(storage_);
    return dataProvider_;
}

QELSoundEffect::Ref QELMySoundEffectsViewModel::objectAtIndexPath(
    const platform::IndexPath& indexPath) {
    return dataProvider()->objectAtIndexPath(indexPath);
}

void QELMySoundEffectsViewModel::loadData(Completion completion) {
    measureRecordings();
    completion(dataProvider(), std::nullopt);
}

void QELMySoundEffectsViewModel::measureRecordings() {
    // Measured before their first tap, so it plays at the even loudness.
    if (!QELAudioSettings().normaliseLoudness()) return;
    std::vector<std::string> paths;
    for (const auto& entry : storage_.soundEffects())
        if (entry->isUserCustom()) paths.push_back(entry->resourcePath());
    QELLoudnessCache::shared().prefetch(paths);
}

void QELMySoundEffectsViewModel::contentWillChange(const platform::Notification& notification) {
    const std::string* raw = rawChangeType(notification);
    if (!raw) return;
    if (changeType(*raw) == QELMySoundEffectsChangeType::Add) {
        // Not appended yet: this is where the new entry will be.
        currentChangingIndexPath_ =
            platform::IndexPath{0, static_cast<int64_t>(storage_.soundEffects().size())};
        return;
    }
    const Value* old = notification.userInfo.find(
        QELMySoundEffectStorage::MySoundEffectAmountChangeNotificationOldSoundEffectUserInfoKey);
    auto entry = old ? old->asObject<QELCollectionSoundEffect>() : nullptr;
    if (!entry) return;
    currentChangingIndexPath_ = dataProvider()->indexPathOfObject(entry);
}

void QELMySoundEffectsViewModel::contentDidChange(const platform::Notification& notification) {
    const std::string* raw = rawChangeType(notification);
    if (!raw || !currentChangingIndexPath_) return;
    const platform::IndexPath indexPath = *currentChangingIndexPath_;
    // Copied: a callback may replace the callbacks.
    if (auto will = willChangeContent_) will(*this);
    if (auto changed = contentDidChanged_) changed(*this, indexPath, changeType(*raw));
    if (auto did = didChangeContent_) did(*this);
    measureRecordings();
}
