#pragma once

#include <memory>

#include "core/playback/QELSoundEffectListDataProvider.h"
#include "core/playback/QELSoundEffectPlayController.h"
#include "core/playback/QELViewModel.h"

// The board's model: the catalogue, and playback of its items.
class QELSoundEffectListViewModel : public QELSoundEffectPlayController,
                                    public QELViewModel<QELSoundEffectListDataProvider> {
public:
    QELSoundEffectListViewModel() = default;

    // Created on first read, then kept: loads the shared catalogue and starts
    // decoding its sounds in the background, so that the first tap on each
    // finds it ready.
    virtual std::shared_ptr<QELSoundEffectListDataProvider> dataProvider();
    virtual void setDataProvider(std::shared_ptr<QELSoundEffectListDataProvider> dataProvider) {
        dataProvider_ = std::move(dataProvider);
    }

    QELSoundEffect::Ref objectAtIndexPath(const platform::IndexPath& indexPath) override;

    // Completes at once, on the calling thread, never with an error.
    void loadData(Completion completion) override;

private:
    std::shared_ptr<QELSoundEffectListDataProvider> dataProvider_;
};
