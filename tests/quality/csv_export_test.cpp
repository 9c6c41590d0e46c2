#include "quality/csv_export.h"

#include <gtest/gtest.h>

#include <charconv>
#include <locale>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using Row = std::vector<std::string>;

// RFC 4180 read back: quoted fields with doubled quotes, CRLF line ends.
std::vector<Row> parse_csv(const std::string& text) {
    std::vector<Row> rows(1, Row(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string& field = rows.back().back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            rows.emplace_back(1);
        } else {
            field += c;
        }
    }
    rows.pop_back();  // after the last line end
    return rows;
}

TEST(CsvExport, ReadsBackTheSameNumbersAndTextsInAGermanLocale) {
    // A German decimal comma for everything that formats through the
    // global locale (glibc's de_DE is not generated on every machine).
    struct Comma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale before = std::locale::global(std::locale(std::locale::classic(), new Comma));
    Record record;
    record.time = LocalDateTime{2026, 12, 6, 5, 54, 7};
    record.description = "=Welle \"D25\", Los 7";
    for (const char* text : {"25.012", "24.978", "abc", "1e-7", "25", "nan", "inf", "-inf"})
        record.values.push_back({text, Number::parse(text)});
    ASSERT_EQ(record.values.size(), 8u);
    std::string csv = export_csv_header();
    append_export_rows(csv, record, 17, ToleranceEntry{"=Welle*", 25.0, -0.021, 0.0});
    std::locale::global(before);

    const std::vector<Row> rows = parse_csv(csv);
    ASSERT_EQ(rows.size(), 9u) << csv;
    EXPECT_EQ(rows[0], (Row{"time", "description", "record_number", "value_number", "value",
                            "deviation", "verdict"}));
    EXPECT_EQ(rows[1], (Row{"2026-12-06T05:54:07", "\t=Welle \"D25\", Los 7", "17", "1", "25.012",
                            "0.012", "HIGH"}));
    EXPECT_EQ(rows[2][5], "-0.022");
    EXPECT_EQ(rows[2][6], "LOW");
    // No text where a number belongs, whatever the field holds.
    for (const size_t i : {3, 6, 7, 8})
        EXPECT_EQ(rows[i], (Row{"2026-12-06T05:54:07", "\t=Welle \"D25\", Los 7", "17",
                                std::to_string(i), "", "", "not a number"}));
    EXPECT_EQ(rows[5][6], "OK");
    for (const size_t i : {1, 2, 4, 5}) {
        double value = 0;
        const std::string& text = rows[i][4];
        EXPECT_EQ(std::from_chars(text.data(), text.data() + text.size(), value).ec, std::errc{});
        EXPECT_EQ(value, record.values[i - 1].number->value());
    }
}

TEST(CsvExport, GuardsFormulasAndQuotesOnlyWhereNeeded) {
    EXPECT_EQ(export_text_field("Shaft D25"), "Shaft D25");
    EXPECT_EQ(export_text_field("a,b"), "\"a,b\"");
    for (const char* formula : {"=1+1", "+12", "-12", "@SUM(A1)"})
        EXPECT_EQ(export_text_field(formula), "\"\t" + std::string(formula) + "\"");
    EXPECT_EQ(export_text_field(""), "");
    // Control characters, typed by hand into the file, each become U+FFFD;
    // other characters stay, a no-break space (C2 A0) too.
    const std::string mark = "\xEF\xBF\xBD";
    for (const auto& [text, field] : std::initializer_list<std::pair<std::string, std::string>>{
             {std::string("Shaft\0D25", 9), "Shaft" + mark + "D25"},
             {"a\r\nb\tc\x7F", "a" + mark + mark + "b" + mark + "c" + mark},
             {"\x1B[31m\xC2\x81\xC2\x9F", mark + "[31m" + mark + mark},
             {"W\xC3\xBCrfel \xE2\x82\xAC\xC2\xA0", "W\xC3\xBCrfel \xE2\x82\xAC\xC2\xA0"},
             {"\n=1+1,x", "\"" + mark + "=1+1,x\""},
             {"=\r", "\"\t=" + mark + "\""},
         }) {
        EXPECT_EQ(export_text_field(text), field);
        EXPECT_EQ(printable_text(text).find_first_of(std::string("\r\n\t\0", 4)), std::string::npos);
    }
}

