#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioError.h"

namespace platform {

class PulseConnection;

// The program's virtual devices in the sound server: an output the effects
// play into ("Quellio 音效") and a microphone made from what it plays
// ("Quellio 虚拟麦克风"), which streaming and chat programs pick as their
// input; optionally the user's real microphone mixed into the output at its
// own volume. Each module carries the owning process in its properties, so
// that what a crashed run left is found and removed, and a second copy of
// the program uses the first one's pair instead of making another. The
// user's default devices are never touched.
class VirtualDevices {
public:
    static constexpr const char* kEffectsSink = "quellio_effects";
    static constexpr const char* kMicrophoneSource = "quellio_mic";
    static constexpr const char* kEffectsDescription = "Quellio 音效";
    static constexpr const char* kMicrophoneDescription = "Quellio 虚拟麦克风";

    VirtualDevices();
    ~VirtualDevices();  // removes what it made
    VirtualDevices(const VirtualDevices&) = delete;
    VirtualDevices& operator=(const VirtualDevices&) = delete;

    // Connects, removes the modules of runs that are gone and makes the
    // pair, unless a running copy of the program owns one (then that pair is
    // used and left alone). False with `error` when there is no server or it
    // refuses a module; nothing half-made stays behind.
    bool create(AudioError* error = nullptr);
    // Mixes `source` into the effects output at `volume` (0 to 1), or stops
    // mixing when `source` is empty. Only on a pair this process made; a new
    // volume for the same source does not interrupt it.
    bool setMicrophone(const std::string& source, float volume, AudioError* error = nullptr);
    // Unloads every module this process loaded.
    void remove();

    // Whether the pair exists (made here or by another running copy).
    bool exists() const { return exists_; }
    // Whether this process made it (and removes it when done).
    bool ownsPair() const { return !modules_.empty(); }

    // Unloads modules whose owning process has ended; returns how many.
    static int removeLeftovers(PulseConnection& connection);

private:
    bool load(const std::string& module, const std::string& arguments, uint32_t* index,
              AudioError* error);
    void unload(uint32_t index);
    void removeMicrophone();

    std::unique_ptr<PulseConnection> connection_;
    std::vector<uint32_t> modules_;  // in loading order
    uint32_t loopback_ = UINT32_MAX;
    std::string microphone_;  // the source the loopback reads
    bool exists_ = false;
};

}  // namespace platform
