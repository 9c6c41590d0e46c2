#pragma once

#include <cstddef>
#include <deque>
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
//
// A record that cannot be written waits in memory, whole, and every later
// record queues behind it; each attempt writes the waiting records first, in
// order. The user hears once that saving fails and once that it works again,
// never once per block.
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

    // A block's record in three pieces: open with the time stamp (when the
    // block arrived) and the description, one call per value, close. Close
    // queues the record behind any that wait and writes the queue; true when
    // this record is in the file, false when it waits.
    void append_backup_record_open(const LocalDateTime& arrived);
    void append_backup_record_value(double value, std::string_view value_row);
    bool append_backup_record_close();

    // Another attempt at the waiting records, quiet unless it succeeds.
    void save_waiting_records();
    // The last attempt before the program ends. Records the file still
    // refuses go, in its own format, to a file of their own in the user's
    // state directory, which the message names; only when that fails too
    // are they lost.
    void save_waiting_records_at_end();
    size_t waiting_records() const { return waiting_.size(); }

    // cmd_backup: after a Yes, the file holds the header line alone, and then
    // any records still waiting to be saved.
    void cmd_backup_click();

  private:
    struct Record {
        std::string bytes;
        std::vector<std::string> rows;
        bool waited = false;  // an attempt to write it failed
    };
    // Writes the waiting records in order until one fails; the failure, or
    // nothing.
    Status write_waiting();
    void message(const std::string& text);

    FileSystem& files_;
    ClockLocale& clock_;
    Dialogs& dialogs_;
    ListControl& lst_backup_;
    const TextBoxControl& txt_backupdes_;

    Record record_;
    std::deque<Record> waiting_;
    // Since the failure was reported: records that waited and are saved now.
    bool failure_reported_ = false;
    size_t saved_after_waiting_ = 0;
    // A message box is open (its event loop may call in again).
    bool in_message_ = false;
};

// Messages of failed file operations (they name the file and the reason).
std::string backup_write_failed_message(std::string_view reason);
std::string backup_saved_again_message(size_t records);
// `backup`: the full path of databac.txt, which the records belong to.
std::string backup_kept_aside_message(size_t records, std::string_view reason,
                                      std::string_view path, std::string_view backup);
std::string backup_not_saved_message(size_t records, std::string_view reason,
                                     std::string_view path, std::string_view path_reason);
std::string backup_clear_failed_message(std::string_view reason);

}  // namespace tolvane
