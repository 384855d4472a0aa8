// The CPTD library stand-in, through its country files.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "jqcpt.h"

namespace
{

struct Listing {
    int32_t rc;
    uint32_t count;
    std::vector<CountryEntry> table; // CPTD_MAX_COUNTRIES records and one guard
    std::string err;                 // what the call wrote to standard error
};

const int32_t GUARD_ID = 0x5a5a5a5a;

// Calls the library with standard error going to a file; what it wrote there.
template <typename Call> std::string stderr_of(Call call)
{
    FILE *file = tmpfile();
    int saved = dup(2);
    if (!file || saved < 0 || dup2(fileno(file), 2) < 0) {
        ADD_FAILURE() << "cannot capture standard error";
        return "";
    }
    call();
    dup2(saved, 2);
    close(saved);
    std::string text;
    rewind(file);
    for (int c; (c = fgetc(file)) != EOF;)
        text += (char)c;
    fclose(file);
    return text;
}

Listing list_path(const char *path)
{
    Listing l{0, 12345, std::vector<CountryEntry>(CPTD_MAX_COUNTRIES + 1), ""};
    l.table.back().id = GUARD_ID;
    if (path)
        setenv("JQCPT_COUNTRY_FILE", path, 1);
    else
        unsetenv("JQCPT_COUNTRY_FILE");
    l.err = stderr_of([&] { l.rc = JQcpt_CountryList(l.table.data(), &l.count); });
    EXPECT_EQ(l.table.back().id, GUARD_ID) << "wrote past the table";
    return l;
}

// The same with JQCPT_DIAGNOSTICS set.
Listing diagnose(const char *path)
{
    setenv("JQCPT_DIAGNOSTICS", "1", 1);
    Listing l = list_path(path);
    unsetenv("JQCPT_DIAGNOSTICS");
    return l;
}

Listing list_text(const std::string &text)
{
    std::string path = temp_file(text);
    Listing l = list_path(path.c_str());
    unlink(path.c_str());
    return l;
}

std::u16string name_of(const CountryEntry &e)
{
    std::u16string s;
    for (int k = 0; k < CPTD_NAME_UNITS && e.name[k]; k++)
        s += (char16_t)e.name[k];
    return s;
}

TEST(CountryFile, ReadsCountriesWithCommentsBlanksBomAndCrlf)
{
    Listing l = list_text("\xEF\xBB\xBF# comment\r\n"
                          "\r\n"
                          "   \t\n"
                          "  # indented comment\n"
                          "004 Afghanistan\r\n"
                          "\t-12\t\tNowhere Land  \t\n"
                          "384 C\xc3\xb4te d'Ivoire\n"
                          "1 \xf0\x9f\x98\x80 Smile"); // no final line end
    ASSERT_EQ(l.rc, CPTD_OK);
    ASSERT_EQ(l.count, 4u);
    EXPECT_EQ(l.table[0].id, 4);
    EXPECT_EQ(name_of(l.table[0]), u"Afghanistan");
    EXPECT_EQ(l.table[1].id, -12);
    EXPECT_EQ(name_of(l.table[1]), u"Nowhere Land");
    EXPECT_EQ(name_of(l.table[2]), u"C\u00f4te d'Ivoire");
    EXPECT_EQ(name_of(l.table[3]), u"\U0001F600 Smile");
    for (int k = (int)name_of(l.table[0]).size(); k < CPTD_NAME_UNITS; k++)
        EXPECT_EQ(l.table[0].name[k], 0) << "name not zero-filled at " << k;
}

TEST(CountryFile, LongestNamesAndIds)
{
    Listing l = list_text("2147483647 " + std::string(29, 'a') + "\n" + "-2147483648 " +
                          std::string(27, 'b') + "\xf0\x9f\x98\x80\n");
    ASSERT_EQ(l.rc, CPTD_OK);
    ASSERT_EQ(l.count, 2u);
    EXPECT_EQ(l.table[0].id, 2147483647);
    EXPECT_EQ(l.table[1].id, INT32_MIN);
    EXPECT_EQ(l.table[0].name[29], 0);
    EXPECT_EQ(l.table[1].name[28], 0xDE00);
    EXPECT_EQ(l.table[1].name[29], 0);
}

TEST(CountryFile, EachCorruptedLineIsSkippedAndReported)
{
    const std::string noId = "no ID, or the ID is not a number",
                      range = "ID outside the 32-bit range", noName = "no name",
                      longName = "name longer than 29 UTF-16 units",
                      invalid = "name not valid UTF-8 or holding a control character",
                      strayCR = "CR not right before the line end";
    const std::pair<std::string, std::string> corrupted[] = {
        {"France", noId},               // no ID
        {"12a France", noId},           // not a decimal number
        {"+12 France", noId},           // only a minus sign is allowed
        {"0x1F France", noId},          //
        {"99999999999x France", noId},  // not a number, whatever its size
        {"99999999999 France", range},  // out of range
        {"2147483648 France", range},   // out of range
        {"-2147483649 France", range},  //
        {"12", noName},                 // no name
        {"12    \t ", noName},          //
        {"12 Fr\xe9nce", invalid},      // not UTF-8
        {"12 Fr\xc3", invalid},         // cut sequence
        {"12 Fr\xc0\xaf", invalid},     // overlong
        {"12 Fr\xe0\x80\xaf", invalid}, // overlong behind a valid lead byte
        {"12 Fr\xed\xa0\x80", invalid}, // an encoded surrogate
        {"12 Fr\tance", invalid},       // a control character
        {"12 Fr\x7f"
         "ance",
         invalid}, // DEL
        {"12 Fr\xc2\x85"
         "ance",
         invalid},                                                     // C1 control
        {"12 Fr\x1b[2J", invalid},                                     //
        {"12 " + std::string(30, 'a'), longName},                      // 30 units
        {"12 " + std::string(28, 'a') + "\xf0\x9f\x98\x80", longName}, // 30 units with a pair
        {"7 Duplicate", "ID repeats line 2"},                          // repeats an earlier ID
        {"12 " + std::string(5000, 'a'), "longer than 1024 bytes"},    // far too long
        // A CR not right before the line end: past the first 1024 bytes, as
        // the 1024th, in a comment
        {std::string(1000, ' ') + "5 Name" + std::string(30, ' ') + "\r\r", strayCR},
        {std::string(1000, ' ') + "5 Name" + std::string(17, ' ') + "\r" + std::string(9, ' '),
         strayCR},
        {"# a CR\r1 Mac line end", strayCR},
    };
    for (const auto &[bad, reason] : corrupted) {
        Listing l = list_text("7 Chad\n" + bad + "\n8 Peru\n");
        EXPECT_EQ(l.rc, CPTD_PARTIAL_LIST) << bad;
        ASSERT_EQ(l.count, 2u) << bad;
        EXPECT_EQ(l.table[0].id, 7);
        EXPECT_EQ(l.table[1].id, 8);
        EXPECT_EQ(name_of(l.table[1]), u"Peru");
        EXPECT_EQ(l.err, "") << "diagnostics are off";
    }
    Listing none = list_text("x\ny\n");
    EXPECT_EQ(none.rc, CPTD_PARTIAL_LIST);
    EXPECT_EQ(none.count, 0u);

    // With diagnostics, one file of them all: why each line is not delivered,
    // a variable the library does not know, and how the call ended.
    // Unknown names in any case; one too long for a message is cut before a
    // character, and marked.
    std::string longVariable = "JQCPT_" + std::string(4084, 'X');
    while (longVariable.size() < 4300)
        longVariable += "\xc3\xa9"; // the cut falls inside one
    const std::string unknown[] = {"JQCPT_COUNTRYFILE", "jqcpt_country_file", longVariable};
    std::string text = "# one line of each kind\n7 Chad\n", path = temp_file("");
    std::string said = "jqcpt: JQCPT_COUNTRYFILE is not a variable of this library\n"
                       "jqcpt: jqcpt_country_file is not a variable of this library\n"
                       "jqcpt: " +
                       longVariable.substr(0, 4090) + "... is not a variable of this library\n";
    int n = 2;
    for (const auto &[bad, reason] : corrupted) {
        text += bad + "\n";
        said += "jqcpt: " + path + ":" + std::to_string(++n) + ": " + reason + "\n";
    }
    for (int k = 1; k <= 99; k++, n++)
        text += std::to_string(1000 + k) + " Land\n";
    text += "8 Peru\n";
    said += "jqcpt: " + path + ":" + std::to_string(++n) + ": more than 100 countries\n";
    said += "jqcpt: " + path + ": 100 countries delivered, code 42701\n";
    std::ofstream(path, std::ios::binary) << text;
    for (const std::string &name : unknown)
        setenv(name.c_str(), "misspelt", 1);
    Listing all = diagnose(path.c_str());
    for (const std::string &name : unknown)
        unsetenv(name.c_str());
    unlink(path.c_str());
    EXPECT_EQ(all.rc, CPTD_PARTIAL_LIST);
    EXPECT_EQ(all.count, 100u);
    EXPECT_EQ(all.err, said);
}

TEST(CountryFile, LongLinesOfBlanksOrCommentsAreFine)
{
    Listing l =
        list_text("# " + std::string(5000, 'c') + "\n" + std::string(5000, ' ') + "\n7 Chad" +
                  std::string(5000, ' ') + "\n" + std::string(5000, ' ') + "# far indented\n");
    EXPECT_EQ(l.rc, CPTD_OK);
    EXPECT_EQ(l.count, 1u);
}

TEST(CountryFile, EmptyFileDefinesNoCountry)
{
    Listing l = list_text("# nothing yet\n");
    EXPECT_EQ(l.rc, CPTD_OK);
    EXPECT_EQ(l.count, 0u);
}

TEST(CountryFile, MoreThanTheTableHoldsDeliversTheFirstHundred)
{
    std::string text;
    for (int k = 1; k <= 130; k++)
        text += std::to_string(k) + " Land " + std::to_string(k) + "\n";
    Listing l = list_text(text);
    EXPECT_EQ(l.rc, CPTD_TOO_MANY_COUNTRIES);
    ASSERT_EQ(l.count, (uint32_t)CPTD_MAX_COUNTRIES);
    EXPECT_EQ(l.table[99].id, 100);
    EXPECT_EQ(name_of(l.table[99]), u"Land 100");

    // A corrupted line among them still says part of the file is lost.
    l = list_text(text + "bad\n");
    EXPECT_EQ(l.rc, CPTD_PARTIAL_LIST);
    EXPECT_EQ(l.count, (uint32_t)CPTD_MAX_COUNTRIES);
}

TEST(CountryFile, MissingOrUnreadableFile)
{
    std::string big = temp_file(std::string(2 << 20, '#'));
    // A control character shows as '?' (C1 ones too), and so does each byte
    // outside a valid UTF-8 sequence: one message, one line.
    const std::string odd = "/nonexistent/new\nline \xc2\x9b[2J\x9b\xc3\xa9\xff\x9b"
                            "2J";
    // Each character the console does not show in a name, '?' here.
    std::string unshown = "/nonexistent/", asked = unshown;
    for (const std::string &c : UNSHOWN) {
        unshown += c;
        asked += "?";
    }
    const struct {
        std::string path, shown, reason;
    } unusable[] = {
        {"/nonexistent/countries.txt", "", "No such file or directory"},
        {odd, "/nonexistent/new?line ?[2J?\xc3\xa9??2J", "No such file or directory"},
        {unshown + SHOWN_MARKS, asked + SHOWN_MARKS, "No such file or directory"},
        {"/tmp", "", "not a regular file"},
        {"/dev/zero", "", "not a regular file"},
        {big, "", "larger than 1 MiB"},
    };
    for (const auto &[path, odd_shown, reason] : unusable) {
        Listing l = list_path(path.c_str());
        EXPECT_EQ(l.rc, CPTD_FILE_UNREADABLE) << path;
        EXPECT_EQ(l.count, 0u) << path;
        EXPECT_EQ(l.err, "") << path;
        const std::string &shown = odd_shown.empty() ? path : odd_shown;
        EXPECT_EQ(diagnose(path.c_str()).err, "jqcpt: " + shown + ": " + reason + "\njqcpt: " +
                                                  shown + ": 0 countries delivered, code 42703\n");
    }
    unlink(big.c_str());
}

TEST(CountryFile, NullArgumentsWriteNothing)
{
    CountryEntry table[CPTD_MAX_COUNTRIES] = {};
    uint32_t count = 77;
    EXPECT_EQ(JQcpt_CountryList(nullptr, &count), CPTD_BAD_ARGUMENT);
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(JQcpt_CountryList(table, nullptr), CPTD_BAD_ARGUMENT);
    EXPECT_EQ(table[0].id, 0);

    setenv("JQCPT_DIAGNOSTICS", "1", 1);
    EXPECT_EQ(stderr_of([&] { JQcpt_CountryList(nullptr, &count); }),
              "jqcpt: no file read, a null table or count: 0 countries delivered, code 42702\n");
    unsetenv("JQCPT_DIAGNOSTICS");
}

TEST(CountryFile, ShippedFileIsFoundBesideTheLibrary)
{
    Listing l = list_path(nullptr);
    ASSERT_EQ(l.rc, CPTD_OK);
    EXPECT_GE(l.count, 30u);
    EXPECT_LE(l.count, (uint32_t)CPTD_MAX_COUNTRIES);
    bool ivoire = false;
    for (uint32_t k = 0; k < l.count; k++)
        ivoire = ivoire || (l.table[k].id == 384 && name_of(l.table[k]) == u"C\u00f4te d'Ivoire");
    EXPECT_TRUE(ivoire);

    // Diagnostics name the file found.
    std::string said = diagnose(nullptr).err;
    std::string end = ": " + std::to_string(l.count) + " countries delivered, code 0\n";
    ASSERT_GT(said.size(), end.size());
    EXPECT_EQ(said.substr(said.size() - end.size()), end);
    std::string path = said.substr(7, said.size() - end.size() - 7);
    EXPECT_EQ(said.rfind("jqcpt: /", 0), 0u) << said;
    EXPECT_EQ(list_path(path.c_str()).count, l.count) << path;

    // An empty variable counts as unset.
    setenv("JQCPT_DIAGNOSTICS", "", 1);
    Listing empty = list_path("");
    unsetenv("JQCPT_DIAGNOSTICS");
    EXPECT_EQ(empty.rc, CPTD_OK);
    EXPECT_EQ(empty.count, l.count);
    EXPECT_EQ(empty.err, "");
}

} // namespace
