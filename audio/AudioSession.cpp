#include "audio/AudioSession.h"

namespace platform {

AudioSession& AudioSession::sharedInstance() {
    static AudioSession* session = new AudioSession(AudioEngine::shared());
    return *session;
}

}  // namespace platform
