#include "inspection/inspect_aqdef.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>

#include "inspection/inspect_lot.h"
#include "platform/file_system.h"
#include "quality/aqdef.h"
#include "records/output_target.h"

namespace tolvane {

namespace {

void not_saved(QMainWindow& window, const QString& why) {
    auto* box = new QMessageBox(QMessageBox::Warning, QObject::tr("Not Saved"),
                                why + "\n" + QObject::tr("Nothing was saved."), QMessageBox::Ok, &window);
    box->setObjectName("aqdef_not_saved");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace

bool export_aqdef_to(QMainWindow& window, LotControl& control, FileSystem& files, const QString& path,
                     const QString& out) {
    const Lot& lot = control.lot();
    if (lot.records.empty()) return false;
    const std::string target = QFile::encodeName(out).toStdString();
    if (const std::optional<std::string> refusal =
            output_refusal(files, target, {files.full_path(QFile::encodeName(path).toStdString())})) {
        not_saved(window, QString::fromLocal8Bit(refusal->c_str()));
        return false;
    }
    // One station today: named after the folder that holds the file.
    const std::string station = QFileInfo(path).absoluteDir().dirName().toStdString();
    const AqdefFile aqdef = aqdef_file(lot, std::span(&station, 1),
                                       {QFileInfo(out).completeBaseName().toStdString(), lot.selection});
    if (!aqdef.refusal.empty()) {
        not_saved(window, QString::fromStdString(aqdef.refusal) + ".");
        return false;
    }
    if (const Status written = files.replace(target, aqdef.bytes); !written.ok()) {
        not_saved(window, QObject::tr("%1 could not be written: %2.")
                              .arg(QDir::toNativeSeparators(out),
                                   QString::fromLocal8Bit(written.reason().c_str())));
        return false;
    }
    QStringList said{QObject::tr("AQDEF saved to %1").arg(QDir::toNativeSeparators(QFileInfo(out).absoluteFilePath()))};
    for (const std::string& warning : aqdef.warnings) said << QString::fromStdString(warning);
    window.statusBar()->showMessage(said.join("; "));
    return true;
}

void add_aqdef_export(QMenu& file, QMainWindow& window, LotControl& lot, FileSystem& files,
                      const QString& path) {
    QAction* action = file.addAction(QObject::tr("Export &AQDEF…"));
    action->setObjectName("export_aqdef");
    QObject::connect(action, &QAction::triggered, &window, [&window, &lot, &files, path] {
        const QString name = "inspection-" + QDateTime::currentDateTime().toString("yyyy-MM-dd-HHmm");
        const QString out = QFileDialog::getSaveFileName(
            &window, QObject::tr("Export AQDEF"), QFileInfo(path).absoluteDir().filePath(name + ".dfq"),
            QObject::tr("AQDEF files (*.dfq)"));
        if (!out.isEmpty()) export_aqdef_to(window, lot, files, path, out);
    });
}

}  // namespace tolvane
