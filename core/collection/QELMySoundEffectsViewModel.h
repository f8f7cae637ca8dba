#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/collection/QELMySoundEffectStorage.h"
#include "core/collection/QELMySoundEffectsChangeType.h"
#include "core/collection/QELMySoundEffectsDataProvider.h"
#include "core/playback/QELSoundEffectPlayController.h"
#include "core/playback/QELViewModel.h"
#include "foundation/NotificationCenter.h"

// The model of the collection screen: plays its items, forwards changes to
// the storage and turns the storage's change notifications into three
// callbacks that tell the screen which single item changed and how. They
// run inside the did-change notification: after the list changed, before
// the file is written. Main thread only.
class QELMySoundEffectsViewModel : public QELSoundEffectPlayController,
                                   public QELViewModel<QELMySoundEffectsDataProvider> {
public:
    using ContentChange = std::function<void(QELMySoundEffectsViewModel&)>;
    using ContentDidChanged = std::function<void(
        QELMySoundEffectsViewModel&, const platform::IndexPath&, QELMySoundEffectsChangeType)>;

    // Over the shared storage (its first use loads the collection file).
    QELMySoundEffectsViewModel();
    explicit QELMySoundEffectsViewModel(QELMySoundEffectStorage& storage);
    ~QELMySoundEffectsViewModel() override;

    QELMySoundEffectStorage& storage() const { return storage_; }

    // Created on first read, then kept.
    virtual std::shared_ptr<QELMySoundEffectsDataProvider> dataProvider();
    virtual void setDataProvider(std::shared_ptr<QELMySoundEffectsDataProvider> dataProvider) {
        dataProvider_ = std::move(dataProvider);
    }

    QELSoundEffect::Ref objectAtIndexPath(const platform::IndexPath& indexPath) override;

    // Completes at once, on the calling thread, never with an error.
    void loadData(Completion completion) override;

    bool addSoundEffect(QELSoundEffect::Ref soundEffect) {
        return storage_.addSoundEffect(std::move(soundEffect));
    }
    void removeSoundEffect(QELCollectionSoundEffect::Ref soundEffect) {
        storage_.removeSoundEffect(std::move(soundEffect));
    }
    void replaceSoundEffect(QELCollectionSoundEffect::Ref oldSoundEffect,
                            QELSoundEffect::Ref newSoundEffect) {
        storage_.replaceSoundEffect(std::move(oldSoundEffect), std::move(newSoundEffect));
    }

    // Called, when set, in this order for each announced change.
    const ContentChange& willChangeContent() const { return willChangeContent_; }
    void setWillChangeContent(ContentChange callback) { willChangeContent_ = std::move(callback); }
    const ContentDidChanged& contentDidChanged() const { return contentDidChanged_; }
    void setContentDidChanged(ContentDidChanged callback) {
        contentDidChanged_ = std::move(callback);
    }
    const ContentChange& didChangeContent() const { return didChangeContent_; }
    void setDidChangeContent(ContentChange callback) { didChangeContent_ = std::move(callback); }

    // The position announced by the latest will-change notification; kept
    // until the next one.
    std::optional<platform::IndexPath> currentChangingIndexPath() const {
        return currentChangingIndexPath_;
    }
    void setCurrentChangingIndexPath(std::optional<platform::IndexPath> indexPath) {
        currentChangingIndexPath_ = indexPath;
    }

private:
    void measureRecordings();
    void contentWillChange(const platform::Notification& notification);
    void contentDidChange(const platform::Notification& notification);

    std::shared_ptr<QELMySoundEffectsDataProvider> dataProvider_;
    std::vector<platform::NotificationToken> contentChangeObserver_;
    ContentChange willChangeContent_;
    ContentChange didChangeContent_;
    ContentDidChanged contentDidChanged_;
    std::optional<platform::IndexPath> currentChangingIndexPath_;
    QELMySoundEffectStorage& storage_;
};
