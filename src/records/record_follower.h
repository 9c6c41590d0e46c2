#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/readable_file.h"
#include "records/record.h"

namespace tolvane {

// Follows databac.txt as the polling window (or anyone) writes it, keeping
// an index of where each record starts (8 bytes a record), never a copy: a
// record is read from the file when asked for.
//
// Everything happens in poll(), on the caller's thread; poll() does at most
// `max_bytes` of reading, so a window calls it from its event loop and never
// freezes: on a timer and on file-change notices, and again at once (a zero
// timer) while pending() says there is more to read. Opening a file of ten
// million lines is then some dozens of short steps. Not thread-safe: one
// owner calls everything from one thread.
//
// What it copes with, at each poll:
// - records appended: only the new bytes are read;
// - a last line still being written (no line end yet): it waits for it;
// - the file cut short (Clear), replaced (a new file by rename, deleted and
//   made again), or changed before its known end (an edit by hand): the
//   index is dropped and the file read again from the start (reset);
// - the file missing or unreadable: the records read so far stay (the open
//   file still reads them) and state() says so, until it is back.
class RecordFollower {
  public:
    struct Tuning {
        size_t read_chunk = 256 * 1024;  // bytes read from the file at a time
    };

    RecordFollower(FileSystem& files, std::string name, Tuning tuning);
    RecordFollower(FileSystem& files, std::string name)
        : RecordFollower(files, std::move(name), Tuning{}) {}
    ~RecordFollower();
    RecordFollower(const RecordFollower&) = delete;
    RecordFollower& operator=(const RecordFollower&) = delete;

    enum class State {
        kReading,     // there is more to read (pending())
        kCurrent,     // everything up to the last complete line is indexed
        kMissing,     // no file of that name (the records read so far stay)
        kUnreadable,  // it may not be read, or is no regular file (problem())
    };

    // What a poll changed in the record list.
    struct Change {
        // Every record known before is gone (the file was cleared, replaced
        // or edited): the list starts again from nothing.
        bool reset = false;
        // Records from `first` on are new or changed: the last one known
        // before may have got more values. Nothing changed when first ==
        // record_count().
        size_t first = 0;
        size_t count = 0;  // record_count() after the poll
        bool state_changed = false;

        bool any() const { return reset || state_changed || first < count; }
    };

    // Looks at the file (one stat when nothing changed) and reads at most
    // max_bytes of what is new.
    Change poll(size_t max_bytes = SIZE_MAX);
    bool pending() const { return state_ == State::kReading; }

    State state() const { return state_; }
    // Why the file cannot be read ("Permission denied"); empty otherwise.
    const std::string& problem() const { return problem_; }
    const std::string& name() const { return name_; }

    size_t record_count() const { return starts_.size(); }
    // Record i (0 = the oldest), read from the file now. Nothing when its
    // bytes cannot be read any more (the file changed since the last poll;
    // the next poll tells what became of it).
    std::optional<Record> record(size_t i);
    // Records first .. first + count - 1 (cut to record_count()), read from
    // the file in pieces of up to 1 MiB and handed to `each` in order with
    // their index: for many records at once (--stats, a range of rows). A
    // record longer than that (only an edit makes one) is read in steps of
    // read_chunk; whatever its size, a Record keeps a bounded part of it
    // (RecordReader). A record whose
    // bytes no longer begin a record is handed as nothing. False when the
    // bytes could not be read.
    bool read_records(size_t first, size_t count,
                      const std::function<void(size_t, std::optional<Record>)>& each);
    // Every record in file order, a few thousand at a time. False when one
    // no longer begins where it was indexed or the bytes could not be read:
    // the file changed meanwhile.
    bool read_all_records(const std::function<void(size_t, Record&&)>& each);

    // The time stamps of records first .. first + count - 1 (cut to
    // record_count()) as time_order(), kNoTime for one without a valid
    // one, appended to `times`: only the first bytes of each record are
    // read, in pieces of up to 1 MiB. Adds the bytes read to `bytes_read`.
    // False when the bytes could not be read.
    static constexpr int64_t kNoTime = INT64_MIN;
    bool read_times(size_t first, size_t count, std::vector<int64_t>& times, size_t& bytes_read);
    // Keeps the time stamps of the records indexed from now on (or no
    // more), so that read_times() need not read them again, until
    // forget_times(): those of records before `end` are no longer needed.
    void set_keep_times(bool keep);
    void forget_times(size_t end);

    // For a progress display while reading: bytes indexed, and the file's
    // size when last looked at.
    uint64_t indexed_bytes() const { return indexed_; }
    uint64_t file_size() const { return known_.size; }

  private:
    void drop_index(Change& change);
    bool reopen(Change& change);
    void set_state(State state, std::string problem, Change& change);
    // Where record i's bytes end.
    uint64_t end_of(size_t i) const;
    // The record in [from, to), read and parsed in steps; read_ok false
    // when the bytes could not be read.
    std::optional<Record> record_in_steps(uint64_t from, uint64_t to, bool& read_ok);
    // Exactly `size` bytes from `offset`, else false.
    bool read(uint64_t offset, size_t size, std::string& bytes);
    bool still_holds_indexed_bytes();
    // The offset just after the last LF in [from, to), if any.
    std::optional<uint64_t> last_line_end(uint64_t from, uint64_t to);

    FileSystem& files_;
    std::string name_;
    Tuning tuning_;
    std::unique_ptr<ReadableFile> file_;
    FileIdentity known_;              // of file_, at the last poll
    uint64_t indexed_ = 0;            // bytes indexed: always just after a line end
    uint64_t no_line_end_until_ = 0;  // no LF from indexed_ up to here
    std::string head_, tail_;         // the first and last bytes indexed, to notice an edit
    std::vector<uint64_t> starts_;    // offset of each record's time stamp
    // Kept: those of records times_first_ on, as read_times gives them
    // (kTimeUnread: not at hand while indexing).
    bool keep_times_ = false;
    std::vector<int64_t> times_;
    size_t times_first_ = 0;
    State state_ = State::kReading;
    std::string problem_;
};

// Records 0 .. count - 1 through `read` (a read_records), `batch` at a
// time, each handed to `each`: false once one is missing or unreadable.
using RecordSink = std::function<void(size_t, std::optional<Record>)>;
bool read_all_in_batches(size_t count, size_t batch,
                         const std::function<bool(size_t, size_t, const RecordSink&)>& read,
                         const std::function<void(size_t, Record&&)>& each);

}  // namespace tolvane
