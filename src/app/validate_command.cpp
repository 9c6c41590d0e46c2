#include "app/validate_command.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSysInfo>
#include <algorithm>
#include <cstdlib>

#include "app/file_gui.h"
#include "inspection/validation_report.h"
#include "posix/posix_file_system.h"
#include "records/output_target.h"

#ifndef TOLVANE_VERSION_TEXT
#define TOLVANE_VERSION_TEXT "1.00"
#endif

namespace tolvane {

std::vector<DataSetText> built_in_data_sets() {
    QStringList names = QDir(":/validation").entryList({"*.txt"}, QDir::Files, QDir::Name);
    std::stable_partition(names.begin(), names.end(),
                          [](const QString& n) { return n.startsWith("nist_"); });
    std::vector<DataSetText> sets;
    for (const QString& name : names) {
        QFile file(":/validation/" + name);
        if (!file.open(QIODevice::ReadOnly)) continue;
        sets.push_back({name.toStdString(), file.readAll().toStdString()});
    }
    return sets;
}

int validate_command(int argc, char** argv, const std::optional<std::string>& pdf, std::FILE* out,
                     std::FILE* err) {
    (void)argc;
    PosixFileSystem files;
    // The program's data are built in: no input to protect but files of
    // backup data ("--validate databac.txt").
    if (pdf) {
        if (const auto refusal = output_refusal(files, *pdf, {})) {
            std::fprintf(err, "tolvane: %s\nThe report is written to a new file: tolvane --validate OUT.pdf\n",
                         refusal->c_str());
            return 2;
        }
    }
    const std::vector<DataSetText> texts = built_in_data_sets();
    if (texts.empty()) {
        std::fputs("tolvane: the program has no reference data built in; nothing was validated\n", err);
        return 1;
    }
    const Validation validation = validate(texts);
    std::fputs(validation_text(validation).c_str(), out);
    if (std::fflush(out) != 0) return 1;
    if (pdf) {
        const FileGuiApplication app(argv);
        const ValidationRun run{TOLVANE_VERSION_TEXT, QSysInfo::prettyProductName(),
                                QDateTime::currentDateTime()};
        const QByteArray bytes = validation_report_pdf(validation, run, QLocale());
        if (const auto refusal = output_refusal(files, *pdf, {})) {
            std::fprintf(err, "tolvane: %s\n", refusal->c_str());
            return 2;
        }
        const Status written =
            files.replace(*pdf, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
        if (!written.ok()) {
            std::fprintf(err, "tolvane: %s: %s; nothing was written\n", pdf->c_str(),
                         written.reason().c_str());
            return 1;
        }
    }
    return validation.pass() ? 0 : 1;
}

}  // namespace tolvane
