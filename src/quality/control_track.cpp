#include "quality/control_track.h"

#include <utility>

#include "quality/control_limits.h"
#include "quality/distribution.h"
#include "quality/statistics.h"

namespace tolvane {

ControlVerdict ControlVerdict::of(const RecordJudgement& j, ChartKind kind) {
    ControlVerdict v;
    if (!j.point || !j.limits.centre || !j.limits.zone_sigma) return v;
    v.bits_ = kJudged;
    if (kind == ChartKind::kIndividuals) v.bits_ |= kIndividuals;
    for (const Finding& f : j.point_findings)
        if (f.test >= 1 && f.test <= 8) v.bits_ |= static_cast<uint16_t>(1u << f.test);
    if (!j.spread_findings.empty()) v.bits_ |= kSpread;
    return v;
}

std::string control_text(ControlVerdict v) {
    if (!v.judged()) return {};
    if (v.in_control()) return "in control";
    std::string text;
    for (int t = 1; t <= 8; ++t) {
        if (!v.breaks(t)) continue;
        text += text.empty() ? "Test " : ", ";
        text += std::to_string(t);
    }
    if (v.breaks_spread()) {
        if (!text.empty()) text += "; ";
        text += v.individuals() ? "Test 1 (MR)" : "Test 1 (s)";
    }
    return text;
}

std::vector<std::string> alarm_words(const TrackedRecord& tracked, const NumberWriter& number) {
    std::vector<std::string> words;
    if (tracked.judgement) words = describe(*tracked.judgement, tracked.kind, number);
    if (tracked.out_of_tolerance == 1) words.push_back("1 value out of tolerance");
    if (tracked.out_of_tolerance > 1)
        words.push_back(std::to_string(tracked.out_of_tolerance) + " values out of tolerance");
    return words;
}

void ControlTrack::reset() {
    characteristics_.clear();
    by_description_.clear();
    by_pattern_.clear();
    verdicts_.clear();
    before_last_.reset();
}

void ControlTrack::changed_from(size_t first) {
    if (first >= verdicts_.size()) return;
    if (first + 1 == verdicts_.size() && before_last_) {
        characteristics_[before_last_->characteristic].judge = std::move(before_last_->judge);
        before_last_.reset();
        verdicts_.pop_back();
        return;
    }
    reset();
}

size_t ControlTrack::characteristic_of(const std::optional<std::string>& description) {
    const std::string& key = description ? *description : std::string();
    if (const auto it = by_description_.find(key); it != by_description_.end()) return it->second;
    Characteristic c;
    c.name = key;
    std::optional<Tolerances::Match> match;
    if (description) match = tolerances_.find(*description);
    if (match) {
        c.name = match->entry.pattern;
        c.limits = match->limits;
        c.scale = match->entry.scale;
    }
    // One judge per characteristic: descriptions its pattern shares find it.
    if (match)
        if (const auto it = by_pattern_.find(c.name); it != by_pattern_.end())
            return by_description_.emplace(key, it->second).first->second;
    const size_t index = characteristics_.size();
    if (match) {
        by_pattern_.emplace(c.name, index);
        if (match->entry.control) {
            const FrozenControl& kept = *match->entry.control;
            TestSet tests;
            for (const int t : kept.tests) tests.set(t, true);
            c.judge.emplace(limits_kept(kept), tests);
        }
    }
    characteristics_.push_back(std::move(c));
    by_description_.emplace(key, index);
    return index;
}

TrackedRecord ControlTrack::judge(const Record& record) {
    const size_t index = characteristic_of(record.description);
    Characteristic& c = characteristics_[index];
    TrackedRecord tracked;
    tracked.characteristic = c.name;
    const std::vector<Number> numbers = record.numbers();
    if (c.limits.any())
        for (const Number& n : numbers)
            if (tolvane::verdict(n.value(), c.limits) != Verdict::kWithin) ++tracked.out_of_tolerance;
    before_last_ = Before{index, c.judge};
    if (c.judge) {
        tracked.kind = c.judge->limits().kind;
        tracked.judgement = c.judge->judge(numbers_in_scale(numbers, c.scale));
        tracked.verdict = ControlVerdict::of(*tracked.judgement, tracked.kind);
    }
    verdicts_.push_back(tracked.verdict);
    return tracked;
}

ControlVerdict ControlTrack::verdict(size_t index) const {
    return index < verdicts_.size() ? verdicts_[index] : ControlVerdict{};
}

}  // namespace tolvane
