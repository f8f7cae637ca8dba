#pragma once

#include <string>

namespace platform {

// Why an audio operation failed: a file that is not audio, a device that
// cannot be opened. Returned through an out-parameter, as the platform does.
struct AudioError {
    enum class Code {
        FileUnreadable,     // missing or unreadable file
        NotAudio,           // no decoder recognises the contents
        UnsupportedFormat,  // audio, but of a kind the engine does not play
        DeviceUnavailable,  // output device missing or refusing to open
        EngineBusy,         // every voice of the engine is in use
        TooLong,            // longer than a whole sound may be in memory
        Cancelled,          // stopped on the caller's request
    };

    Code code = Code::NotAudio;
    std::string message;
};

// Fills `error` if the caller asked for it.
inline void setAudioError(AudioError* error, AudioError::Code code, std::string message) {
    if (error) *error = AudioError{code, std::move(message)};
}

}  // namespace platform
