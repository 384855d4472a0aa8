// The utility as shipped: its real library, its country file, its binary.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "harness.h"

namespace
{

TEST(Shipped, ListsTheShippedCountriesInUtf8WhateverTheLocale)
{
    for (const char *locale : {"LC_ALL=C", "LC_ALL=POSIX", "LANG=en_US.ISO-8859-1"}) {
        Session r = run_utility("1\n\n99\n", {locale});
        EXPECT_EQ(r.status, 0) << locale;
        for (const char *row : {"     384                 C\xc3\xb4te d'Ivoire\n",
                                "     248                 \xc3\x85land Islands\n",
                                "     531                       Cura\xc3\xa7"
                                "ao\n",
                                "     638                       R\xc3\xa9union\n",
                                "     678         S\xc3\xa3o Tom\xc3\xa9 and Pr\xc3\xadncipe\n",
                                "     792                       T\xc3\xbcrkiye\n"})
            EXPECT_NE(r.out.find(row), std::string::npos) << locale << ": " << row;
        EXPECT_EQ(r.out.rfind(MENU + TABLE_HEAD, 0), 0u);
        EXPECT_EQ(r.out.find("\033"), std::string::npos) << "clears a pipe";
    }
}

TEST(Shipped, CountryFileVariableAndMissingFile)
{
    std::string path = temp_file("1 Utopia\n");
    Session r = run_utility("1\n\n99\n", {"JQCPT_COUNTRY_FILE=" + host_path(path)});
    unlink(path.c_str());
    EXPECT_EQ(r.out, MENU + TABLE_HEAD + row(1, "Utopia", 6) + PAUSE + MENU + EXIT);
    EXPECT_EQ(r.status, 0);

    r = run_utility("1\n\n99\n", {"JQCPT_COUNTRY_FILE=" + host_path("/nonexistent")});
    EXPECT_EQ(r.out,
              MENU + "\nAn Error Has Occurred ... Return code = 42703 \n\n" + PAUSE + MENU + EXIT);
    EXPECT_EQ(r.status, 1);

    // A misspelt variable is named, once, though no diagnostics are asked for.
    r = run_utility("1\n\n1\n\n99\n", {"JQCPT_COUNTRYFILE=mine.txt"});
    EXPECT_EQ(r.err, "jqcpt: JQCPT_COUNTRYFILE is not a variable of this library\n");
}

TEST(Shipped, ShortReadsOfTheCountryFileLoseNothing)
{
    if (getenv("JQCPT_TEST_RUNNER"))
        GTEST_SKIP() << "reads are capped by preloading into a native build";
    Session whole = run_utility("1\n\n99\n", {});
    const char *asan = getenv("ASAN_OPTIONS");
    // the cap comes before the sanitizer's runtime, and that is meant
    const std::string asanOptions =
        std::string("ASAN_OPTIONS=verify_asan_link_order=0:") + (asan ? asan : "");
    Session capped =
        run_utility("1\n\n99\n", {std::string("LD_PRELOAD=") + SHORT_READS_LIB, asanOptions});
    EXPECT_EQ(capped.status, 0);
    EXPECT_NE(whole.out.find("Viet Nam"), std::string::npos);
    EXPECT_EQ(capped.out, whole.out);

    // A file that grew after fstat gave its size is read to its end, and a
    // line cut by a read is never taken whole. Reads of 100 bytes: the first
    // ends inside "3 United Kingdom", the second at a line end (where a file
    // of 200 bytes, as fstat gave it, would end).
    const std::string text = "1 Utopia\n2 Atlantis\n# " + std::string(67, '-') +
                             "\n3 United Kingdom\n# " + std::string(90, '-') + "\n4 Zulu\n";
    ASSERT_EQ(text.substr(90, 10), "3 United K");
    ASSERT_EQ(text[199], '\n');
    const std::string grows = std::string("LD_PRELOAD=") + SHORT_READS_LIB + ":" + GROWN_FILE_LIB;
    std::string path = temp_file(text), big = temp_file(std::string(2 << 20, '#'));
    for (const char *size : {"100", "150", "200"}) {
        Session grown = run_utility("1\n\n99\n", {grows, asanOptions, "JQCPT_COUNTRY_FILE=" + path,
                                                  std::string("GROWN_FILE_BYTES=") + size});
        EXPECT_EQ(grown.out, MENU + TABLE_HEAD + row(1, "Utopia", 6) + row(2, "Atlantis", 8) +
                                 row(3, "United Kingdom", 14) + row(4, "Zulu", 4) + PAUSE + MENU +
                                 EXIT)
            << "fstat gave " << size << " bytes";
        EXPECT_EQ(grown.status, 0);
    }
    // The limit of 1 MiB holds on what is read.
    Session tooBig = run_utility(
        "1\n\n99\n", {grows, asanOptions, "JQCPT_COUNTRY_FILE=" + big, "GROWN_FILE_BYTES=100"});
    unlink(path.c_str());
    unlink(big.c_str());
    EXPECT_EQ(tooBig.out,
              MENU + "\nAn Error Has Occurred ... Return code = 42703 \n\n" + PAUSE + MENU + EXIT);
}

// The files named by the identification strings in the image at path, as
// often as each is there.
std::multiset<std::string> idents_of(const std::string &path, std::string *image)
{
    std::ifstream in(path, std::ios::binary);
    image->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    EXPECT_FALSE(image->empty()) << path;
    const std::regex ident(R"(@\(#\) \S+  \d{4}-\d\d-\d\d \d\d:\d\d:\d\d   (\S+) /\S+/\d+ ~)");
    std::multiset<std::string> files;
    for (size_t at = image->find("@(#) "); at != std::string::npos;
         at = image->find("@(#) ", at + 1)) {
        std::string text(image->c_str() + at);
        std::smatch m;
        EXPECT_TRUE(std::regex_match(text, m, ident)) << text;
        files.insert(m[1]);
    }
    return files;
}

TEST(Shipped, BinaryCarriesItsIdentificationVersionAndImmediateBinding)
{
    // Each string once, though several units include each header.
    std::string image, library = JQCPT_LIBRARY_PATH;
    if (getenv("JQCPT_TEST_RUNNER"))
        library = utility_path().substr(0, utility_path().rfind('/') + 1) + "jqcpt.dll";
    EXPECT_EQ(idents_of(library, &image),
              (std::multiset<std::string>{"jqcpt.cpp", "jqcpt.h", "jqcpttyp.h", "jqsys.h"}));
    EXPECT_EQ(idents_of(utility_path(), &image),
              (std::multiset<std::string>{"jqcpttst.cpp", "jqcpt.h", "jqcpttyp.h", "jqsys.h"}));
    EXPECT_NE(image.find("FileDescription: CPTD Test Tool; FileVersion: 02.50.06.14; "
                         "InternalName: jqcpttst"),
              std::string::npos);

    if (getenv("JQCPT_TEST_RUNNER"))
        return; // a Windows image binds its imports at load time anyway
    // A library without JQcpt_CountryList must stop the program before the menu.
    FILE *readelf = popen(("readelf -d '" + utility_path() + "'").c_str(), "r");
    ASSERT_NE(readelf, nullptr);
    std::string dynamic;
    for (int c; (c = fgetc(readelf)) != EOF;)
        dynamic += (char)c;
    EXPECT_EQ(pclose(readelf), 0) << "readelf (Debian package binutils)";
    EXPECT_TRUE(std::regex_search(dynamic, std::regex(R"(\(FLAGS_1\) +Flags:.* NOW\b)")))
        << dynamic;
}

} // namespace
