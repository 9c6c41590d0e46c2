#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "records/record.h"
#include "records/record_follower.h"
#include "records/station_files.h"

namespace tolvane {

// Several databac.txt files (one per station) followed at once and shown as
// one list of records in time order. Each file has a RecordFollower; the
// list itself keeps no record and no time stamp, only which station each
// place holds (2 bytes a record) and, every 256 places, how many records of
// each station came before. Records are read from their files when asked
// for, as the follower does.
//
// The order is that of merging the files: at each place the station whose
// next record has the earliest time stamp, on equal times the station first
// in the list; a file's own order is always kept, and a record without a
// valid time stamp follows the record before it in its file at once.
// Records merged are never taken back unless a file brings a record that
// belongs before them (a station's clock behind, or a station slower to
// write): then the list from there on is merged again (Change::first).
//
// The same interface as RecordFollower, so that a window uses either: with
// one station shown it is that station's follower, change for change.
// Not thread-safe: one owner calls everything from one thread.
class StationRecords {
  public:
    using State = RecordFollower::State;
    using Change = RecordFollower::Change;

    struct Station {
        std::string name;
        std::string path;
        State state = State::kReading;
        std::string problem;  // why its file cannot be read; empty otherwise
        bool shown = true;
        uint64_t indexed_bytes = 0;  // as RecordFollower's
        uint64_t file_size = 0;
        size_t records = 0;  // of its records in the list
    };

    StationRecords(FileSystem& files, const std::vector<StationFile>& stations,
                   RecordFollower::Tuning tuning = {});
    ~StationRecords();
    StationRecords(const StationRecords&) = delete;
    StationRecords& operator=(const StationRecords&) = delete;

    // Polls every file and merges what is new, reading at most about
    // max_bytes (the files' new bytes and the time stamps the merge reads).
    // A reset when a shown station's file was cleared or replaced, and at
    // the first poll after add_file, remove_file or set_shown.
    Change poll(size_t max_bytes = SIZE_MAX);
    // More to read or to merge: poll again soon.
    bool pending() const;

    // Of all stations: kReading while any is, else kUnreadable when one is,
    // else kMissing when one is, else kCurrent. With one station its own.
    State state() const;
    // The first station's problem, with its name when there are several.
    std::string problem() const;

    // The list of the shown stations' records merged so far. It is empty
    // after add_file, remove_file or set_shown until polls fill it again.
    size_t record_count() const;
    // Record i of the list, from its station's file (see RecordFollower).
    std::optional<Record> record(size_t i);
    // As RecordFollower's, in the list's order and numbering.
    bool read_records(size_t first, size_t count,
                      const std::function<void(size_t, std::optional<Record>)>& each);
    bool read_all_records(const std::function<void(size_t, Record&&)>& each);
    // Which station (its place in stations()) record i of the list is from.
    size_t station_of(size_t i) const;
    // Which of its station's records record i of the list is (0 = the first).
    size_t index_in_station(size_t i) const;

    std::vector<Station> stations() const;
    size_t station_count() const { return stations_.size(); }
    // Adds a station at the end of the list of stations; its place.
    size_t add_file(std::string path, std::string name);
    // Stations after k move up one place.
    void remove_file(size_t k);
    void rename_station(size_t k, std::string name);
    // Which stations' records the list holds (by place; missing ones are
    // shown). Lots and statistics then see only those.
    void set_shown(std::vector<bool> shown);

    // For a progress display while reading: of all files.
    uint64_t indexed_bytes() const;
    uint64_t file_size() const;

  private:
    struct Slot;
    struct Cursor;

    bool single() const;
    size_t shown_one() const;
    void start_over();
    // Polls every file; the bytes read. `before`: each one's count before.
    size_t poll_followers(size_t max_bytes, std::vector<size_t>& before,
                          std::vector<Change>& changes);
    // Merges what it can with about `budget` bytes of time stamps read.
    void merge(size_t budget, size_t& spent);
    void append_place(size_t station, int64_t time);
    // The time of record j of a station as time_order(), kNoTime without a
    // valid time stamp; the bytes read added to `spent`.
    int64_t time_of(size_t station, size_t j, size_t& spent);
    // The counts of each station's records before place i.
    std::vector<size_t> counts_before(size_t i) const;
    // Where record j of a station is in the list (it must be merged).
    size_t place_of(size_t station, size_t j) const;
    // Where a station's next record belongs, given the list merged so far.
    size_t rewind_point(size_t station, size_t& spent);
    void truncate(size_t places);
    // Drops the followers' kept time stamps that the merge is past.
    void forget_merged_times();

    FileSystem& files_;
    RecordFollower::Tuning tuning_;
    std::vector<std::unique_ptr<Slot>> stations_;
    std::vector<uint16_t> order_;         // station of each place
    std::vector<uint32_t> checkpoints_;   // per 256 places: each station's count before
    std::vector<int64_t> block_latest_;   // per 256 places: latest time in them (or above)
    bool reset_due_ = false;
};

}  // namespace tolvane
