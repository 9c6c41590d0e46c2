#pragma once

#include <QString>

class QMainWindow;
class QMenu;

namespace tolvane {

class FileSystem;
class LotControl;
class StationRecords;

// File > Export AQDEF…: the selected records as a Q-DAS .dfq, its warnings
// (texts cut to their fields, records left out) in the status bar.
void add_aqdef_export(QMenu& file, QMainWindow& window, LotControl& lot, FileSystem& files,
                      const StationRecords& stations);

// Without a dialog: writes the selected records to `out`; false when there
// are none, or a message box says why nothing was written. No file that
// `stations` follows is written over.
bool export_aqdef_to(QMainWindow& window, LotControl& lot, FileSystem& files,
                     const StationRecords& stations, const QString& out);

}  // namespace tolvane
