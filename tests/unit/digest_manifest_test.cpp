#include "packages/digest_manifest.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "fakes/recording_progress_view.h"
#include "packages/install_job.h"

namespace vaultaide {
namespace {

using fakes::FakeMachine;

std::string fileElement(const std::string& path, const std::string& name, const std::string& d) {
    return "<File Path=\"" + path + "\" FileName=\"" + name + "\" Digest=\"" + d + "\"/>";
}

TEST(ManifestNames, SetsAndBankCodes) {
    EXPECT_EQ(manifestFileName(1, 0x810), "Digest.xml");
    EXPECT_EQ(manifestFileName(2, 0x810), "Digest_n.xml");
    EXPECT_EQ(manifestFileName(3, 0x810), "Digest_810.xml");
    EXPECT_EQ(manifestFileName(3, 0x5), "Digest_005.xml");
    EXPECT_EQ(manifestFileName(4, 0x810), "");
}

TEST(DigestManifestReader, CommentsBetweenEntriesAndSearchOrder) {
    FakeMachine m;
    DigestManifest manifest(m.text);
    ASSERT_TRUE(manifest.loadText(
        "<?xml version=\"1.0\" encoding=\"GB2312\"?><Digest><FileInfo>" +
        fileElement("Data", "a.dat", "A") + "<!-- between -->" + fileElement("", "b.exe", "B") +
        "text" + fileElement("Tools", "c.dll", "C") + "</FileInfo><Sign>x</Sign></Digest>"));
    EXPECT_EQ(manifest.entryCount(), 3);
    EXPECT_EQ(manifest.readAttribute("File", "FileName", 2), "b.exe");
    EXPECT_EQ(manifest.matchCount, 2);
    EXPECT_EQ(manifest.readAttribute("File", "Path", 2), "");
    EXPECT_EQ(manifest.readAttribute("File", "Missing", 1), "");
    EXPECT_EQ(manifest.readAttribute("File", "Path", 4), "");
    EXPECT_EQ(manifest.findElement("File", 4), nullptr);
    EXPECT_EQ(manifest.matchCount, 3);
    EXPECT_EQ(manifest.countChildElements("", 1), 2);  // FileInfo and Sign
    EXPECT_EQ(manifest.countChildElements("Sign", 1), 0);
    EXPECT_EQ(manifest.countChildElements("file", 1), 0);  // names match case-sensitively
    const auto entries = manifest.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].path, "Tools");
    EXPECT_EQ(entries[2].digest, "C");
}

TEST(DigestManifestReader, TwoFileInfoElements) {
    FakeMachine m;
    DigestManifest manifest(m.text);
    ASSERT_TRUE(manifest.loadText("<D><FileInfo>" + fileElement("", "1", "a") +
                                  fileElement("", "2", "b") + "</FileInfo><FileInfo>" +
                                  fileElement("", "3", "c") + fileElement("", "4", "d") +
                                  "</FileInfo></D>"));
    // Only the first FileInfo's children count; entries come from File elements across both.
    EXPECT_EQ(manifest.entryCount(), 2);
    ASSERT_TRUE(manifest.loadText("<D><FileInfo>" + fileElement("", "1", "a") + "<Other/>" +
                                  "</FileInfo><FileInfo>" + fileElement("", "3", "c") +
                                  "</FileInfo></D>"));
    const auto entries = manifest.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].fileName, "1");
    EXPECT_EQ(entries[1].fileName, "3");
    // Fewer File elements than children: the missing entries read as empty texts.
    ASSERT_TRUE(manifest.loadText("<D><FileInfo><Other/><Other/></FileInfo></D>"));
    EXPECT_EQ(manifest.entries().size(), 2u);
    EXPECT_EQ(manifest.entries()[1].fileName, "");
}

TEST(DigestManifestReader, MissingOrBrokenFilesHaveNoEntries) {
    FakeMachine m;
    DigestManifest manifest(m.text);
    EXPECT_FALSE(manifest.loadManifest(m.files, "C:\\nowhere\\Digest.xml"));
    EXPECT_EQ(manifest.entryCount(), 0);
    m.writeFile("C:\\work\\Digest.xml", "<D><FileInfo>" + fileElement("", "1", "a"));
    EXPECT_FALSE(manifest.loadManifest(m.files, "C:\\work\\Digest.xml"));
    EXPECT_EQ(manifest.entryCount(), 0);
}

TEST(ManifestLookup, FirstEntryDecidesAndComparisonsAreExact) {
    FakeMachine m;
    m.writeFile("C:\\i\\Digest.xml", "<D><FileInfo>" + fileElement("Data", "a.dat", "D1") +
                                         fileElement("Data", "a.dat", "D2") +
                                         fileElement("Tools", u8"说明.txt", "D3") +
                                         "</FileInfo></D>");
    const std::string path = "C:\\i\\Digest.xml";
    EXPECT_TRUE(manifestHasEntry(m.files, m.text, path, "Data", "a.dat", "D1"));
    EXPECT_FALSE(manifestHasEntry(m.files, m.text, path, "Data", "a.dat", "D2"));
    EXPECT_FALSE(manifestHasEntry(m.files, m.text, path, "data", "a.dat", "D1"));
    EXPECT_FALSE(manifestHasEntry(m.files, m.text, path, "Data", "A.dat", "D1"));
    EXPECT_FALSE(manifestHasEntry(m.files, m.text, path, "Data", "a.dat", "d1"));
    // The UTF-8 name in the file equals the same name in the ANSI code page (this source's
    // literals are GBK).
    EXPECT_TRUE(manifestHasEntry(m.files, m.text, path, "Tools", "说明.txt", "D3"));
    EXPECT_FALSE(manifestHasEntry(m.files, m.text, "C:\\i\\none.xml", "Data", "a.dat", "D1"));
}

