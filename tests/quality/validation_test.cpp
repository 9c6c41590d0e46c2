#include "quality/validation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tolvane {
namespace {

std::string read(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<DataSetText> shipped() {
    std::vector<DataSetText> sets;
    for (const auto& entry : std::filesystem::directory_iterator(TOLVANE_VALIDATION_DIR))
        if (entry.path().extension() == ".txt")
            sets.push_back({entry.path().filename().string(), read(entry.path())});
    return sets;
}

TEST(AgreedDigits, AreTheLogRelativeErrorUpToTheReferencesDigits) {
    struct Case {
        double computed, reference;
        int cap;
        double digits;
    };
    for (const Case& c : {Case{1.0001, 1, 15, 4}, Case{299.8524, 299.8524, 15, 15},
                          Case{74.0012, 74.001, 5, 5}, Case{1e-9, 0, 15, 9}, Case{0, 0, 15, 15},
                          Case{5, 1, 15, 0}, Case{0.0092786, 0.0094, 2, 1.8889}}) {
        SCOPED_TRACE(c.computed);
        EXPECT_NEAR(agreed_digits(c.computed, c.reference, c.cap), c.digits, 1e-4);
    }
    for (const auto& [text, digits] : std::vector<std::pair<const char*, int>>{
             {"299.852400000000", 15}, {"0.0094", 2}, {"74.001", 5}, {"-177.435000000000", 15},
             {"0", 1}, {"10000002", 8}, {"1.5E-3", 2}})
        EXPECT_EQ(significant_digits(text), digits) << text;
}

constexpr const char* kSmall =
    "# three values\n"
    "name: Small\n"
    "source: by hand\n"
    "limits: 0 12\n"
    "expect: mean 2 exact\n"
    "expect: sd 1 exact\n"
    "expect: pp 2 need 14\n"
    "data: 1 2\n"
    "3\n";

TEST(DataSets, ReadTheirKeysAndValues) {
    std::string error;
    const auto set = parse_data_set(kSmall, error);
    ASSERT_TRUE(set) << error;
    EXPECT_EQ(set->name, "Small");
    EXPECT_EQ(set->limits, (Limits{0, 12}));
    ASSERT_EQ(set->values.size(), 3u);
    ASSERT_EQ(set->expected.size(), 3u);
    EXPECT_EQ(set->expected[0].digits, 15);
    EXPECT_EQ(set->expected[2].digits, 1);  // "2" has one digit: the need follows it
    EXPECT_EQ(set->expected[2].need, 1);
    const DataSetCheck check = check_data_set(*set);
    EXPECT_TRUE(check.pass());
}

TEST(DataSets, ThatCannotBeReadSayWhere) {
    const std::string head = "name: X\nsource: y\n";
    for (const auto& [text, why] : std::vector<std::pair<std::string, std::string>>{
             {head + "expect: median 2\ndata: 1\n", "line 3: unknown figure 'median'"},
             {head + "expect: mean two\ndata: 1\n", "line 3: 'two' is no number"},
             {head + "expect: mean 2\ndata:\n1\n1,5\n", "line 6: '1,5' is no number"},
             {head + "limits: 1\nexpect: mean 2\ndata: 1\n", "line 3: 'limits:' needs LSL and USL ('-' for none)"},
             {head + "colour: red\n", "line 3: unknown key 'colour'"},
             {head + "expect: mean 2\n", "no data"},
             {"source: y\nexpect: mean 2\ndata: 1\n", "no 'name:'"},
             {head + "subgroup: 2\nexpect: s_bar 1\ndata: 1 2 3\n", "the values do not fill subgroups of 2"}}) {
        std::string error;
        EXPECT_FALSE(parse_data_set(text, error)) << text;
        EXPECT_EQ(error, why);
    }
}

TEST(Validation, EveryShippedDataSetPasses) {
    const std::vector<DataSetText> texts = shipped();
    ASSERT_GE(texts.size(), 10u);
    const Validation v = validate(texts);
    EXPECT_TRUE(v.errors.empty()) << v.errors.front();
    EXPECT_TRUE(v.pass()) << validation_text(v);
    EXPECT_TRUE(summary_line(v).ends_with(" data sets agree: PASS\n")) << summary_line(v);
}

// A certified value altered in its sixth digit: that figure agrees to 6.5
// digits only and fails; the set's other figure still passes, and the
// whole validation fails.
TEST(Validation, AnAlteredReferenceFails) {
    std::string text = read(std::filesystem::path(TOLVANE_VALIDATION_DIR) / "nist_michelso.txt");
    const size_t at = text.find("299.852400000000");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 16, "299.852500000000");
    const std::vector<DataSetText> texts{{"altered", text}};
    const Validation v = validate(texts);
    ASSERT_EQ(v.sets.size(), 1u);
    const auto& figures = v.sets[0].figures;
    ASSERT_EQ(figures.size(), 2u);
    EXPECT_FALSE(figures[0].pass());
    EXPECT_NEAR(figures[0].digits, 6.48, 0.01);
    EXPECT_TRUE(figures[1].pass());
    EXPECT_FALSE(v.pass());
    const std::string out = validation_text(v);
    EXPECT_NE(out.find("pass\n1 of 2 figures of 1 data sets agree: FAIL\n"), std::string::npos) << out;
}

TEST(Validation, AFigureTheProgramDoesNotGiveFailsAsAnUnreadableSet) {
    // Cp needs limits and subgroups: without them there is none.
    const std::vector<DataSetText> texts{
        {"no-cp", "name: A\nsource: b\nexpect: cp 1\ndata: 1 2 3\n"},
        {"broken", "name: A\nsource: b\nexpect: mean 1\n"}};
    const Validation v = validate(texts);
    ASSERT_EQ(v.sets.size(), 1u);
    EXPECT_FALSE(v.sets[0].figures[0].computed);
    EXPECT_FALSE(v.sets[0].pass());
    EXPECT_EQ(v.errors, std::vector<std::string>{"broken: no data"});
    EXPECT_NE(validation_text(v).find("got none"), std::string::npos);
    EXPECT_FALSE(v.pass());
}

TEST(Validation, BarsShowWholeDigits) {
    EXPECT_EQ(digits_bar(4.9, 5), "[####.]");
    EXPECT_EQ(digits_bar(15, 15), "[###############]");
    EXPECT_EQ(digits_bar(0, 2), "[..]");
}

}  // namespace
}  // namespace tolvane
