// The CSV reader's records and the date forms the import accepts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/csvimport.h"
#include "data/csvreader.h"

namespace {

// Every record of text as fields joined by "|", records by "/", with each record's line.
std::string Records(const std::string &input)
{
    std::vector<char> text(input.begin(), input.end());
    text.push_back(0);
    CsvReader reader;
    CsvBegin(&reader, text.data(), input.size());
    std::string out;
    char *fields[CSV_MAX_FIELDS];
    uint32_t count, line;
    while (CsvNextRecord(&reader, fields, &count, &line)) {
        out += std::to_string(line) + ":";
        for (uint32_t i = 0; i < count; i++)
            out += (i ? "|" : "") + std::string(fields[i]);
        out += "/";
    }
    if (reader.openQuoteLine)
        out += "open@" + std::to_string(reader.openQuoteLine);
    return out;
}

TEST(CsvReader, Records)
{
    static const struct {
        const char *input, *records;
    } cases[] = {
        {"a,b\nc,d\n", "1:a|b/2:c|d/"},
        {"a,b\r\nc,d", "1:a|b/2:c|d/"},                        // CR LF, no final line end
        {"\"a,b\",\"say \"\"hi\"\"\"\n", "1:a,b|say \"hi\"/"},  // quotes, doubled quotes
        {"\"two\nlines\",x\ny\n", "1:two\nlines|x/3:y/"},       // a line end inside quotes
        {" a , b \n\n  \nc\r\r\nd\n", "1:a|b/4:c/6:d/"},        // blanks, blank lines, CR
        {"a,,\n", "1:a||/"},                                    // empty fields
        {"Date;Close\n1;2,5\n", "1:Date|Close/2:1|2,5/"},       // ';' where no comma is
        {"Date\tClose\n1\t2\n", "1:Date|Close/2:1|2/"},         // tabs
        {"\"open,1\n2\n", "1:open,1\n2\n/open@1"},              // a quote that never closes
    };
    for (const auto &c : cases)
        EXPECT_EQ(Records(c.input), c.records) << c.input;
}

// The vendors' ISO, US, "Mar 15, 2024" and "15-Mar-2024" forms and a month out of range
// are imported whole (with a byte-order mark) by the import's integration test.
TEST(CsvImport, DateForms)
{
    static const struct {
        const char *text;
        uint32_t date;  // year * 10000 + month * 100 + day; 0: not a date
    } cases[] = {
        {"2024/3/5", 20240305},          {"2024-03-15T16:00:00Z", 20240315},
        {"2024-03-15 00:00:00", 20240315}, {"20240315", 20240315},
        {"3/15/24", 20240315},           {"12/31/60", 19601231},
        {"01/02/59", 20590102},          {"15.03.2024", 20240315},
        {"15 march 2024", 20240315},     {"September 1 1999", 19990901},
        {"2024-02-29", 20240229},        {"2023-02-29", 0},  // not a leap year
        {"15/03/2024", 0},  // slashes put the month first
        {"2024-03", 0},     {"Foo 15, 2024", 0}, {"03/15/024", 0}, {"2024-03-15x", 0}, {"", 0},
    };
    for (const auto &c : cases) {
        uint32_t y = 99, m = 99, d = 99;  // a date taken without them set shows as 999999
        int ok = ParseImportDate(c.text, &y, &m, &d);
        EXPECT_EQ(ok ? y * 10000 + m * 100 + d : 0u, c.date) << c.text;
    }
}

}  // namespace
