#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioFile.h"
#include "core/collection/QELMySoundEffectStorage.h"

// How a user recording enters the collection, whoever made it (the maker,
// an import): a 44.1 kHz mono 16-bit WAV file NAME.caf in the collection's
// folder, written whole, and an entry of that name.
namespace QELRecordingSave {

inline constexpr double kSampleRate = 44100;

// Names that would leave the collection folder or name no file.
bool isAcceptableName(const std::string& name);
// "/NAME.caf", the entry's path below the collection folder.
std::string relativePath(const std::string& name);
// Whether saving under `name` would replace a recording the user has.
bool hasRecordingNamed(const QELMySoundEffectStorage& storage, const std::string& collectionBase,
                       const std::string& name);

// 16-bit WAV bytes of `pcm`, clamped to full scale.
std::vector<uint8_t> encodeWAV(const platform::PcmBuffer& pcm);
// A take brought to `targetLufs` as WAV bytes; nullopt when it cannot be
// decoded. A silent take comes back as it was.
std::optional<std::vector<uint8_t>> normalisedWAV(const std::string& path, double targetLufs);

// Any thread. Writes `wav` as the recording `name` through a temporary file
// renamed into place: one of the same name is replaced whole or not at all.
bool write(const std::string& collectionBase, const std::string& name,
           const std::vector<uint8_t>& wav, std::string* error);
// Main thread. The entry for the recording `name`; true when it is new.
bool addEntry(QELMySoundEffectStorage& storage, const std::string& name);

}  // namespace QELRecordingSave
