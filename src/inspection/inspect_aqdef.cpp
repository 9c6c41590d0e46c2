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
#include "records/station_records.h"

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

bool export_aqdef_to(QMainWindow& window, LotControl& control, FileSystem& files,
                     const StationRecords& stations, const QString& out) {
    const Lot& lot = control.lot();
    if (lot.records.empty()) return false;
    const std::string target = QFile::encodeName(out).toStdString();
    std::vector<std::string> followed;
    for (const StationRecords::Station& station : stations.stations())
        followed.push_back(files.full_path(station.path));
    if (const std::optional<std::string> refusal = output_refusal(files, target, followed)) {
        not_saved(window, QString::fromLocal8Bit(refusal->c_str()));
        return false;
    }
    std::vector<std::string> names = record_station_names(lot);
    if (names.empty() && stations.station_count() > 0) names.push_back(stations.stations().front().name);
    const AqdefFile aqdef = aqdef_file(lot, names,
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
                      const StationRecords& stations) {
    QAction* action = file.addAction(QObject::tr("Export &AQDEF…"));
    action->setObjectName("export_aqdef");
    QObject::connect(action, &QAction::triggered, &window, [&window, &lot, &files, &stations] {
        const QString path = stations.station_count() > 0
                                 ? QFile::decodeName(stations.stations().front().path.c_str())
                                 : QString("databac.txt");
        const QString name = "inspection-" + QDateTime::currentDateTime().toString("yyyy-MM-dd-HHmm");
        const QString out = QFileDialog::getSaveFileName(
            &window, QObject::tr("Export AQDEF"), QFileInfo(path).absoluteDir().filePath(name + ".dfq"),
            QObject::tr("AQDEF files (*.dfq)"));
        if (!out.isEmpty()) export_aqdef_to(window, lot, files, stations, out);
    });
}

}  // namespace tolvane
