#include "records/station_records.h"

#include <algorithm>
#include <utility>

namespace tolvane {

namespace {

constexpr size_t kBlock = 256;         // places per checkpoint
constexpr size_t kTimesAtOnce = 4096;  // time stamps read at a time, per station
constexpr size_t kWindow = 4096;       // places read at a time by read_records
constexpr size_t kNone = SIZE_MAX;
constexpr int64_t kNoTime = RecordFollower::kNoTime;

}  // namespace

// The time stamps of a station's next records, read ahead in one piece.
struct StationRecords::Cursor {
    size_t first = 0;
    std::vector<int64_t> times;
};

struct StationRecords::Slot {
    std::string name;
    std::string path;
    std::unique_ptr<RecordFollower> follower;
    bool shown = true;
    size_t merged = 0;  // its records in order_: always its first ones
    Cursor cursor;
};

StationRecords::StationRecords(FileSystem& files, const std::vector<StationFile>& stations,
                               RecordFollower::Tuning tuning)
    : files_(files), tuning_(tuning) {
    for (const StationFile& station : stations) add_file(station.path, station.name);
    reset_due_ = false;  // the followers' first polls tell it
}

StationRecords::~StationRecords() = default;

size_t StationRecords::shown_one() const {
    size_t one = kNone;
    for (size_t k = 0; k < stations_.size(); ++k) {
        if (!stations_[k]->shown) continue;
        if (one != kNone) return kNone;
        one = k;
    }
    return one;
}

bool StationRecords::single() const {
    return shown_one() != kNone;
}

void StationRecords::start_over() {
    order_.clear();
    order_.shrink_to_fit();
    checkpoints_.clear();
    checkpoints_.shrink_to_fit();
    block_latest_.clear();
    block_latest_.shrink_to_fit();
    for (auto& slot : stations_) {
        slot->merged = 0;
        slot->cursor = {};
    }
    reset_due_ = true;
}

size_t StationRecords::add_file(std::string path, std::string name) {
    auto slot = std::make_unique<Slot>();
    slot->follower = std::make_unique<RecordFollower>(files_, path, tuning_);
    slot->name = std::move(name);
    slot->path = std::move(path);
    stations_.push_back(std::move(slot));
    start_over();
    return stations_.size() - 1;
}

void StationRecords::remove_file(size_t k) {
    if (k >= stations_.size()) return;
    stations_.erase(stations_.begin() + static_cast<std::ptrdiff_t>(k));
    start_over();
}

void StationRecords::rename_station(size_t k, std::string name) {
    if (k < stations_.size()) stations_[k]->name = std::move(name);
}

void StationRecords::set_shown(std::vector<bool> shown) {
    for (size_t k = 0; k < stations_.size(); ++k) stations_[k]->shown = k >= shown.size() || shown[k];
    start_over();
}

std::vector<StationRecords::Station> StationRecords::stations() const {
    std::vector<Station> all;
    const bool merging = !single();
    for (const auto& slot : stations_)
        all.push_back({slot->name, slot->path, slot->follower->state(), slot->follower->problem(),
                       slot->shown, slot->follower->indexed_bytes(), slot->follower->file_size(),
                       !slot->shown ? 0 : merging ? slot->merged : slot->follower->record_count()});
    return all;
}

// Every follower looks at its file; those with much to read share the
// bytes, the one the merge waits for first.
size_t StationRecords::poll_followers(size_t max_bytes, std::vector<size_t>& before,
                                      std::vector<Change>& changes) {
    const size_t n = stations_.size();
    before.assign(n, 0);
    changes.assign(n, Change{});
    std::vector<size_t> turn;
    const auto waited_for = [&](size_t k) {
        const Slot& s = *stations_[k];
        return s.shown && s.merged >= s.follower->record_count();
    };
    for (size_t k = 0; k < n; ++k)
        if (waited_for(k)) turn.push_back(k);
    for (size_t k = 0; k < n; ++k)
        if (!waited_for(k)) turn.push_back(k);
    size_t spent = 0;
    const bool merging = !single();
    for (size_t k : turn) {
        RecordFollower& follower = *stations_[k]->follower;
        // The merge takes each new record's time from the indexing, not
        // from a second read of the file.
        follower.set_keep_times(merging && stations_[k]->shown);
        before[k] = follower.record_count();
        const bool reading = follower.pending();
        if (reading && spent >= max_bytes) {
            changes[k].first = changes[k].count = before[k];
            continue;  // its turn comes at the next poll
        }
        const uint64_t indexed = follower.indexed_bytes();
        changes[k] = follower.poll(reading ? max_bytes - spent : max_bytes);
        const uint64_t now = follower.indexed_bytes();
        spent += static_cast<size_t>(std::min<uint64_t>(now >= indexed ? now - indexed : now,
                                                        SIZE_MAX - spent));
    }
    return spent;
}

StationRecords::Change StationRecords::poll(size_t max_bytes) {
    max_bytes = std::max<size_t>(max_bytes, 1);
    Change change;
    if (std::exchange(reset_due_, false)) change.reset = true;
    std::vector<size_t> before;
    std::vector<Change> changes;
    size_t spent = poll_followers(max_bytes, before, changes);
    for (const Change& c : changes) change.state_changed = change.state_changed || c.state_changed;

    const size_t one = shown_one();
    if (one != kNone) {
        const Change& own = changes[one];
        change.reset = change.reset || own.reset;
        change.first = change.reset ? 0 : own.first;
        change.count = own.count;
        forget_merged_times();
        return change;
    }

    for (size_t k = 0; k < stations_.size(); ++k)
        if (stations_[k]->shown && changes[k].reset) {
            start_over();
            reset_due_ = false;
            change.reset = true;
        }
    change.first = change.reset ? 0 : order_.size();
    if (!change.reset) {
        for (size_t k = 0; k < stations_.size(); ++k) {
            Slot& s = *stations_[k];
            if (!s.shown || changes[k].first >= changes[k].count) continue;
            // Its last record merged got more values: it stays where it is.
            if (changes[k].first < std::min(before[k], s.merged))
                change.first = std::min(change.first, place_of(k, changes[k].first));
            if (changes[k].count > before[k] && s.merged == before[k]) {
                const size_t from = rewind_point(k, spent);
                if (from < order_.size()) truncate(from);
                change.first = std::min(change.first, from);
            }
        }
    }
    const size_t merged_before = order_.size();
    merge(std::max(max_bytes > spent ? max_bytes - spent : 0, max_bytes / 2), spent);
    if (order_.size() > merged_before) change.first = std::min(change.first, merged_before);
    change.count = order_.size();
    change.first = std::min(change.first, change.count);
    forget_merged_times();
    return change;
}

void StationRecords::forget_merged_times() {
    const bool merging = !single();
    for (auto& slot : stations_)
        slot->follower->forget_times(merging && slot->shown ? slot->merged
                                                            : slot->follower->record_count());
}

bool StationRecords::pending() const {
    for (const auto& slot : stations_)
        if (slot->follower->pending()) return true;
    if (single()) return false;
    for (const auto& slot : stations_)
        if (slot->shown && slot->merged < slot->follower->record_count()) return true;
    return false;
}

StationRecords::State StationRecords::state() const {
    const size_t one = shown_one();
    if (one != kNone) return stations_[one]->follower->state();
    if (pending()) return State::kReading;
    State worst = State::kCurrent;
    for (const auto& slot : stations_) {
        const State state = slot->follower->state();
        if (state == State::kUnreadable) return state;
        if (state == State::kMissing) worst = state;
    }
    return worst;
}

std::string StationRecords::problem() const {
    const size_t one = shown_one();
    if (one != kNone) return stations_[one]->follower->problem();
    for (const auto& slot : stations_)
        if (!slot->follower->problem().empty())
            return slot->name + ": " + slot->follower->problem();
    return {};
}

uint64_t StationRecords::indexed_bytes() const {
    uint64_t sum = 0;
    for (const auto& slot : stations_)
        if (slot->shown) sum += slot->follower->indexed_bytes();
    return sum;
}

uint64_t StationRecords::file_size() const {
    uint64_t sum = 0;
    for (const auto& slot : stations_)
        if (slot->shown) sum += slot->follower->file_size();
    return sum;
}

int64_t StationRecords::time_of(size_t station, size_t j, size_t& spent) {
    Cursor& c = stations_[station]->cursor;
    if (j < c.first || j - c.first >= c.times.size()) {
        c.times.clear();
        c.first = j;
        if (!stations_[station]->follower->read_times(j, kTimesAtOnce, c.times, spent))
            c.times.clear();
        if (c.times.empty()) return kNoTime;  // changed meanwhile: the next poll tells
    }
    return c.times[j - c.first];
}

void StationRecords::append_place(size_t station, int64_t time) {
    if (order_.size() % kBlock == 0) {
        for (const auto& slot : stations_) checkpoints_.push_back(static_cast<uint32_t>(slot->merged));
        block_latest_.push_back(INT64_MIN);
    }
    order_.push_back(static_cast<uint16_t>(station));
    ++stations_[station]->merged;
    block_latest_.back() = std::max(block_latest_.back(), time);
}

// At each place the station with the earliest next record, as long as no
// station still being read could bring an earlier one.
void StationRecords::merge(size_t budget, size_t& spent) {
    const size_t limit = budget > SIZE_MAX - spent ? SIZE_MAX : spent + budget;
    constexpr int64_t kDone = INT64_MAX;  // nothing more of it to merge now
    const size_t n = stations_.size();
    std::vector<int64_t> heads(n, kDone);
    // A station's next time stamp; false when the merge must wait for it.
    const auto head = [&](size_t k) {
        const Slot& s = *stations_[k];
        heads[k] = kDone;
        if (!s.shown) return true;
        if (s.merged < s.follower->record_count()) {
            const Cursor& c = s.cursor;
            const size_t j = s.merged;
            heads[k] = j >= c.first && j - c.first < c.times.size() ? c.times[j - c.first]
                                                                     : time_of(k, j, spent);
        }
        else if (s.follower->pending())
            return false;  // its next record may come first
        return true;
    };
    for (size_t k = 0; k < n; ++k)
        if (!head(k)) return;
    while (spent < limit || limit == SIZE_MAX) {
        // The earliest; on equal times the first station. A record without
        // a valid time (kNoTime, below all) follows the one before it.
        size_t best = 0;
        for (size_t k = 1; k < n; ++k)
            if (heads[k] < heads[best]) best = k;
        if (heads[best] == kDone) return;
        if (order_.size() % kBlock == 0) {
            append_place(best, heads[best]);
        } else {
            order_.push_back(static_cast<uint16_t>(best));
            ++stations_[best]->merged;
            block_latest_.back() = std::max(block_latest_.back(), heads[best]);
        }
        if (!head(best)) return;
    }
}

std::vector<size_t> StationRecords::counts_before(size_t i) const {
    const size_t n = stations_.size();
    std::vector<size_t> counts(n, 0);
    const size_t block = i / kBlock;
    if (block < block_latest_.size())
        for (size_t k = 0; k < n; ++k) counts[k] = checkpoints_[block * n + k];
    else
        for (size_t k = 0; k < n; ++k) counts[k] = stations_[k]->merged;
    for (size_t at = block * kBlock; at < i && block < block_latest_.size(); ++at) ++counts[order_[at]];
    return counts;
}

size_t StationRecords::place_of(size_t station, size_t j) const {
    const size_t n = stations_.size();
    // The last block that starts with at most j of the station's records.
    size_t low = 0, high = block_latest_.size();
    while (high - low > 1) {
        const size_t mid = (low + high) / 2;
        (checkpoints_[mid * n + station] <= j ? low : high) = mid;
    }
    size_t count = block_latest_.empty() ? 0 : checkpoints_[low * n + station];
    for (size_t at = low * kBlock; at < order_.size(); ++at)
        if (order_[at] == station && count++ == j) return at;
    return order_.size();
}

// The first place after the station's last one holding a later record
// than its next, or one of the same time from a station after it.
size_t StationRecords::rewind_point(size_t station, size_t& spent) {
    const Slot& s = *stations_[station];
    const size_t from = s.merged == 0 ? 0 : place_of(station, s.merged - 1) + 1;
    if (from >= order_.size()) return order_.size();
    const int64_t time = time_of(station, s.merged, spent);
    if (time == kNoTime) return from;
    std::vector<size_t> counts = counts_before(from);
    const size_t n = stations_.size();
    for (size_t i = from; i < order_.size();) {
        const size_t block = i / kBlock;
        if (i % kBlock == 0 && block_latest_[block] < time) {
            if (block + 1 >= block_latest_.size()) return order_.size();
            for (size_t k = 0; k < n; ++k) counts[k] = checkpoints_[(block + 1) * n + k];
            i += kBlock;
            continue;
        }
        const size_t at = order_[i];
        const int64_t t = time_of(at, counts[at], spent);
        if (t != kNoTime && (t > time || (t == time && at > station))) return i;
        ++counts[at];
        ++i;
    }
    return order_.size();
}

void StationRecords::truncate(size_t places) {
    const std::vector<size_t> counts = counts_before(places);
    for (size_t k = 0; k < stations_.size(); ++k) stations_[k]->merged = counts[k];
    order_.resize(places);
    const size_t blocks = (places + kBlock - 1) / kBlock;
    checkpoints_.resize(blocks * stations_.size());
    block_latest_.resize(blocks);  // the last one's latest stays: never below its times
}

size_t StationRecords::record_count() const {
    const size_t one = shown_one();
    if (one != kNone) return stations_[one]->follower->record_count();
    return order_.size();
}

size_t StationRecords::station_of(size_t i) const {
    const size_t one = shown_one();
    if (one != kNone) return one;
    return i < order_.size() ? order_[i] : kNone;
}

size_t StationRecords::index_in_station(size_t i) const {
    if (single()) return i;
    return i < order_.size() ? counts_before(i)[order_[i]] : kNone;
}

std::optional<Record> StationRecords::record(size_t i) {
    const size_t one = shown_one();
    if (one != kNone) return stations_[one]->follower->record(i);
    if (i >= order_.size()) return std::nullopt;
    const size_t k = order_[i];
    return stations_[k]->follower->record(counts_before(i)[k]);
}

bool StationRecords::read_records(size_t first, size_t count,
                                  const std::function<void(size_t, std::optional<Record>)>& each) {
    const size_t one = shown_one();
    if (one != kNone) return stations_[one]->follower->read_records(first, count, each);
    if (first >= order_.size() || count == 0) return true;
    const size_t end = first + std::min(count, order_.size() - first);
    const size_t n = stations_.size();
    std::vector<std::vector<std::optional<Record>>> read(n);
    for (size_t from = first; from < end; from += kWindow) {
        const size_t to = std::min(end, from + kWindow);
        // Each station's records of these places, read in one go, then
        // handed out in the list's order.
        const std::vector<size_t> counts = counts_before(from);
        std::vector<size_t> in_window(n, 0), next(n, 0);
        for (size_t i = from; i < to; ++i) ++in_window[order_[i]];
        for (size_t k = 0; k < n; ++k) {
            read[k].clear();
            if (in_window[k] == 0) continue;
            const bool ok = stations_[k]->follower->read_records(
                counts[k], in_window[k],
                [&](size_t, std::optional<Record> record) { read[k].push_back(std::move(record)); });
            if (!ok) return false;
        }
        for (size_t i = from; i < to; ++i) {
            const size_t k = order_[i];
            each(i, next[k] < read[k].size() ? std::move(read[k][next[k]++]) : std::nullopt);
        }
    }
    return true;
}

bool StationRecords::read_all_records(const std::function<void(size_t, Record&&)>& each) {
    const size_t one = shown_one();
    if (one != kNone) return stations_[one]->follower->read_all_records(each);
    return read_all_in_batches(
        order_.size(), kWindow,
        [this](size_t first, size_t count, const RecordSink& sink) {
            return read_records(first, count, sink);
        },
        each);
}

}  // namespace tolvane
