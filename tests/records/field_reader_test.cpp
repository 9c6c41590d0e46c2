#include "records/field_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane {
namespace {

std::vector<std::string> fields(std::string_view bytes) {
    std::vector<std::string> out;
    FieldReader reader(bytes);
    while (!reader.at_end())
        out.push_back(reader.next_field().text);
    return out;
}

using Rows = std::vector<std::string>;

TEST(FieldReader, OneRowPerLineOfAWrittenFile) {
    EXPECT_EQ(fields("\"Backup Data\"\r\n#2026-12-06 05:54:07#\r\n1.23\r\n45.6\r\n700\r\n"),
              (Rows{"Backup Data", "#2026-12-06 05:54:07#", "1.23", "45.6", "700"}));
    EXPECT_EQ(fields(""), Rows{});
}

TEST(FieldReader, LineEndsAreCrLfCrOrLf) {
    EXPECT_EQ(fields("a\rb\nc\r\nd"), (Rows{"a", "b", "c", "d"}));
    EXPECT_EQ(fields("a\n\r\nb\r\n"), (Rows{"a", "", "b"}));  // empty line, empty field
}

TEST(FieldReader, BlanksBeforeAFieldAreSkippedOthersKept) {
    EXPECT_EQ(fields("   95 \r\n"), (Rows{"95 "}));
    EXPECT_EQ(fields("\t 2\r\n"), (Rows{"2"}));
    EXPECT_EQ(fields("   \r\n"), (Rows{""}));
}

TEST(FieldReader, CommaEndsAnUnquotedField) {
    EXPECT_EQ(fields("2,7\r\n3\r\n"), (Rows{"2", "7", "3"}));
    EXPECT_EQ(fields("a,b\r\n,c,\r\nd"), (Rows{"a", "b", "", "c", "", "d"}));
}

TEST(FieldReader, QuotedFieldsKeepCommasAndQuotes) {
    EXPECT_EQ(fields("\"run 2, left arm\"\r\n5\r\n"), (Rows{"run 2, left arm", "5"}));
    EXPECT_EQ(fields("\"say \"hi\" now\"\r\n"), (Rows{"say \"hi\" now"}));
    EXPECT_EQ(fields("\"\"\"\"\r\n"), (Rows{"\"\""}));
    EXPECT_EQ(fields("\"   \"\r\n"), (Rows{"   "}));
    EXPECT_EQ(fields("\"\"\r\n"), (Rows{""}));
    // After the closing quote the rest of the line up to a comma is skipped.
    EXPECT_EQ(fields("\"a\" junk\r\nb\r\n"), (Rows{"a", "b"}));
    EXPECT_EQ(fields("\"a\" junk,b\r\n"), (Rows{"a", "b"}));
    // No closing quote: the rest of the line.
    EXPECT_EQ(fields("\"open\r\nb\r\n"), (Rows{"open", "b"}));
    EXPECT_EQ(fields("\""), (Rows{""}));
}

TEST(FieldReader, ReportsWhetherAFieldWasQuoted) {
    FieldReader reader("\"#1#\"\r\n#1#\r\n");
    EXPECT_TRUE(reader.next_field().quoted);
    EXPECT_FALSE(reader.next_field().quoted);
    EXPECT_TRUE(reader.at_end());
}

TEST(FieldReader, LastLineWithoutLineEnd) {
    EXPECT_EQ(fields("a\r\nb"), (Rows{"a", "b"}));
    EXPECT_EQ(fields("a\r"), (Rows{"a"}));
}

}  // namespace
}  // namespace tolvane
