// Names a signed manifest gives, staging names and the shares the progress dialog shows.
#include <gtest/gtest.h>

#include "packages/entry_names.h"
#include "protocol/download.h"
#include "ui/progress_reporting.h"

namespace vaultaide {
namespace {

TEST(EntryNames, OnlyPlainNamesInsideTheInstallationAreTaken) {
    const struct {
        const char* path;
        const char* fileName;
        bool safe;
    } cases[] = {
        {"", "readme.txt", true},
        {"Data", "说明.txt", true},
        {"Plugins", "\x81\x5C.dll", true},  // a GBK character whose second byte is "\"
        {"", "a.b.c", true},
        {"", "console.dll", true},
        {"", "COM0.dll", true},
        {"..", "evil.dll", false},
        {".", "evil.dll", false},
        {"Data\\Sub", "a.dll", false},
        {"Data/Sub", "a.dll", false},
        {"", "..\\evil.dll", false},
        {"", "a..b.dll", true},
        {"", "...", false},
        {"Data. ", "a.dll", false},
        {"", "a.dll ", false},
        {"", "C:evil.dll", false},
        {"", "a\tb", false},
        {"", "", false},
        {"", "NUL", false},
        {"", "con.txt", false},
        {"", "Lpt9.log", false},
        {"aux", "a.dll", false},
        {"", "~va.tmp", false},
        {"Data", "~VA.Tmp. ", false},
        {"~va.tmp", "a.dll", false},
        {"", "~va.tmp.dll", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isSafeEntry(c.path, c.fileName), c.safe) << c.path << "|" << c.fileName;
}

TEST(EntryNames, StagingStaysInTheTargetsFolderUnderAShortName) {
    EXPECT_EQ(stagingPathOf("C:\\Assist\\Data\\a-long-file-name.dat"), "C:\\Assist\\Data\\~va.tmp");
    EXPECT_EQ(stagingPathOf("C:\\\x81\x5C\\a.dat"), "C:\\\x81\x5C\\~va.tmp");
    EXPECT_EQ(stagingPathOf("Digest.xml"), "~va.tmp");
}

TEST(EntryNames, CompletedUnitsShowTheirShareRoundedAsDividedFirst) {
    EXPECT_EQ(formatPercent(shareInPercent(23, 160)), "14.37%");
    EXPECT_EQ(formatPercent(percentOf(23, 160)), "14.38%");
    EXPECT_EQ(formatPercent(shareInPercent(1, 0)), "0.00%");
}

}  // namespace
}  // namespace vaultaide
