// The CPTD library stand-in, through its country files.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "harness.h"
#include "jqcpt.h"

namespace
{

struct Listing {
    int32_t rc;
    uint32_t count;
    std::vector<CountryEntry> table; // CPTD_MAX_COUNTRIES records and one guard
};

const int32_t GUARD_ID = 0x5a5a5a5a;

Listing list_path(const char *path)
{
    Listing l{0, 12345, std::vector<CountryEntry>(CPTD_MAX_COUNTRIES + 1)};
    l.table.back().id = GUARD_ID;
    if (path)
        setenv("JQCPT_COUNTRY_FILE", path, 1);
    else
        unsetenv("JQCPT_COUNTRY_FILE");
    l.rc = JQcpt_CountryList(l.table.data(), &l.count);
    EXPECT_EQ(l.table.back().id, GUARD_ID) << "wrote past the table";
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
    const std::string corrupted[] = {
        "France",             // no ID
        "12a France",         // not a decimal number
        "+12 France",         // only a minus sign is allowed
        "0x1F France",        //
        "2147483648 France",  // out of range
        "-2147483649 France", //
        "12",                 // no name
        "12    \t ",          //
        "12 Fr\xe9nce",       // not UTF-8
        "12 Fr\xc3",          // cut sequence
        "12 Fr\xc0\xaf",      // overlong
        "12 Fr\xed\xa0\x80",  // an encoded surrogate
        "12 Fr\tance",        // a control character
        "12 Fr\x7f"
        "ance", // DEL
        "12 Fr\xc2\x85"
        "ance",                                            // C1 control
        "12 Fr\x1b[2J",                                    //
        "12 " + std::string(30, 'a'),                      // 30 units
        "12 " + std::string(28, 'a') + "\xf0\x9f\x98\x80", // 30 units with a pair
        "7 Duplicate",                                     // repeats an earlier ID
        "12 " + std::string(5000, 'a'),                    // far too long
    };
    for (const std::string &bad : corrupted) {
        Listing l = list_text("7 Chad\n" + bad + "\n8 Peru\n");
        EXPECT_EQ(l.rc, CPTD_PARTIAL_LIST) << bad;
        ASSERT_EQ(l.count, 2u) << bad;
        EXPECT_EQ(l.table[0].id, 7);
        EXPECT_EQ(l.table[1].id, 8);
        EXPECT_EQ(name_of(l.table[1]), u"Peru");
    }
    Listing none = list_text("x\ny\n");
    EXPECT_EQ(none.rc, CPTD_PARTIAL_LIST);
    EXPECT_EQ(none.count, 0u);
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
    for (const char *path : {"/nonexistent/countries.txt", "/tmp", "/dev/zero"}) {
        Listing l = list_path(path);
        EXPECT_EQ(l.rc, CPTD_FILE_UNREADABLE) << path;
        EXPECT_EQ(l.count, 0u) << path;
    }
    std::string big = temp_file(std::string(2 << 20, '#'));
    Listing l = list_path(big.c_str());
    unlink(big.c_str());
    EXPECT_EQ(l.rc, CPTD_FILE_UNREADABLE);
    EXPECT_EQ(l.count, 0u);
}

TEST(CountryFile, NullArgumentsWriteNothing)
{
    CountryEntry table[CPTD_MAX_COUNTRIES] = {};
    uint32_t count = 77;
    EXPECT_EQ(JQcpt_CountryList(nullptr, &count), CPTD_BAD_ARGUMENT);
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(JQcpt_CountryList(table, nullptr), CPTD_BAD_ARGUMENT);
    EXPECT_EQ(table[0].id, 0);
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

    // An empty variable counts as unset.
    Listing empty = list_path("");
    EXPECT_EQ(empty.rc, CPTD_OK);
    EXPECT_EQ(empty.count, l.count);
}

} // namespace
