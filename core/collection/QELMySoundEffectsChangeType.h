#pragma once

#include <optional>
#include <string>
#include <string_view>

// How one change of the user's collection altered the list. The raw values
// travel as texts in the change notifications.
enum class QELMySoundEffectsChangeType { Add, Replace, Delete };

const char* rawValue(QELMySoundEffectsChangeType type);

// Exact, case-sensitive match of a raw value; anything else is no value.
std::optional<QELMySoundEffectsChangeType> changeTypeFromRawValue(std::string_view raw);
