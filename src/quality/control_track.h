#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "quality/special_causes.h"
#include "quality/tolerances.h"
#include "records/record.h"

namespace tolvane {

// What became of one record against its characteristic's frozen limits, in
// two bytes, so that the verdicts of ten million records fit in memory:
// whether it was judged at all, the tests it breaks on the X̄ (or
// individuals) chart, and test 1 of the s (or moving-range) chart.
class ControlVerdict {
  public:
    ControlVerdict() = default;  // not judged: no frozen limits, or no point
    static ControlVerdict of(const RecordJudgement& judgement, ChartKind kind);

    bool judged() const { return (bits_ & kJudged) != 0; }
    bool in_control() const { return (bits_ & (kPointTests | kSpread)) == 0; }
    bool breaks(int test) const { return test >= 1 && test <= 8 && (bits_ >> test & 1u) != 0; }
    bool breaks_spread() const { return (bits_ & kSpread) != 0; }
    bool individuals() const { return (bits_ & kIndividuals) != 0; }
    bool operator==(const ControlVerdict&) const = default;

  private:
    static constexpr uint16_t kJudged = 1u << 0;  // bits 1..8: the tests of the point
    static constexpr uint16_t kPointTests = 0x1feu;
    static constexpr uint16_t kSpread = 1u << 9;
    static constexpr uint16_t kIndividuals = 1u << 10;
    uint16_t bits_ = 0;
};

// The Control column's text: empty when not judged, "in control", or the
// tests broken, "Test 1, 5", with the spread chart's named apart:
// "Test 2; Test 1 (s)", "Test 1 (MR)".
std::string control_text(ControlVerdict verdict);

// One record as the track judged it.
struct TrackedRecord {
    // The pattern of its tolerance entry; its description without one.
    std::string characteristic;
    ChartKind kind = ChartKind::kMeanAndSd;
    // Against the frozen limits, where its characteristic has them.
    std::optional<RecordJudgement> judgement;
    ControlVerdict verdict;
    size_t out_of_tolerance = 0;  // values outside its tolerance

    // Whether it calls for an alarm: a test broken, or out of tolerance.
    bool alarming() const { return !verdict.in_control() || out_of_tolerance > 0; }
};

// What happened, a sentence each: the tests broken (describe()) and then
// "3 values out of tolerance"; numbers written by `number`.
std::vector<std::string> alarm_words(const TrackedRecord& tracked,
                                     const NumberWriter& number = round_trip_text);

// Follows the records of a file in file order and judges each against its
// characteristic's frozen limits, one ControlJudge per characteristic, so a
// record costs O(its values) plus the patterns' O(1), never O(history).
// Keeps a ControlVerdict per record judged. The description's match is
// looked up once per distinct description. Not thread-safe: one owner.
class ControlTrack {
  public:
    // The tolerances are read at each reset(); they must outlive the track.
    explicit ControlTrack(const Tolerances& tolerances) : tolerances_(tolerances) {}

    // Judges again from the start: the file was read again, or the
    // tolerances or frozen limits changed.
    void reset();
    // Records from `first` on changed (the last one may have got more
    // values): their verdicts are forgotten. The last record judged is
    // judged again from where its characteristic stood before it; an
    // earlier one means judging again from the start.
    void changed_from(size_t first);

    // Records judged so far: 0 .. judged() - 1.
    size_t judged() const { return verdicts_.size(); }
    // Judges the next record (index judged()).
    TrackedRecord judge(const Record& record);
    // Not judged for an index beyond judged().
    ControlVerdict verdict(size_t index) const;

  private:
    struct Characteristic {
        std::string name;
        Limits limits;
        Scale scale = Scale::kLinear;
        std::optional<ControlJudge> judge;
    };
    size_t characteristic_of(const std::optional<std::string>& description);

    const Tolerances& tolerances_;
    std::vector<Characteristic> characteristics_;
    std::unordered_map<std::string, size_t> by_description_, by_pattern_;
    std::vector<ControlVerdict> verdicts_;
    // The last record judged: its characteristic's judge before it.
    struct Before {
        size_t characteristic = 0;
        std::optional<ControlJudge> judge;
    };
    std::optional<Before> before_last_;
};

}  // namespace tolvane
