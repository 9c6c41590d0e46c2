#include "quality/aqdef.h"

#include <gtest/gtest.h>

#include <charconv>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace tolvane {
namespace {

// A .dfq read as the Q-DAS field tables describe it, without the writer's
// code: "Kxxxx[/n] text" lines ending in CR LF; K1xxx of the part, K2xxx/n
// of characteristic n; in the values, each K0001/n opens the next value of
// characteristic n and the K00xx/n after it belong to that value.
struct Dfq {
    std::map<std::string, std::string> part;                         // K0100, K1001, ...
    std::map<size_t, std::map<std::string, std::string>> characteristics;
    std::map<size_t, std::vector<std::map<std::string, std::string>>> values;
    std::string problem;
};

Dfq read_dfq(const std::string& bytes) {
    Dfq dfq;
    static const std::regex form(R"((K\d{4})(?:/(\d+))? (.*))");
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) return dfq.problem = "no CR LF at the end", dfq;
        const std::string text = bytes.substr(start, end - start);
        start = end + 2;
        for (const char c : text)
            if (static_cast<unsigned char>(c) < 0x20) return dfq.problem = "control in " + text, dfq;
        std::smatch m;
        if (!std::regex_match(text, m, form)) return dfq.problem = "no K line: " + text, dfq;
        const std::string key = m[1];
        const size_t n = m[2].matched ? std::stoul(m[2]) : 0;
        if (key >= "K1000" || key == "K0100") {
            if (key < "K2000") {
                dfq.part[key] = m[3];
            } else if (n == 0) {
                return dfq.problem = "characteristic key without /n: " + text, dfq;
            } else {
                dfq.characteristics[n][key] = m[3];
            }
        } else if (key == "K0001") {
            dfq.values[n].push_back({{key, m[3]}});
        } else if (dfq.values[n].empty()) {
            return dfq.problem = "value field before its K0001: " + text, dfq;
        } else {
            dfq.values[n].back()[key] = m[3];
        }
    }
    return dfq;
}

double number(const std::string& text) {
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    EXPECT_TRUE(result.ec == std::errc() && result.ptr == text.data() + text.size()) << text;
    return value;
}

Record record_of(LocalDateTime time, std::optional<std::string> description,
                 std::vector<std::string> values) {
    Record r;
    r.time = time;
    r.time_text = "#...#";
    r.description = std::move(description);
    for (const std::string& v : values) r.values.push_back({v, Number::parse(v)});
    r.value_count = r.values.size();
    return r;
}

const ToleranceEntry kShaft{"Shaft D25*", 25.0, -0.021, 0.012};
// 0.1 + 0.2 is the double 0.30000000000000004.
const ToleranceEntry kRunOut{"Run-out", 0.1, std::nullopt, 0.2};

// Three records of two characteristics from two stations, and one that
// matches no tolerance.
Lot sample_lot() {
    Lot lot;
    const auto add = [&](Record r, size_t number, std::optional<ToleranceEntry> t) {
        lot.records.push_back(std::move(r));
        lot.numbers.push_back(number);
        lot.tolerances.push_back(std::move(t));
    };
    add(record_of({2026, 12, 6, 5, 54, 7}, "Shaft D25 l17", {"25.010", "24.985", "-0.5"}), 1, kShaft);
    add(record_of({2026, 1, 2, 13, 4, 9}, "Run-out", {"0.013"}), 2, kRunOut);
    add(record_of({2026, 12, 7, 0, 0, 0}, "Gear", {"7"}), 3, std::nullopt);
    add(record_of({2027, 3, 31, 23, 59, 59}, "Shaft D25 l18", {"25.002", "1e-3"}), 5, kShaft);
    return lot;
}

const std::vector<std::string> kStations{"bench-a", "bench-b", "bench-a", "bench-b"};

TEST(Aqdef, ReadsBackEveryKeyValueAndDate) {
    const AqdefFile file = aqdef_file(sample_lot(), kStations, {"tolvane-lot", "4 of 9 records"});
    ASSERT_EQ(file.refusal, "");
    const Dfq dfq = read_dfq(file.bytes);
    ASSERT_EQ(dfq.problem, "");

    EXPECT_EQ(dfq.part, (std::map<std::string, std::string>{
                            {"K0100", "2"}, {"K1001", "tolvane-lot"}, {"K1002", "4 of 9 records"}}));
    using Fields = std::map<std::string, std::string>;
    ASSERT_EQ(dfq.characteristics.size(), 2u);
    EXPECT_EQ(dfq.characteristics.at(1), (Fields{{"K2001", "1"}, {"K2002", "Shaft D25*"}, {"K2004", "0"},
                                                 {"K2101", "25"}, {"K2110", "24.979"},
                                                 {"K2111", "25.012"}}));
    EXPECT_EQ(dfq.characteristics.at(2),
              (Fields{{"K2001", "2"}, {"K2002", "Run-out"}, {"K2004", "0"}, {"K2101", "0.1"}, {"K2111", "0.3"}}));
    for (const auto& [n, c] : dfq.characteristics) {
        if (c.count("K2110") && c.count("K2111")) {
            EXPECT_LT(number(c.at("K2110")), number(c.at("K2111")));
        }
    }

    const auto value = [](const char* v, const char* date, const char* batch, const char* station,
                          const char* number) {
        return Fields{{"K0001", v}, {"K0004", date}, {"K0006", batch}, {"K0009", station}, {"K0012", number}};
    };
    EXPECT_EQ(dfq.values.at(1), (std::vector<Fields>{
                                    value("25.010", "06.12.2026/05:54:07", "Shaft D25 l17", "bench-a", "1"),
                                    value("24.985", "06.12.2026/05:54:07", "Shaft D25 l17", "bench-a", "1"),
                                    value("-0.5", "06.12.2026/05:54:07", "Shaft D25 l17", "bench-a", "1"),
                                    value("25.002", "31.03.2027/23:59:59", "Shaft D25 l18", "bench-b", "2"),
                                    value("0.001", "31.03.2027/23:59:59", "Shaft D25 l18", "bench-b", "2")}));
    EXPECT_EQ(dfq.values.at(2), (std::vector<Fields>{
                                    value("0.013", "02.01.2026/13:04:09", "Run-out", "bench-b", "2")}));
    static const std::regex date(R"((\d\d)\.(\d\d)\.(\d{4})/(\d\d):(\d\d):(\d\d))");
    for (const auto& [n, values] : dfq.values)
        for (const Fields& v : values) {
            EXPECT_TRUE(std::regex_match(v.at("K0004"), date)) << v.at("K0004");
            number(v.at("K0001"));
        }
    EXPECT_EQ(file.warnings, std::vector<std::string>{"1 record matches no tolerance entry and is left out"});
}

