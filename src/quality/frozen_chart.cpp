#include "quality/frozen_chart.h"

#include <algorithm>
#include <map>
#include <utility>

#include "quality/distribution.h"
#include "quality/freezing.h"
#include "quality/special_causes.h"

namespace tolvane {

namespace {

using RecordKey = std::pair<LocalDateTime, std::string>;

bool before(const LocalDateTime& a, const LocalDateTime& b) {
    return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) <
           std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
}

struct KeyLess {
    bool operator()(const RecordKey& a, const RecordKey& b) const {
        if (before(a.first, b.first)) return true;
        if (before(b.first, a.first)) return false;
        return a.second < b.second;
    }
};

// The lot's records by time stamp and description.
std::multimap<RecordKey, size_t, KeyLess> records_by_key(const Lot& lot) {
    std::multimap<RecordKey, size_t, KeyLess> keys;
    for (size_t i = 0; i < lot.records.size(); ++i)
        if (lot.records[i].time)
            keys.emplace(RecordKey{*lot.records[i].time, lot.records[i].description.value_or("")}, i);
    return keys;
}

}  // namespace

std::optional<FrozenChart> frozen_chart(const Lot& lot) {
    const Characteristic characteristic = characteristic_of(lot);
    if (!characteristic.pattern || lot.tolerances.empty() || !lot.tolerances.front() ||
        !lot.tolerances.front()->control)
        return std::nullopt;
    FrozenChart chart;
    chart.pattern = *characteristic.pattern;
    chart.kept = *lot.tolerances.front()->control;
    chart.limits = limits_kept(chart.kept);
    TestSet tests;
    for (const int t : chart.kept.tests) tests.set(t, true);
    ControlJudge judge(chart.limits, tests);

    std::vector<std::optional<size_t>> point_of(lot.records.size());
    for (size_t i = 0; i < lot.records.size(); ++i) {
        const std::vector<Number> values =
            numbers_in_scale(lot.records[i].numbers(), lot.tolerances.front()->scale);
        const RecordJudgement judged = judge.judge(values);
        if (values.empty()) continue;
        FrozenPoint p;
        p.record = i;
        p.point = judged.point;
        p.spread = judged.spread;
        p.limits = judged.limits;
        for (const Finding& f : judged.point_findings) p.tests.push_back(f.test);
        for (const Finding& f : judged.spread_findings) p.tests.push_back(f.test);
        std::sort(p.tests.begin(), p.tests.end());
        p.tests.erase(std::unique(p.tests.begin(), p.tests.end()), p.tests.end());
        for (const FrozenControl::LeftOut& left : chart.kept.left_out)
            if (left.time && lot.records[i].time && *left.time == *lot.records[i].time)
                p.left_out = left.reason;
        point_of[i] = chart.points.size();
        chart.points.push_back(std::move(p));
    }
    const auto keys = records_by_key(lot);
    for (const JournalEntry& e : lot.journal) {
        if (e.event != JournalEvent::kAcknowledged || !e.record_time || e.cause.empty()) continue;
        const auto [from, to] = keys.equal_range(RecordKey{*e.record_time, e.description});
        for (auto it = from; it != to; ++it)
            if (point_of[it->second]) chart.points[*point_of[it->second]].causes.push_back(e.cause);
    }
    return chart;
}

std::vector<JournalEntry> lot_events(const Lot& lot) {
    const auto keys = records_by_key(lot);
    std::vector<JournalEntry> events;
    for (const JournalEntry& e : lot.journal)
        if (e.record_time && keys.count(RecordKey{*e.record_time, e.description}) > 0)
            events.push_back(e);
    return events;
}

}  // namespace tolvane
