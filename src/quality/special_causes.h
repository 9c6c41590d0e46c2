#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quality/control_limits.h"
#include "records/number.h"

namespace tolvane {

// The tests for special causes, numbered as Nelson numbered them:
//   1 one point beyond 3 sigma
//   2 nine points in a row on one side of the centre
//   3 six points in a row all increasing or all decreasing
//   4 fourteen points in a row alternating up and down
//   5 two of three points beyond 2 sigma on the same side
//   6 four of five points beyond 1 sigma on the same side
//   7 fifteen points in a row within 1 sigma
//   8 eight points in a row beyond 1 sigma on either side
// "Beyond k sigma" is strictly farther than k sigma from the centre: a point
// exactly on a zone line (or on a control limit) is within, as a value on a
// tolerance limit is.
class TestSet {
  public:
    TestSet() = default;
    TestSet(std::initializer_list<int> tests);  // numbers outside 1..8 are ignored
    // 1, 2, 5 and 6: the Western Electric rules.
    static TestSet defaults() { return {1, 2, 5, 6}; }
    bool has(int test) const { return test >= 1 && test <= 8 && (bits_ >> test & 1u) != 0; }
    void set(int test, bool on);
    std::vector<int> numbers() const;
    bool operator==(const TestSet&) const = default;

  private:
    uint16_t bits_ = 0;
};

// A point's centre and the sigma of one point (sigma within / sqrt(n) for
// a subgroup mean, sigma within for an individual). The zone lines are
// centre +- k sigma, computed once here so every test sees the same ones.
struct Zones {
    Zones(double centre, double sigma);
    double centre;
    std::array<double, 3> above;  // centre + 1, 2, 3 sigma
    std::array<double, 3> below;  // centre - 1, 2, 3 sigma
};

// A test a point breaks. direction: +1 above the centre or increasing, -1
// below or decreasing, 0 where no side applies (tests 4, 7 and 8).
struct Finding {
    int test = 0;
    int direction = 0;
    bool operator==(const Finding&) const = default;
};

// Judges the points of one chart as they arrive: each call costs O(1) and
// keeps what the longest pattern needs (runs counted, the classes of the last
// five points), not the history. A test flags the point that completes its
// pattern, and each further point while it lasts (the tenth point of a run
// above the centre breaks test 2 again: the nine before it are in a row).
//   Ties: a point exactly on the centre is on neither side and ends a run of
// test 2 (the next point starts a new one). Two equal neighbours are neither
// an increase nor a decrease: they end a run of test 3 and of test 4, and
// the second of them starts a new one. Tests 5 and 6 flag only a point that
// is itself beyond the zone line, so that a pattern flags once, by the point
// that completes it, and not again by an inner point that follows.
class PatternJudge {
  public:
    explicit PatternJudge(TestSet tests) : tests_(tests) {}
    std::vector<Finding> judge(double point, const Zones& zones);

  private:
    TestSet tests_;
    std::optional<double> last_;
    int side_ = 0;       // of the current run of test 2
    size_t side_run_ = 0;
    int trend_ = 0;      // +1 increasing, -1 decreasing, 0 none yet
    size_t trend_run_ = 0;   // points
    int last_step_ = 0;  // sign of the last difference, 0 after a tie
    size_t alternating_run_ = 0;  // points
    size_t within_run_ = 0, beyond_run_ = 0;
    // Per point, newest first: +1 / -1 beyond 2 sigma, beyond 1 sigma.
    std::array<int, 3> beyond2_{};
    std::array<int, 5> beyond1_{};
};

// Every point of a sequence against one set of zones.
std::vector<std::vector<Finding>> judge_sequence(std::span<const double> points,
                                                 const Zones& zones, TestSet tests);

// Test 1 of an s or moving-range chart: +1 above its UCL, -1 below its LCL.
std::optional<Finding> judge_spread(double spread, const ChartLimits& limits);

// What a record gives against frozen limits.
struct RecordJudgement {
    std::optional<double> point;   // its mean, or its value for individuals
    std::optional<double> spread;  // its s, or the moving range to the last point
    ChartLimits limits;            // at its size
    std::vector<Finding> point_findings, spread_findings;
    bool in_control() const { return point_findings.empty() && spread_findings.empty(); }
};

// Judges each new record of a characteristic against its frozen limits:
// the mean (or the individual value) with the chosen tests, its s (or the
// moving range) with test 1 against the s or MR limits when test 1 is chosen.
// O(its values) for the mean and s, plus O(1) for the patterns. A record
// with no value makes no point; for individuals it does not break the
// moving range. Nothing is judged without sigma within.
class ControlJudge {
  public:
    ControlJudge(ControlLimits limits, TestSet tests);
    RecordJudgement judge(std::span<const Number> values);
    const ControlLimits& limits() const { return limits_; }

  private:
    ControlLimits limits_;
    PatternJudge pattern_;
    TestSet tests_;
    std::optional<double> last_individual_;
};

// A short sentence per finding for an alarm, e.g. "X̄ 74.0166 above the
// upper control limit 74.0144 (test 1)". The numbers are written by
// `number`: by default the shortest text that reads back as the same double;
// a window passes the user's regional form.
using NumberWriter = std::function<std::string(double)>;
std::vector<std::string> describe(const RecordJudgement& judgement, ChartKind kind,
                                  const NumberWriter& number = round_trip_text);

}  // namespace tolvane
