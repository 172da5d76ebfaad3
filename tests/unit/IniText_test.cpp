// The settings file held as text: read and changed as the profile functions
// would, with everything else in the file kept as it was.
#include "base/IniText.h"

#include <gtest/gtest.h>

namespace {

const std::string FILE_TEXT =
    "; written by hand\r\n"
    "[Main]\r\n"
    "File Number=2\r\n"
    "\r\n"
    "[Metrics]\r\n"
    "Folder = C:\\exporter\\textfile \r\n"
    "[Setup1]\r\n"
    "POS Index=POS1\r\n"
    "Password=\"quoted pw\"\r\n"
    "[setup1]\r\n"
    "POS Index=shadowed\r\n";

}  // namespace

TEST(IniText, ReadsAsTheProfileFunctionsDo)
{
    CIniText file(FILE_TEXT);
    const struct {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Main", "File Number", "2"},
        {"main", "file number", "2"},                           // names without regard to case
        {"Metrics", "Folder", "C:\\exporter\\textfile"},        // blanks around the value trimmed
        {"Setup1", "Password", "quoted pw"},                    // quotes taken off
        {"SETUP1", "POS Index", "POS1"},                        // the first of duplicate sections
        {"Setup2", "POS Index", "<none>"},                      // a missing section
        {"Main", "Missing", "<none>"},                          // a missing key
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, file.GetString(c.section, c.key, "<none>", 256)) << c.section << "/" << c.key;
    EXPECT_EQ(2, file.GetInt("Main", "File Number", -1));
    EXPECT_EQ(-1, file.GetInt("Main", "Missing", -1));
    EXPECT_EQ("PO", file.GetString("Setup1", "POS Index", "", 3)) << "cut as a buffer of that size would";
}

TEST(IniText, WritesChangeOnlyWhatTheyName)
{
    CIniText file(FILE_TEXT);
    EXPECT_TRUE(file.WriteString("main", "FILE NUMBER", "3"));    // changed where it is, spelt as it was
    EXPECT_TRUE(file.WriteString("Main", "New Key", "v"));        // after the section's last key
    EXPECT_TRUE(file.WriteString("Setup1", "Port", "COM5"));      // into the first of the duplicates
    EXPECT_TRUE(file.WriteString("Setup2", "POS Index", "POS2")); // a new section at the end
    EXPECT_EQ("; written by hand\r\n"
              "[Main]\r\n"
              "File Number=3\r\n"
              "New Key=v\r\n"
              "\r\n"
              "[Metrics]\r\n"
              "Folder = C:\\exporter\\textfile \r\n"
              "[Setup1]\r\n"
              "POS Index=POS1\r\n"
              "Password=\"quoted pw\"\r\n"
              "Port=COM5\r\n"
              "[setup1]\r\n"
              "POS Index=shadowed\r\n"
              "[Setup2]\r\n"
              "POS Index=POS2\r\n",
              file.Text());
}

TEST(IniText, DeletesAWholeSectionAndReadsLfFilesAndEmptyOnes)
{
    CIniText file(FILE_TEXT);
    EXPECT_TRUE(file.DeleteSection("metrics"));
    EXPECT_FALSE(file.DeleteSection("Metrics"));
    EXPECT_EQ("<none>", file.GetString("Metrics", "Folder", "<none>", 256));
    EXPECT_EQ("2", file.GetString("Main", "File Number", "", 256));
    EXPECT_EQ("POS1", file.GetString("Setup1", "POS Index", "", 256));

    CIniText unixLines("[A]\nk=1\n");
    EXPECT_EQ("1", unixLines.GetString("A", "k", "", 16));
    EXPECT_EQ("[A]\r\nk=1\r\n", unixLines.Text());

    CIniText empty;
    EXPECT_EQ("", empty.Text());
    empty.WriteString("Main", "File Number", "0");
    EXPECT_EQ("[Main]\r\nFile Number=0\r\n", empty.Text());
}
