#include "ui/platform/Language.h"

#include <QCoreApplication>
#include <QTranslator>

namespace platform {

namespace {

Language current = Language::Chinese;

}  // namespace

Language chooseLanguage(const std::optional<std::string>& forced, const QStringList& uiLanguages,
                        std::string* warning) {
    if (forced) {
        if (*forced == "zh") return Language::Chinese;
        if (*forced == "en") return Language::English;
        if (warning) *warning = "QUELLIO_LANG='" + *forced + "' is neither 'zh' nor 'en'; ignored";
    }
    // "zh", "zh-CN", "zh-Hant-TW": any script or region of Chinese.
    const bool chinese =
        !uiLanguages.isEmpty() && (uiLanguages.first() == QLatin1String("zh") ||
                                   uiLanguages.first().startsWith(QLatin1String("zh-")) ||
                                   uiLanguages.first().startsWith(QLatin1String("zh_")));
    return chinese ? Language::Chinese : Language::English;
}

void useLanguage(Language language) {
    static QTranslator* english = nullptr;
    if (english) {
        QCoreApplication::removeTranslator(english);
        delete english;
        english = nullptr;
    }
    current = language;
    if (language == Language::Chinese) return;
    english = new QTranslator;
    // Built into the library, so it cannot be missing.
    if (!english->load(QStringLiteral(":/i18n/quellio_en.qm")))
        qFatal("the English translation is not among the resources");
    QCoreApplication::installTranslator(english);
}

Language currentLanguage() {
    return current;
}

}  // namespace platform