TEST(ManifestCacheReuse, OneLoadPerPathUntilForgotten) {
    FakeMachine m;
    m.writeFile("C:\\i\\Digest.xml",
                "<D><FileInfo>" + fileElement("", "a", "1") + "</FileInfo></D>");
    ManifestCache cache;
    EXPECT_EQ(cache.get(m.files, m.text, "C:\\i\\Digest.xml").entries.size(), 1u);
    m.writeFile("C:\\i\\Digest.xml", "<D><FileInfo></FileInfo></D>");
    EXPECT_EQ(cache.get(m.files, m.text, "C:\\i\\Digest.xml").entries.size(), 1u);
    cache.forget("C:\\i\\Digest.xml");
    EXPECT_EQ(cache.get(m.files, m.text, "C:\\i\\Digest.xml").entries.size(), 0u);
}

TEST(InstallJobSetUp, AddressesPathsAndRegistryFallbacks) {
    FakeMachine m;
    InstallJob job(nullptr, "KORVA", 1, "http://dl/810", 2, "1.0.0.2", "C:\\A", 0x810, m.registry);
    EXPECT_EQ(job.downloadDir, "C:\\A\\DownLoad");
    EXPECT_EQ(job.manifestUrlOf(1), "http://dl/810/Digest.xml");
    EXPECT_EQ(job.manifestUrlOf(3), "http://dl/810/Digest_810.xml");
    EXPECT_EQ(job.manifestDownloadPathOf(2), "C:\\A\\DownLoad\\Digest_n.xml");
    EXPECT_EQ(job.manifestInstalledPathOf(3), "C:\\A\\Digest_810.xml");
    EXPECT_EQ(job.unitsDone, 1);
    EXPECT_EQ(job.unitsTotal, 0);
    EXPECT_EQ(job.updateMode, 2);
    EXPECT_EQ(job.mode, 1);

    InstallJob bare(nullptr, "KORVA", 0, "", 0, "", "", 0x810, m.registry);
    EXPECT_EQ(bare.manifestUrlOf(1), "/Digest.xml");
    EXPECT_EQ(bare.manifestInstalledPathOf(1), "\\Digest.xml");

    m.registry.setValue("Software\\Vellumark\\Nexio\\KORVA", "ServerURL", "https://fallback/810");
    m.registry.setValue("Software\\Vellumark\\Nexio\\KORVA", "Path", "D:\\Suite");
    InstallJob fallback(nullptr, "KORVA", 0, "", 0, "", "", 0x810, m.registry);
    EXPECT_EQ(fallback.downloadBase, "https://fallback/810");
    EXPECT_EQ(fallback.manifestUrlOf(1), "https://fallback/810/Digest.xml");
    EXPECT_EQ(fallback.installDir, "D:\\Suite");
    m.registry.setValue("Software\\Vellumark\\Nexio\\KORVA", "Path", std::string(259, 'p'));
    EXPECT_EQ(InstallJob(nullptr, "KORVA", 0, "", 0, "", "", 0x810, m.registry).installDir.size(),
              259u);
    m.registry.setValue("Software\\Vellumark\\Nexio\\KORVA", "Path", std::string(260, 'p'));
    EXPECT_EQ(InstallJob(nullptr, "KORVA", 0, "", 0, "", "", 0x810, m.registry).installDir, "");
}

}  // namespace
}  // namespace vaultaide

namespace vaultaide {
namespace {

using fakes::FakeMachine;

TEST(RunWideUnits, EntriesOfTheInstalledManifestsAndUnitReports) {
    fakes::FakeMachine m;
    fakes::RecordingProgressView view;
    InstallJob job(&view, "KORVA", 0, "http://dl", 0, "1", "C:\\A", 0x810, m.registry);
    m.writeFile("C:\\A\\Digest.xml", "<D><FileInfo>" + fileElement("", "a", "1") +
                                         fileElement("", "b", "2") + "</FileInfo></D>");
    EXPECT_EQ(countManifestEntries(m.files, m.text, job, kCommonManifest), 2);
    EXPECT_EQ(countManifestEntries(m.files, m.text, job, kBankManifest), 0);
    EXPECT_EQ(countManifestEntries(m.files, m.text, job, 7), 0);

    // Ten entries and one runtime installer: 11 units.
    job.unitsTotal = 11;
    job.completeUnit();
    EXPECT_EQ(view.log,
              (std::vector<std::string>{"text 1024 9.09%", "refresh 1024", "bar 1022 pos 1 0"}));
    for (int i = 0; i < 10; ++i) job.completeUnit();
    EXPECT_EQ(view.log[view.log.size() - 3], "text 1024 100.00%");
    EXPECT_EQ(view.log.back(), "bar 1022 pos 11 0");
    EXPECT_EQ(job.unitsDone, 12);
}

}  // namespace
}  // namespace vaultaide
