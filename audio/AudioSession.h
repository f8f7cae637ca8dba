#pragma once

#include "audio/AudioEngine.h"

namespace platform {

// The program's audio session. The desktop has no permission prompt for the
// microphone: recording is granted exactly when there is an input device to
// record from. Main thread only.
class AudioSession {
public:
    enum class Category { SoloAmbient, Playback, PlayAndRecord };
    enum class RecordPermission { Undetermined, Denied, Granted };

    explicit AudioSession(AudioEngine& engine = AudioEngine::shared()) : engine_(engine) {}
    static AudioSession& sharedInstance();

    void setCategory(Category category) { category_ = category; }
    Category category() const { return category_; }

    RecordPermission recordPermission() const {
        return engine_.hasInputDevice() ? RecordPermission::Granted : RecordPermission::Denied;
    }

private:
    AudioEngine& engine_;
    Category category_ = Category::SoloAmbient;
};

}  // namespace platform
