#include "records/record_follower.h"

#include <algorithm>

#include "records/backup_file.h"
#include "records/field_scan.h"

namespace tolvane {

namespace {

// Bytes kept from the start and from the end of what was indexed: a file
// that no longer holds them was edited, not appended to.
constexpr size_t kFingerprint = 64;

// A time stamp field is 21 bytes; the blanks before it are few.
constexpr uint64_t kTimeBytes = FieldScan::kHeadBytes;
// A kept time stamp that the index did not have at hand.
constexpr int64_t kTimeUnread = INT64_MIN + 1;

// The date of the last full time stamp read: records in a row mostly share
// it, and then only the time of day is read.
struct LastDate {
    std::string date;  // "#2026-12-06"
    int64_t midnight = 0;
};

bool two_digits(const char* at, int limit, int& value) {
    if (at[0] < '0' || at[0] > '9' || at[1] < '0' || at[1] > '9') return false;
    value = (at[0] - '0') * 10 + (at[1] - '0');
    return value < limit;
}

int64_t time_in(std::string_view bytes, LastDate& last) {
    size_t from = 0;
    while (from < bytes.size() && (bytes[from] == ' ' || bytes[from] == '\t')) ++from;
    if (from == bytes.size() || bytes[from] != '#') return RecordFollower::kNoTime;
    const auto ends_field = [&](size_t at) {
        return at == bytes.size() || bytes[at] == ',' || bytes[at] == '\r' || bytes[at] == '\n';
    };
    size_t to = from + 21;  // the usual "#2026-12-06 05:54:07#"
    if (to > bytes.size() || !ends_field(to)) {
        to = from;
        while (!ends_field(to)) ++to;
    }
    const std::string_view field = bytes.substr(from, to - from);
    if (field.size() == 21 && !last.date.empty() && field.starts_with(last.date) &&
        field[11] == ' ' && field[14] == ':' && field[17] == ':' && field[20] == '#') {
        int h = 0, m = 0, s = 0;
        if (two_digits(&field[12], 24, h) && two_digits(&field[15], 60, m) &&
            two_digits(&field[18], 60, s))
            return last.midnight + (h * 60 + m) * 60 + s;
        return RecordFollower::kNoTime;
    }
    std::optional<LocalDateTime> time = parse_date_time_field(field);
    if (!time) return RecordFollower::kNoTime;
    const int64_t order = time_order(*time);
    if (field.size() == 21) {
        last.date = field.substr(0, 11);
        time->hour = time->minute = time->second = 0;
        last.midnight = time_order(*time);
    }
    return order;
}

}  // namespace

RecordFollower::RecordFollower(FileSystem& files, std::string name, Tuning tuning)
    : files_(files), name_(std::move(name)), tuning_(tuning) {}

RecordFollower::~RecordFollower() = default;

void RecordFollower::set_state(State state, std::string problem, Change& change) {
    if (state == state_ && problem == problem_) return;
    state_ = state;
    problem_ = std::move(problem);
    change.state_changed = true;
}

void RecordFollower::drop_index(Change& change) {
    starts_.clear();
    starts_.shrink_to_fit();
    times_.clear();
    times_.shrink_to_fit();
    times_first_ = 0;
    indexed_ = 0;
    no_line_end_until_ = 0;
    head_.clear();
    tail_.clear();
    change.reset = true;
    change.first = 0;
}

bool RecordFollower::reopen(Change& change) {
    Status failure = Status::success();
    std::unique_ptr<ReadableFile> file = files_.open_readable(name_, failure);
    FileIdentity identity;
    if (file && !(failure = file->identify(identity)).ok()) file.reset();
    drop_index(change);
    file_ = std::move(file);
    known_ = file_ ? identity : FileIdentity{};
    if (!file_) {
        const bool missing = !files_.exists(name_);
        set_state(missing ? State::kMissing : State::kUnreadable,
                  missing ? std::string() : failure.reason(), change);
    }
    return file_ != nullptr;
}

bool RecordFollower::read(uint64_t offset, size_t size, std::string& bytes) {
    bytes.assign(size, '\0');
    size_t got = 0;
    return file_->read_at(offset, bytes, got).ok() && got == size;
}

bool RecordFollower::still_holds_indexed_bytes() {
    std::string now;
    return read(0, head_.size(), now) && now == head_ &&
           read(indexed_ - tail_.size(), tail_.size(), now) && now == tail_;
}

std::optional<uint64_t> RecordFollower::last_line_end(uint64_t from, uint64_t to) {
    std::string bytes;
    while (to > from) {
        const auto size = static_cast<size_t>(std::min<uint64_t>(to - from, tuning_.read_chunk));
        if (!read(to - size, size, bytes)) return std::nullopt;
        const size_t lf = bytes.rfind('\n');
        if (lf != std::string::npos) return to - size + lf + 1;
        to -= size;
    }
    return std::nullopt;
}

RecordFollower::Change RecordFollower::poll(size_t max_bytes) {
    Change change;
    const size_t before = starts_.size();
    change.first = before;
    max_bytes = std::max<size_t>(max_bytes, 1);

    FileIdentity now;
    const Status looked = files_.identify(name_, now);
    if (!looked.ok()) {
        // What was read stays on show; the file is read again once it is back.
        const bool missing = !files_.exists(name_);
        set_state(missing ? State::kMissing : State::kUnreadable,
                  missing ? std::string() : looked.reason(), change);
        change.count = starts_.size();
        return change;
    }
    if (!file_ || !now.same_file(known_)) {
        if (!reopen(change)) {
            change.count = starts_.size();
            return change;
        }
    } else if (now.size < indexed_ ||
               // Appends make it longer: rewritten at the same length, it was edited.
               (now.size == known_.size && now.modified_ns != known_.modified_ns) ||
               (now.size != known_.size && !still_holds_indexed_bytes())) {
        drop_index(change);  // cleared, or edited before its end
        known_ = now;
    } else {
        known_ = now;
    }

    // At most max_bytes, up to the last line end in them: a line still being
    // written waits for its end.
    const uint64_t search_from = std::min(std::max(indexed_, no_line_end_until_), known_.size);
    const uint64_t step_end =
        known_.size - search_from > max_bytes ? search_from + max_bytes : known_.size;
    bool failed = false;
    if (step_end > search_from) {
        const std::optional<uint64_t> limit = last_line_end(search_from, step_end);
        if (!limit) {
            no_line_end_until_ = step_end;
        } else {
            FieldScan::Options options{0, tuning_.read_chunk, true, {}};
            LastDate date;
            if (keep_times_) {
                if (times_.empty()) times_first_ = starts_.size();
                // A failed scan drops the index, these with it.
                options.record_head = [&](std::string_view head) {
                    times_.push_back(head.empty() ? kTimeUnread : time_in(head, date));
                };
            }
            FieldScan scan(*file_, options);
            failed = !scan.run(indexed_, *limit);
            if (!failed) {
                if (before > 0 && change.first == before) change.first = before - 1;
                starts_.insert(starts_.end(), scan.record_starts.begin(), scan.record_starts.end());
                indexed_ = *limit;
                no_line_end_until_ = indexed_;
                if (head_.size() < kFingerprint)
                    failed = !read(
                        0, static_cast<size_t>(std::min<uint64_t>(kFingerprint, indexed_)), head_);
                const auto tail = static_cast<size_t>(std::min<uint64_t>(kFingerprint, indexed_));
                failed = failed || !read(indexed_ - tail, tail, tail_);
            }
        }
    }
    if (failed) {
        Change dropped;
        drop_index(dropped);
        change.reset = true;
        change.first = 0;
        file_.reset();  // opened afresh at the next poll
        set_state(State::kUnreadable, "The file could not be read.", change);
    } else {
        set_state(step_end < known_.size ? State::kReading : State::kCurrent, {}, change);
    }
    change.count = starts_.size();
    return change;
}

namespace {

// Its bytes must still begin a record; else the file changed under us.
bool begins_record(std::string_view bytes) {
    const size_t first = bytes.find_first_not_of(" \t");
    return first != std::string_view::npos && bytes[first] == '#';
}

std::optional<Record> record_from(std::string_view bytes) {
    if (!begins_record(bytes)) return std::nullopt;
    return parse_record(bytes);
}

// Records up to this size are read in one piece, several at a time; a
// longer one (an absurd edit) in steps of read_chunk, so that reading any
// record costs a bounded amount of memory.
constexpr uint64_t kOnePiece = 1 << 20;

}  // namespace

std::optional<Record> RecordFollower::record_in_steps(uint64_t from, uint64_t to, bool& read_ok) {
    RecordReader reader;
    std::string bytes;
    read_ok = true;
    for (uint64_t at = from; at < to;) {
        const auto size = static_cast<size_t>(std::min<uint64_t>(to - at, tuning_.read_chunk));
        if (!read(at, size, bytes)) {
            read_ok = false;
            return std::nullopt;
        }
        if (at == from && !begins_record(bytes)) return std::nullopt;
        reader.add(bytes);
        at += size;
    }
    return reader.finish();
}

uint64_t RecordFollower::end_of(size_t i) const {
    return i + 1 < starts_.size() ? starts_[i + 1] : indexed_;
}

std::optional<Record> RecordFollower::record(size_t i) {
    if (i >= starts_.size() || !file_) return std::nullopt;
    const uint64_t from = starts_[i], to = end_of(i);
    bool read_ok = true;
    if (to - from > kOnePiece) return record_in_steps(from, to, read_ok);
    std::string bytes;
    if (!read(from, static_cast<size_t>(to - from), bytes)) return std::nullopt;
    return record_from(bytes);
}

bool RecordFollower::read_records(size_t first, size_t count,
                                  const std::function<void(size_t, std::optional<Record>)>& each) {
    if (first >= starts_.size() || count == 0) return true;
    if (!file_) return false;
    const size_t end = first + std::min(count, starts_.size() - first);
    std::string bytes;
    for (size_t i = first; i < end;) {
        if (end_of(i) - starts_[i] > kOnePiece) {
            bool read_ok = true;
            std::optional<Record> record = record_in_steps(starts_[i], end_of(i), read_ok);
            if (!read_ok) return false;
            each(i, std::move(record));
            ++i;
            continue;
        }
        // As many records as fit in one piece, read at once.
        size_t last = i;
        while (last + 1 < end && end_of(last + 1) - starts_[i] <= kOnePiece) ++last;
        const uint64_t from = starts_[i];
        if (!read(from, static_cast<size_t>(end_of(last) - from), bytes)) return false;
        for (; i <= last; ++i)
            each(i, record_from(std::string_view(bytes).substr(starts_[i] - from,
                                                               end_of(i) - starts_[i])));
    }
    return true;
}

bool read_all_in_batches(size_t count, size_t batch,
                         const std::function<bool(size_t, size_t, const RecordSink&)>& read,
                         const std::function<void(size_t, Record&&)>& each) {
    bool whole = true;
    for (size_t first = 0; whole && first < count; first += batch) {
        const bool read_ok = read(first, batch, [&](size_t i, std::optional<Record> record) {
            if (!record)
                whole = false;
            else if (whole)
                each(i, std::move(*record));
        });
        whole = whole && read_ok;
    }
    return whole;
}

bool RecordFollower::read_all_records(const std::function<void(size_t, Record&&)>& each) {
    return read_all_in_batches(
        record_count(), 4096,
        [this](size_t first, size_t count, const RecordSink& sink) {
            return read_records(first, count, sink);
        },
        each);
}

bool RecordFollower::read_times(size_t first, size_t count, std::vector<int64_t>& times,
                                size_t& bytes_read) {
    if (first >= starts_.size() || count == 0) return true;
    if (!file_) return false;
    const size_t end = first + std::min(count, starts_.size() - first);
    if (first >= times_first_ && end <= times_first_ + times_.size()) {
        const auto kept = times_.begin() + static_cast<std::ptrdiff_t>(first - times_first_);
        const auto kept_end = kept + static_cast<std::ptrdiff_t>(end - first);
        if (std::find(kept, kept_end, kTimeUnread) == kept_end) {
            times.insert(times.end(), kept, kept_end);
            return true;
        }
    }
    const auto head_end = [&](size_t i) { return std::min(end_of(i), starts_[i] + kTimeBytes); };
    std::string bytes;
    LastDate date;
    for (size_t i = first; i < end;) {
        // The heads of as many short records as fit in one piece, read with
        // what lies between them; a long record's head on its own.
        size_t last = i;
        while (last + 1 < end && starts_[last + 1] - starts_[last] <= 4 * kTimeBytes &&
               head_end(last + 1) - starts_[i] <= kOnePiece)
            ++last;
        const uint64_t from = starts_[i];
        if (!read(from, static_cast<size_t>(head_end(last) - from), bytes)) return false;
        bytes_read += bytes.size();
        for (; i <= last; ++i) {
            const std::string_view view(bytes);
            times.push_back(
                time_in(view.substr(starts_[i] - from, head_end(i) - starts_[i]), date));
        }
    }
    return true;
}

void RecordFollower::forget_times(size_t end) {
    if (end <= times_first_) return;
    const size_t drop = std::min(end - times_first_, times_.size());
    times_.erase(times_.begin(), times_.begin() + static_cast<std::ptrdiff_t>(drop));
    times_first_ += drop;
    if (times_.empty()) times_first_ = starts_.size();
    // Keep the memory to what the merge still needs.
    if (times_.capacity() > 4 * times_.size() + 4096) times_.shrink_to_fit();
}

void RecordFollower::set_keep_times(bool keep) {
    keep_times_ = keep;
    if (!keep) forget_times(starts_.size());
}

}  // namespace tolvane
