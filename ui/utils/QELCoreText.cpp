#include "ui/utils/QELCoreText.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <vector>

namespace {

// What the lower layers say, %1 and %2 where they insert a name or a detail.
// They build their texts by concatenation, so each is matched whole.
constexpr const char* kTexts[] = {
    // The audio settings and routing.
    QT_TRANSLATE_NOOP("QELCoreText", "直播输出“%1”不在了，改用默认输出"),
    QT_TRANSLATE_NOOP("QELCoreText", "监听输出“%1”不在了，改用默认输出"),
    QT_TRANSLATE_NOOP("QELCoreText", "麦克风“%1”不在了，暂不混入"),
    QT_TRANSLATE_NOOP("QELCoreText", "录音输入“%1”不在了，改用默认输入"),
    QT_TRANSLATE_NOOP("QELCoreText", "虚拟麦克风需要 PipeWire 或 PulseAudio（%1）"),
    QT_TRANSLATE_NOOP("QELCoreText", "直播输出已断开，改用“%1”"),
    QT_TRANSLATE_NOOP("QELCoreText", "监听输出已断开，改用“%1”"),
    QT_TRANSLATE_NOOP("QELCoreText", "无法创建虚拟麦克风：%1"),
    QT_TRANSLATE_NOOP("QELCoreText", "无法混入麦克风：%1"),
    QT_TRANSLATE_NOOP("QELCoreText", "无法打开输出：%1"),
    QT_TRANSLATE_NOOP("QELCoreText", "声音服务已断开，正在重新连接"),
    QT_TRANSLATE_NOOP("QELCoreText", "声音服务已恢复"),
    // Names of recordings, imports.
    QT_TRANSLATE_NOOP("QELCoreText", "名称不能包含“/”，也不能是“.”或“..”"),
    QT_TRANSLATE_NOOP("QELCoreText", "找不到文件“%1”"),
    QT_TRANSLATE_NOOP("QELCoreText", "无法读取“%1”：%2"),
    QT_TRANSLATE_NOOP("QELCoreText", "无法读取“%1”"),
    QT_TRANSLATE_NOOP("QELCoreText", "“%1”是文件夹，不是声音文件"),
    QT_TRANSLATE_NOOP("QELCoreText", "“%1”是空文件"),
    QT_TRANSLATE_NOOP("QELCoreText", "“%1”超过 200 MB，不能导入"),
    QT_TRANSLATE_NOOP("QELCoreText", "已取消导入“%1”"),
    QT_TRANSLATE_NOOP("QELCoreText", "“%1”长于 10 分钟，不能导入"),
    QT_TRANSLATE_NOOP("QELCoreText", "“%1”不是能导入的声音文件（%2）"),
    QT_TRANSLATE_NOOP("QELCoreText", "“%1”里没有声音"),
    QT_TRANSLATE_NOOP("QELCoreText", "“%1”几乎无声，测不出响度，已按原样导入"),
    QT_TRANSLATE_NOOP("QELCoreText", "已有同名音效“%1”"),
    QT_TRANSLATE_NOOP("QELCoreText", "保存“%1”失败：%2"),
    // The maker's voices.
    QT_TRANSLATE_NOOP("QELCoreText", "大叔"),
    QT_TRANSLATE_NOOP("QELCoreText", "萝莉"),
    QT_TRANSLATE_NOOP("QELCoreText", "快语速"),
    QT_TRANSLATE_NOOP("QELCoreText", "慢语速"),
};

struct Pattern {
    QRegularExpression match;
    const char* source;
};

const std::vector<Pattern>& patterns() {
    static const std::vector<Pattern> all = [] {
        std::vector<Pattern> list;
        static const QRegularExpression placeholder(QStringLiteral("%[12]"));
        for (const char* source : kTexts) {
            const QString text = QString::fromUtf8(source);
            QString expression = QStringLiteral("^");
            qsizetype at = 0;
            for (auto it = placeholder.globalMatch(text); it.hasNext();) {
                const auto m = it.next();
                expression += QRegularExpression::escape(text.mid(at, m.capturedStart() - at)) +
                              QStringLiteral("(.*?)");
                at = m.capturedEnd();
            }
            expression += QRegularExpression::escape(text.mid(at)) + QStringLiteral("$");
            list.push_back(
                {QRegularExpression(expression, QRegularExpression::DotMatchesEverythingOption),
                 source});
        }
        return list;
    }();
    return all;
}

}  // namespace

QString QELCoreText(const std::string& text) {
    const QString given = QString::fromStdString(text);
    for (const Pattern& pattern : patterns()) {
        const QRegularExpressionMatch m = pattern.match.match(given);
        if (!m.hasMatch()) continue;
        const QString translated = QCoreApplication::translate("QELCoreText", pattern.source);
        // One multi-argument arg(): a "%1" inside a file name stays as it is.
        switch (m.lastCapturedIndex()) {
            case 1:
                return translated.arg(m.captured(1));
            case 2:
                return translated.arg(m.captured(1), m.captured(2));
            default:
                return translated;
        }
    }
    return given;
}
