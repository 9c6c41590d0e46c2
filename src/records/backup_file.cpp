#include "records/backup_file.h"

#include <cstdio>
#include <utility>

#include "records/backup_rows.h"
#include "records/cp1252.h"
#include "records/field_reader.h"
#include "records/meas_table.h"

namespace tolvane {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool parse_digits(std::string_view text, size_t pos, size_t count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool is_leap_year(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap_year(y) ? 29 : kDays[m - 1];
}

// A description is one line of the file; a line break in it (which the
// one-line text box cannot hold) would split the record.
std::string description_field(std::string_view description) {
    std::string bytes = utf8_to_cp1252_lossy(description);
    for (char& c : bytes) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return "\"" + bytes + "\"";
}

// What an append puts first, so that the file keeps its shape whatever was
// done to it meanwhile: the header into a new or emptied file, and a line end
// after a last line that has none (an edit), so that the time stamp starts a
// line of its own.
std::string shape_lead(uint64_t size, char last_byte) {
    if (size == 0) return std::string(kBackupHeader);
    if (last_byte != '\r' && last_byte != '\n') return std::string(kLineEnd);
    return {};
}

std::string records_text(size_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

}  // namespace

std::string date_time_field(const LocalDateTime& t) {
    char buf[48];
    if (t.hour == 0 && t.minute == 0 && t.second == 0) {
        std::snprintf(buf, sizeof buf, "#%04d-%02d-%02d#", t.year, t.month, t.day);
    } else {
        std::snprintf(buf, sizeof buf, "#%04d-%02d-%02d %02d:%02d:%02d#", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
    }
    return buf;
}

std::optional<LocalDateTime> parse_date_time_field(std::string_view text) {
    if (text.size() != 12 && text.size() != 21) return std::nullopt;
    if (text.front() != '#' || text.back() != '#' || text[5] != '-' || text[8] != '-') {
        return std::nullopt;
    }
    LocalDateTime t;
    if (!parse_digits(text, 1, 4, t.year) || !parse_digits(text, 6, 2, t.month) ||
        !parse_digits(text, 9, 2, t.day)) {
        return std::nullopt;
    }
    if (text.size() == 21) {
        if (text[11] != ' ' || text[14] != ':' || text[17] != ':' ||
            !parse_digits(text, 12, 2, t.hour) || !parse_digits(text, 15, 2, t.minute) ||
            !parse_digits(text, 18, 2, t.second)) {
            return std::nullopt;
        }
    }
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > days_in_month(t.year, t.month) ||
        t.hour > 23 || t.minute > 59 || t.second > 59) {
        return std::nullopt;
    }
    return t;
}

std::string backup_write_failed_message(std::string_view reason) {
    return "The measurements could not be saved in the backup file databac.txt (" +
           std::string(reason) +
           "). The records are kept and will be saved as soon as the file can be written.";
}

std::string backup_saved_again_message(size_t records) {
    return "The backup file databac.txt can be written again: " + records_text(records) +
           (records == 1 ? " that waited has been saved." : " that waited have been saved.");
}

namespace {

// The opening words of both messages of records that databac.txt refused.
std::string not_saved_opening(size_t records, std::string_view reason) {
    return records_text(records) + " could not be saved in the backup file databac.txt (" +
           std::string(reason) + ")";
}

// A word of a shell command, in double quotes.
std::string shell_word(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\' || c == '$' || c == '`') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

std::string backup_kept_aside_message(size_t records, std::string_view reason,
                                      std::string_view path, std::string_view backup) {
    const std::string file(path);
    return not_saved_opening(records, reason) + ". " + (records == 1 ? "It was" : "They were") +
           " saved in " + file + " instead, in the same format. To add " +
           (records == 1 ? "it" : "them") + " to " + std::string(backup) +
           ", append that file without its first line: tail -n +2 " + shell_word(file) +
           " >> " + shell_word(backup);
}

std::string backup_not_saved_message(size_t records, std::string_view reason,
                                     std::string_view path, std::string_view path_reason) {
    return not_saved_opening(records, reason) + " nor in " + std::string(path) + " (" +
           std::string(path_reason) + "). " + (records == 1 ? "It is" : "They are") + " lost.";
}

std::string backup_clear_failed_message(std::string_view reason) {
    return "The backup file databac.txt could not be cleared (" + std::string(reason) +
           "). It was left as it was.";
}

BackupFile::BackupFile(FileSystem& files, ClockLocale& clock, Dialogs& dialogs,
                       ListControl& lst_backup, const TextBoxControl& txt_backupdes)
    : files_(files),
      clock_(clock),
      dialogs_(dialogs),
      lst_backup_(lst_backup),
      txt_backupdes_(txt_backupdes) {}

void BackupFile::load_backup_list() {
    if (!files_.exists(kBackupFileName)) files_.replace(kBackupFileName, kBackupHeader);
    // The list reads its rows from the file as it draws them.
    Status failure = Status::success();
    std::unique_ptr<ReadableFile> file = files_.open_readable(kBackupFileName, failure);
    if (!file) return;
    if (std::unique_ptr<BackupRows> rows = BackupRows::open(std::move(file), clock_))
        lst_backup_.show_rows(std::move(rows));
}

void BackupFile::append_backup_record_open(const LocalDateTime& arrived) {
    record_ = Record{};
    record_.bytes = date_time_field(arrived);
    record_.bytes += kLineEnd;
    record_.rows.push_back(clock_.general_date_time(arrived));
    const std::string description = txt_backupdes_.text();
    if (!description.empty()) {
        record_.rows.push_back(description);
        record_.bytes += description_field(description);
        record_.bytes += kLineEnd;
    }
}

void BackupFile::append_backup_record_value(double value, std::string_view value_row) {
    record_.bytes += meas_text(value, ".");
    record_.bytes += kLineEnd;
    record_.rows.emplace_back(value_row);
}

bool BackupFile::append_backup_record_close() {
    waiting_.push_back(std::move(record_));
    record_ = Record{};
    save_waiting_records();
    // It is the last in the queue: in the file once the queue is empty.
    return waiting_.empty();
}

Status BackupFile::write_waiting() {
    while (!waiting_.empty()) {
        Record& next = waiting_.front();
        const Status written = files_.append(kBackupFileName, next.bytes, shape_lead);
        if (!written.ok()) {
            for (Record& r : waiting_)
                r.waited = true;
            return written;
        }
        if (next.waited) ++saved_after_waiting_;
        lst_backup_.add_rows(std::move(next.rows));
        waiting_.pop_front();
    }
    return Status::success();
}

void BackupFile::save_waiting_records() {
    // A box of ours is open: its event loop may run a tick or a retry; the
    // records wait for the next attempt after it.
    if (in_message_ || waiting_.empty()) return;
    const Status written = write_waiting();
    if (!written.ok()) {
        if (!failure_reported_) {
            failure_reported_ = true;
            saved_after_waiting_ = 0;
            message(backup_write_failed_message(written.reason()));
        }
        return;
    }
    if (failure_reported_) {
        failure_reported_ = false;
        message(backup_saved_again_message(std::exchange(saved_after_waiting_, 0)));
    }
}

void BackupFile::save_waiting_records_at_end() {
    if (waiting_.empty()) return;
    const Status written = write_waiting();
    if (written.ok()) {
        failure_reported_ = false;
        saved_after_waiting_ = 0;
        return;
    }
    std::string bytes(kBackupHeader);
    for (const Record& r : waiting_)
        bytes += r.bytes;
    const LocalDateTime t = clock_.now();
    char name[64];
    std::snprintf(name, sizeof name, "databac-unsaved-%04d-%02d-%02d-%02d%02d%02d.txt", t.year,
                  t.month, t.day, t.hour, t.minute, t.second);
    std::string path;
    const Status kept = files_.write_aside(name, bytes, path);
    const size_t count = waiting_.size();
    if (kept.ok()) {
        waiting_.clear();
        message(backup_kept_aside_message(count, written.reason(), path,
                                          files_.full_path(kBackupFileName)));
    } else {
        message(backup_not_saved_message(count, written.reason(), path, kept.reason()));
    }
}

void BackupFile::message(const std::string& text) {
    const bool outer = std::exchange(in_message_, true);
    dialogs_.message(text);
    in_message_ = outer;
}

void BackupFile::cmd_backup_click() {
    const bool outer = std::exchange(in_message_, true);
    const bool yes = dialogs_.ask_yes_no("Delete Backup Data File?");
    in_message_ = outer;
    if (!yes) return;
    const Status cleared = files_.replace(kBackupFileName, kBackupHeader);
    if (!cleared.ok()) {
        message(backup_clear_failed_message(cleared.reason()));
        return;
    }
    lst_backup_.clear();
    std::string bytes;
    if (files_.read_all(kBackupFileName, bytes).ok() && !bytes.empty()) {
        FieldReader reader(bytes);
        lst_backup_.add_row(loaded_row(reader.next_field(), clock_));
    }
    // Records that could not be saved before were never in the file the
    // user chose to clear; they follow the header.
    save_waiting_records();
}

}  // namespace tolvane
