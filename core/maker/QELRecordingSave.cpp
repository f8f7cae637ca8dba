#include "core/maker/QELRecordingSave.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "audio/Loudness.h"
#include "core/maker/QELSoundEffectEditor.h"
#include "foundation/Files.h"

namespace QELRecordingSave {

bool isAcceptableName(const std::string& name) {
    return name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string relativePath(const std::string& name) {
    return "/" + name + ".caf";
}

bool hasRecordingNamed(const QELMySoundEffectStorage& storage, const std::string& collectionBase,
                       const std::string& name) {
    if (!isAcceptableName(name)) return false;
    std::error_code ec;
    if (std::filesystem::exists(collectionBase + relativePath(name), ec)) return true;
    for (const auto& entry : storage.soundEffects())
        if (entry->isUserCustom() && entry->name() == name) return true;
    return false;
}

std::vector<uint8_t> encodeWAV(const platform::PcmBuffer& pcm) {
    const auto dataBytes = static_cast<uint32_t>(pcm.samples.size() * 2);
    const auto header = makeWAVHeader(dataBytes, static_cast<uint16_t>(pcm.channels),
                                      static_cast<uint32_t>(pcm.sampleRate), 16);
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.resize(header.size() + dataBytes);
    uint8_t* out = bytes.data() + header.size();
    for (float s : pcm.samples) {
        const auto v = static_cast<int16_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f));
        const auto u = static_cast<uint16_t>(v);
        *out++ = static_cast<uint8_t>(u & 0xFF);
        *out++ = static_cast<uint8_t>(u >> 8);
    }
    return bytes;
}

std::optional<std::vector<uint8_t>> normalisedWAV(const std::string& path, double targetLufs) {
    auto decoded = platform::decodeAudioFile(path, kSampleRate);
    if (!decoded) return std::nullopt;
    platform::PcmBuffer pcm = *decoded;
    platform::normaliseLoudness(pcm, targetLufs);
    return encodeWAV(pcm);
}

bool write(const std::string& collectionBase, const std::string& name,
           const std::vector<uint8_t>& wav, std::string* error) {
    return platform::writeFileAtomically(collectionBase + relativePath(name), wav, error);
}

bool addEntry(QELMySoundEffectStorage& storage, const std::string& name) {
    return storage.addSoundEffect(
        QELSoundEffect::customSoundEffectWithName(name, relativePath(name)));
}

}  // namespace QELRecordingSave