TEST(CsvExport, ChoosesRecordsByDescriptionAndTime) {
    const auto at = [](const char* text) { return parse_record(text); };
    RecordChoice choice{"Shaft*", parse_iso_time("2026-12-06", false),
                        parse_iso_time("2026-12-06", true)};
    EXPECT_TRUE(choice.chooses(at("#2026-12-06 23:59:59#,\"Shaft 7\",1\r\n")));
    EXPECT_FALSE(choice.chooses(at("#2026-12-07 00:00:00#,\"Shaft 7\",1\r\n")));
    EXPECT_FALSE(choice.chooses(at("#2026-12-06 10:00:00#,\"Hub\",1\r\n")));
    EXPECT_FALSE(choice.chooses(at("\"garbage\",\"Shaft 7\",1\r\n")));
    EXPECT_FALSE(choice.time_range_empty());
    // One minute, given as the same time twice, is a range; a day before its
    // start is none.
    EXPECT_FALSE((RecordChoice{{}, parse_iso_time("2026-12-06T05:54", false),
                               parse_iso_time("2026-12-06T05:54", true)}.time_range_empty()));
    EXPECT_TRUE((RecordChoice{{}, parse_iso_time("2026-12-06T00:00:01", false),
                              parse_iso_time("2026-12-05", true)}.time_range_empty()));
    EXPECT_EQ(parse_iso_time("2026-12-06T05:54", true), (LocalDateTime{2026, 12, 6, 5, 54, 59}));
    for (const char* bad : {"2026-02-29", "2026-13-01", "2026-12-06T24:00", "06.12.2026", "2026-12-06X"})
        EXPECT_FALSE(parse_iso_time(bad, false)) << bad;
}

// A lot has a tolerance of its own only while every record has the same
// limits, however each entry writes them; its CSV gives each record's number
// in the file and judges each by the record's own tolerance.
TEST(CsvExport, ALotKeepsEachRecordsNumberAndTolerance) {
    const ToleranceEntry nominal{"Shaft*", 25.0, -0.5, 0.5};
    const ToleranceEntry limits{"Shaft 7", std::nullopt, 24.5, 25.5};
    const ToleranceEntry narrow{"Shaft 8", std::nullopt, 24.9, 25.1};
    struct Case {
        std::vector<std::optional<ToleranceEntry>> tolerances;
        bool mixed;
        std::optional<ToleranceEntry> common;
    };
    for (const Case& c : std::vector<Case>{{{nominal, limits}, false, nominal},
                                          {{limits, narrow}, true, std::nullopt},
                                          {{std::nullopt, nominal}, true, std::nullopt},
                                          {{std::nullopt, std::nullopt}, false, std::nullopt}}) {
        Lot lot;
        lot.records = {parse_record("#2026-12-06 05:54:07#,\"Shaft 7\",25.2,24.8\r\n"),
                       parse_record("#2026-12-06 06:00:00#,\"Shaft 8\",25.3\r\n")};
        lot.numbers = {4, 9};
        lot.tolerances = c.tolerances;
        complete_lot(lot);
        EXPECT_EQ(lot.mixed_tolerances, c.mixed);
        EXPECT_EQ(lot.tolerance, c.common);
        EXPECT_EQ(lot.statistics.records, 2u);
        EXPECT_EQ(lot.statistics.overall.has_limits, c.common.has_value());
        const std::vector<Row> rows = parse_csv(lot_csv(lot));
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[1][2], "4");
        EXPECT_EQ(rows[3][2], "9");
        EXPECT_EQ(rows[3][6], !c.tolerances[1] ? "" : c.tolerances[1] == narrow ? "HIGH" : "OK");
    }
}

}  // namespace
}  // namespace tolvane
