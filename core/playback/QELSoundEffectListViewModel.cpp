#include "core/playback/QELSoundEffectListViewModel.h"

#include "audio/AudioEngine.h"

std::shared_ptr<QELSoundEffectListDataProvider> QELSoundEffectListViewModel::dataProvider() {
    if (!dataProvider_) {
        dataProvider_ = std::make_shared<QELSoundEffectListDataProvider>();
        platform::AudioEngine::shared().preload(dataProvider_->resourcePaths());
    }
    return dataProvider_;
}

QELSoundEffect::Ref QELSoundEffectListViewModel::objectAtIndexPath(
    const platform::IndexPath& indexPath) {
    return dataProvider()->objectAtIndexPath(indexPath);
}

void QELSoundEffectListViewModel::loadData(Completion completion) {
    completion(dataProvider(), std::nullopt);
}