// What cannot be written refuses the whole file; what is too long is cut,
// and said once.
TEST(Aqdef, RefusesWhatTheFormatCannotHoldAndCutsWithAWarning) {
    struct Case {
        const char* name;
        std::function<void(Lot&, std::vector<std::string>&, AqdefPart&)> change;
        std::string refusal;  // empty: written
        std::vector<std::string> warnings;
        std::string written;  // a line the file holds
    };
    const std::string left_out = "1 record matches no tolerance entry and is left out";
    const std::vector<Case> cases = {
        {"no time stamp", [](Lot& l, auto&, auto&) { l.records[1].time.reset(); l.records[1].time_text = "#2026-13-40#"; },
         "record 2 has no valid time stamp (\"#2026-13-40#\"), and K0004 needs a date and time", {}, ""},
        {"no number", [](Lot& l, auto&, auto&) { l.records[3].values[1] = {"abc", std::nullopt}; },
         "record 5, value 2 (\"abc\") is no number, and K0001 holds only numbers", {}, ""},
        {"value too long", [](Lot& l, auto&, auto&) { l.records[0].values[0] = {"1e30", Number::parse("1e30")}; },
         "record 1, value 1 (\"1e30\") needs 31 characters in fixed form; K0001 holds 22", {}, ""},
        {"22 characters fit", [](Lot& l, auto&, auto&) {
             l.records[0].values[0] = {"-0.0000123456789012345", Number::parse("-0.0000123456789012345")}; },
         "", {left_out}, "K0001/1 -0.0000123456789012345"},
        {"description outside Windows-1252", [](Lot& l, auto&, auto&) { l.records[1].description = "Run-out \u2460"; },
         "record 2's description \"Run-out \u2460\" holds a character that K0006 (batch number, Windows-1252) "
         "cannot hold", {}, ""},
        {"a line end in a description", [](Lot& l, auto&, auto&) { l.records[1].description = "Run\r\nK0001/2 9"; },
         "record 2's description \"Run\uFFFD\uFFFDK0001/2 9\" holds a character that K0006 (batch number, "
         "Windows-1252) cannot hold", {}, ""},
        {"nothing matched", [](Lot& l, auto&, auto&) { for (auto& t : l.tolerances) t.reset(); },
         "none of the 4 records chosen matches a tolerance entry, and each characteristic of AQDEF is one", {}, ""},
        {"batch cut once per text, in Windows-1252", [](Lot& l, auto&, auto&) {
             l.records[0].description = "Welle \u00d825 Los 17"; },
         "", {left_out, "K0006 (batch number) holds 14 characters: \"Welle \u00d825 Los 17\" is written as "
                        "\"Welle \u00d825 Los \""}, "K0006/1 Welle \xd8" "25 Los "},
        {"part and station cut", [](Lot&, auto& s, AqdefPart& p) {
             p.number = std::string(31, 'P'); s[1] = std::string(256, 's'); },
         "", {left_out, "K1001 (part number) holds 30 characters: \"" + std::string(31, 'P') +
                            "\" is written as \"" + std::string(30, 'P') + "\"",
              "K0009 (text) holds 255 characters: \"" + std::string(256, 's') + "\" is written as \"" +
                  std::string(255, 's') + "\""}, "K0009/2 " + std::string(255, 's')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Lot lot = sample_lot();
        std::vector<std::string> stations = kStations;
        AqdefPart part{"lot", "records"};
        c.change(lot, stations, part);
        const AqdefFile file = aqdef_file(lot, stations, part);
        EXPECT_EQ(file.refusal, c.refusal);
        if (!c.refusal.empty()) {
            EXPECT_EQ(file.bytes, "");
            continue;
        }
        EXPECT_EQ(file.warnings, c.warnings);
        EXPECT_EQ(read_dfq(file.bytes).problem, "");
        EXPECT_NE(file.bytes.find(c.written + "\r\n"), std::string::npos) << file.bytes;
    }
}

}  // namespace
}  // namespace tolvane
