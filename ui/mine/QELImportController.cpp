#include "ui/mine/QELImportController.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "core/settings/QELAudioSettings.h"
#include "ui/maker/QELSoundEffectSaveViewController.h"
#include "ui/platform/AlertView.h"
#include "ui/utils/QELCoreText.h"

using platform::AlertView;

namespace {

// A shorter import ends before the dialog would show.
constexpr int kProgressDelayMs = 400;

}  // namespace

QELImportController& QELImportController::shared() {
    static auto* controller = new QELImportController(QELSoundEffectImporter::shared());
    return *controller;
}

QELImportController::QELImportController(QELSoundEffectImporter& importer) : importer_(importer) {}

void QELImportController::chooseFiles(QWidget* parent) {
    const QStringList paths = QFileDialog::getOpenFileNames(
        parent, tr("导入声音"), QDir::homePath(),
        tr("声音文件 (*.wav *.flac *.ogg *.oga *.opus *.mp3 *.aif *.aiff *.caf);;"
           "所有文件 (*)"));
    importFiles(paths);
}

void QELImportController::importFiles(const QStringList& paths) {
    for (const QString& p : paths) waiting_.push_back(p);
    if (!busy_) next();
}

std::string QELImportController::freeTitle(const std::string& title) const {
    for (int n = 2;; ++n) {
        std::string candidate = title + " " + std::to_string(n);
        if (!importer_.hasSoundEffectNamed(candidate)) return candidate;
    }
}

void QELImportController::next() {
    busy_ = false;
    if (waiting_.empty()) return;
    busy_ = true;
    const QString path = waiting_.front();
    waiting_.pop_front();
    QELImportOptions options = QELImportOptions::fromSettings(QELAudioSettings());
    options.title = QELSoundEffectImporter::defaultTitle(path.toStdString());
    if (!importer_.hasSoundEffectNamed(options.title)) {
        start(path, options);
        return;
    }
    const std::string other = freeTitle(options.title);
    auto* alert = new AlertView(
        QELSoundEffectSaveViewController::tr(QELSoundEffectSaveViewController::kReplaceTitle),
        tr("替换后，原来的“%1”就没有了").arg(QString::fromStdString(options.title)), tr("取消"),
        {tr("替换"), tr("另存为“%1”").arg(QString::fromStdString(other))});
    alert->didDismissWithButtonIndex = [this, path, options, other](int index) mutable {
        if (index == 0) return next();
        if (index == 1)
            options.replace = true;
        else
            options.title = other;
        start(path, options);
    };
    alert->showAlert();
}

void QELImportController::start(const QString& path, QELImportOptions options) {
    progress_ = new QProgressDialog(tr("正在导入“%1”…").arg(QFileInfo(path).fileName()), tr("取消"),
                                    0, 100, QApplication::activeWindow());
    progress_->setAttribute(Qt::WA_DeleteOnClose);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(kProgressDelayMs);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    task_ = importer_.importFile(
        path.toStdString(), std::move(options),
        [this](const QELImportResult& result) { finished(result); },
        [this](double done) {
            if (progress_) progress_->setValue(static_cast<int>(done * 100));
        });
    QObject::connect(progress_.data(), &QProgressDialog::canceled,
                     [task = task_] { task->cancel(); });
}

void QELImportController::finished(const QELImportResult& result) {
    task_.reset();
    if (progress_) progress_->close();
    if (result.code == QELImportResult::Code::Cancelled ||
        (result.imported() && result.message.empty()))
        return next();
    auto* alert = new AlertView(result.imported() ? tr("已导入") : tr("无法导入"),
                                QELCoreText(result.message), tr("好"), {});
    alert->didDismissWithButtonIndex = [this](int) { next(); };
    alert->showAlert();
}
