#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>

#include "core/maker/QELSoundEffectImporter.h"

class QWidget;

// Imports the files the user picks or drops on the window, one at a time:
// asks when a name is taken (replace, another name or skip), shows the
// progress of a long import with a cancel button, and tells what failed.
// Main thread only.
class QELImportController {
    Q_DECLARE_TR_FUNCTIONS(QELImportController)

public:
    static QELImportController& shared();
    explicit QELImportController(QELSoundEffectImporter& importer);

    // Opens the file dialog (several files) over `parent` and imports the
    // files chosen.
    void chooseFiles(QWidget* parent);
    void importFiles(const QStringList& paths);
    bool isImporting() const { return busy_; }

private:
    void next();
    void start(const QString& path, QELImportOptions options);
    void finished(const QELImportResult& result);
    // "NAME 2", "NAME 3"...: the first title no recording has.
    std::string freeTitle(const std::string& title) const;

    QELSoundEffectImporter& importer_;
    std::deque<QString> waiting_;
    bool busy_ = false;
    std::shared_ptr<QELSoundEffectImporter::Task> task_;
    QPointer<QProgressDialog> progress_;
};
