#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock_locale.h"
#include "platform/file_system.h"
#include "platform/readable_file.h"
#include "platform/status.h"

namespace tolvane {

// The journal of what people did about a backup file's records (an alarm
// acknowledged, a record left out of the limits, limits frozen), kept beside
// it: databac.txt has databac-journal.csv. UTF-8, RFC 4180 with CR LF, the
// header line once; each entry one line, so that a second program following
// the file sees whole entries only.

enum class JournalEvent { kAcknowledged, kLeftOut, kTakenBackIn, kLimitsFrozen, kLimitsRemoved };

// "acknowledged", "left out", "taken back in", "limits frozen", "limits removed".
std::string_view journal_event_text(JournalEvent event);
std::optional<JournalEvent> journal_event_from_text(std::string_view text);

struct JournalEntry {
    LocalDateTime time;                       // when it was done
    std::optional<LocalDateTime> record_time;  // the record's time stamp, if it is about one
    std::string description;                  // the record's or characteristic's (UTF-8)
    JournalEvent event = JournalEvent::kAcknowledged;
    std::vector<int> tests;  // the tests broken, written "1 5"
    std::string cause, action, user;

    bool operator==(const JournalEntry&) const = default;
};

// The journal's name for a backup file's: the same folder, its stem and
// "-journal.csv" ("/lab/databac.txt" gives "/lab/databac-journal.csv").
std::string journal_path(std::string_view backup_path);

// "time,record_time,description,event,tests,cause,action,user" and CR LF.
std::string journal_header();

// One entry's line with its CR LF. Times are ISO 8601 local time with
// seconds; texts are made printable (a line end typed into a cause becomes
// U+FFFD, so an entry stays one line), quoted where needed, and a text
// beginning like a formula is guarded as in the CSV export.
std::string journal_line(const JournalEntry& entry);

// Appends entries to one journal. Several objects, in one program or in
// several, may append to the same file: each entry is one append, on the
// disk before it returns.
class Journal {
  public:
    Journal(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

    // The header first when the file is missing or empty. On failure the
    // file is as it was and the reason is a sentence naming the journal:
    // the caller then does not take the action.
    Status append(const JournalEntry& entry);
    // Several entries of one action (records left out and the limits frozen
    // from them) in one append: all of them are in the journal, or none.
    Status append(std::span<const JournalEntry> entries);
    const std::string& path() const { return path_; }

  private:
    FileSystem& files_;
    std::string path_;
};

std::string journal_write_failed_message(std::string_view path, std::string_view reason);

// Reads a journal as it grows. read() takes the file's bytes from offset()
// on and returns the entries of their complete lines; a last line without
// its end is being written and waits for the next read. A line that is no
// entry (a hand edit, another program's) is skipped and counted; header
// lines are passed over.
class JournalReader {
  public:
    std::vector<JournalEntry> read(std::string_view bytes_from_offset);

    // Reads what the file holds beyond offset(); a file cut short or replaced
    // by another is read again from the start (reset() then says so). A file
    // that is missing gives no entries and no failure: nothing was journaled.
    Status poll(FileSystem& files, const std::string& path, std::vector<JournalEntry>& entries);

    uint64_t offset() const { return offset_; }
    size_t skipped() const { return skipped_; }
    // The last poll started again from the start of the file: entries
    // returned before are no longer all in it.
    bool reset() const { return reset_; }

  private:
    uint64_t offset_ = 0;
    size_t skipped_ = 0;
    bool reset_ = false;
    std::optional<FileIdentity> identity_;
};

}  // namespace tolvane
