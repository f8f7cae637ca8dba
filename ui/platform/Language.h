#pragma once

#include <QStringList>
#include <optional>
#include <string>

namespace platform {

// The languages the interface speaks. Chinese is the one its texts are
// written in; English comes from the built-in translation.
enum class Language { Chinese, English };

// The language for a desktop whose preferred languages are `uiLanguages`
// (BCP 47 names, most preferred first): Chinese when the first is Chinese,
// English otherwise. `forced` (QUELLIO_LANG) overrides with "zh" or "en";
// any other value is ignored and described in `*warning`.
Language chooseLanguage(const std::optional<std::string>& forced, const QStringList& uiLanguages,
                        std::string* warning);

// Makes the interface speak `language` from now on: installs or removes the
// translation on the application. Screens built earlier keep their texts.
void useLanguage(Language language);
Language currentLanguage();

}  // namespace platform
