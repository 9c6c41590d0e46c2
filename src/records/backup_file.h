#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock_locale.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/window_controls.h"

namespace tolvane {

inline constexpr const char* kBackupFileName = "databac.txt";
// The header line: "Backup Data" in quotes, CR LF.
inline constexpr std::string_view kBackupHeader = "\"Backup Data\"\r\n";

// "#2026-12-06 05:54:07#", or "#2026-12-07#" at exactly midnight.
std::string date_time_field(const LocalDateTime& when);
// The inverse, for a field's text with its number signs; nothing when the
// text is no date-time field.
std::optional<LocalDateTime> parse_date_time_field(std::string_view text);

// databac.txt and its mirror, the list lst_backup.
//
// A record is written in one piece at its end (one append, forced to the
// disk), so a crash or a full disk never leaves half a record in the file;
// its rows reach lst_backup only once the record is in the file.
class BackupFile {
  public:
    BackupFile(FileSystem& files, ClockLocale& clock, Dialogs& dialogs, ListControl& lst_backup,
               const TextBoxControl& txt_backupdes);

    // Start-up: create the file with its header when it is missing, then list
    // every field (the list reads them from the file as it draws them).
    // Failures are not reported; a file that cannot be read lists nothing.
    // Time stamps are listed as the regional general date-and-time text, like
    // the rows of new records.
    void load_backup_list();

    // A block's record in three pieces: open with the time stamp and the
    // description, one call per value, close. Close writes the record and
    // reports a failure in a message box; false then.
    void append_backup_record_open();
    void append_backup_record_value(double value, std::string_view value_row);
    bool append_backup_record_close();

    // cmd_backup: after a Yes, the file holds the header line alone.
    void cmd_backup_click();

  private:
    FileSystem& files_;
    ClockLocale& clock_;
    Dialogs& dialogs_;
    ListControl& lst_backup_;
    const TextBoxControl& txt_backupdes_;

    std::string record_bytes_;
    std::vector<std::string> record_rows_;
};

// Messages of failed file operations (they name the file and the reason).
std::string backup_write_failed_message(std::string_view reason);
std::string backup_clear_failed_message(std::string_view reason);

}  // namespace tolvane
