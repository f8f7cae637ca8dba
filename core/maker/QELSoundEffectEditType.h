#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The voice change a variant of a recording is rendered with. The raw value
// names the variant's file.
enum class QELSoundEffectEditType { Uncle, Loli, Fast, Slow, Origin };

inline constexpr std::array<QELSoundEffectEditType, 5> kAllSoundEffectEditTypes = {
    QELSoundEffectEditType::Uncle, QELSoundEffectEditType::Loli, QELSoundEffectEditType::Fast,
    QELSoundEffectEditType::Slow, QELSoundEffectEditType::Origin};

// "Uncle", "Loli", "Fast", "Slow", "Origin".
const char* rawValue(QELSoundEffectEditType type);
// What the effect picker shows; empty for Origin.
const char* title(QELSoundEffectEditType type);
// Exact, case-sensitive; any other text gives nullopt.
std::optional<QELSoundEffectEditType> editTypeFromRawValue(std::string_view raw);
