// Updates that end wholly one release: killed at any change on disk, cancelled while replacing,
// fed stale or rewritten files or links, the installation never mixes releases, never takes a
// file the run did not verify, and nothing outside it is touched.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/version_check.h"
#include "install/file_moves.h"
#include "install/file_replacement.h"
#include "install/install_sequence.h"
#include "install/registration.h"
#include "install/replacement_journal.h"
#include "install/run_control.h"
#include "packages/install_job.h"
#include "ui/dialogs/install_folder.h"
#include "unit/install_bench.h"

namespace vaultaide {
namespace {

namespace fs = std::filesystem;
using testing::InstallBench;
using Tree = std::map<std::string, std::string>;

struct Killed {};

// The machine's files, with a call before every change on disk (which may end the run there).
class WatchedFiles : public Files {
public:
    explicit WatchedFiles(RootedFiles& files) : files_(files) {}
    std::function<void(const std::string& change)> beforeChange = [](const std::string&) {};
    bool refuseProtection = false;  // as a drive without access lists refuses them

    bool isDirectory(const std::string& p) override { return files_.isDirectory(p); }
    bool exists(const std::string& p) override { return files_.exists(p); }
    bool createDirectory(const std::string& p) override {
        return change("mkdir " + p), files_.createDirectory(p);
    }
    bool createProtectedDirectory(const std::string& p) override {
        return change("mkdir " + p), files_.createProtectedDirectory(p);
    }
    bool readFile(const std::string& p, std::string& b) override { return files_.readFile(p, b); }
    bool readChunks(const std::string& p, size_t s,
                    const std::function<void(const char*, size_t)>& f, size_t l) override {
        return files_.readChunks(p, s, f, l);
    }
    bool writeFile(const std::string& p, const std::string& b) override {
        return change("write " + p), files_.writeFile(p, b);
    }
    bool writeFileDurably(const std::string& p, const std::string& b) override {
        return change("write " + p), files_.writeFileDurably(p, b);
    }
    bool deleteFile(const std::string& p) override {
        return change("delete " + p), files_.deleteFile(p);
    }
    bool moveFile(const std::string& f, const std::string& t, bool r) override {
        return change("move " + t), files_.moveFile(f, t, r);
    }
    bool linkFile(const std::string& e, const std::string& l) override {
        return change("link " + l), files_.linkFile(e, l);
    }
    bool copyFile(const std::string& f, const std::string& t, bool o) override {
        return change("copy " + t), files_.copyFile(f, t, o);
    }
    bool isLink(const std::string& p) override { return files_.isLink(p); }
    bool removeLink(const std::string& p) override {
        return change("unlink " + p), files_.removeLink(p);
    }
    std::unique_ptr<LockedFile> openLocked(const std::string& p) override {
        auto file = files_.openLocked(p);
        return file ? std::make_unique<Watched>(*this, std::move(file)) : nullptr;
    }
    bool protectFolder(const std::string& p) override {
        return !refuseProtection && files_.protectFolder(p);
    }
    bool othersMayChange(const std::string& p) override { return files_.othersMayChange(p); }
    bool othersMayReplaceEntries(const std::string& p) override {
        return files_.othersMayReplaceEntries(p);
    }
    // Called with each folder just before it is held: after the path checks, so a swap there is
    // what a hold on the folder itself has to catch.
    std::function<void(const std::string& folder)> beforeHold = [](const std::string&) {};
    std::unique_ptr<HeldFolders> holdRealFolder(const std::string& p) override {
        beforeHold(p);
        auto held = files_.holdRealFolder(p);
        return held ? std::make_unique<Held>(*this, std::move(held)) : nullptr;
    }
    bool createPrivateFolder(std::string& p) override { return files_.createPrivateFolder(p); }
    std::string tempFolder() override { return files_.tempFolder(); }
    bool listDirectory(const std::string& p, std::vector<Entry>& e) override {
        return files_.listDirectory(p, e);
    }

private:
    class Watched : public LockedFile {
    public:
        Watched(WatchedFiles& owner, std::unique_ptr<LockedFile> file)
            : owner_(owner), file_(std::move(file)) {}
        bool readAll(size_t s, const std::function<void(const char*, size_t)>& f) override {
            return file_->readAll(s, f);
        }
        bool copyTo(const std::string& t) override {
            return owner_.change("copy " + t), file_->copyTo(t);
        }

    private:
        WatchedFiles& owner_;
        std::unique_ptr<LockedFile> file_;
    };

    class Held : public HeldFolders {
    public:
        Held(WatchedFiles& owner, std::unique_ptr<HeldFolders> held)
            : owner_(owner), held_(std::move(held)) {}
        bool holdNext(const std::string& folder) override {
            return owner_.beforeHold(folder), held_->holdNext(folder);
        }

    private:
        WatchedFiles& owner_;
        std::unique_ptr<HeldFolders> held_;
    };

    void change(const std::string& what) { beforeChange(what); }
    RootedFiles& files_;
};

// The machine's registry, with the same call before every value it changes.
class WatchedRegistry : public Registry {
public:
    WatchedRegistry(Registry& registry, WatchedFiles& files) : registry_(registry), files_(files) {}
    std::unique_ptr<RegistryKey> openKey(const std::string& path, uint32_t access,
                                         RegistryView view) override {
        return watch(registry_.openKey(path, access, view));
    }
    std::unique_ptr<RegistryKey> createKey(const std::string& path, uint32_t access,
                                           RegistryView view) override {
        return watch(registry_.createKey(path, access, view));
    }

private:
    class Key : public RegistryKey {
    public:
        Key(std::unique_ptr<RegistryKey> key, WatchedFiles& files)
            : key_(std::move(key)), files_(files) {}
        bool queryString(const std::string& n, std::string& v, size_t m) override {
            return key_->queryString(n, v, m);
        }
        bool setString(const std::string& n, const std::string& v) override {
            return files_.beforeChange("set " + n), key_->setString(n, v);
        }
        bool deleteValue(const std::string& n) override {
            return files_.beforeChange("unset " + n), key_->deleteValue(n);
        }
        bool flush() override { return key_->flush(); }

    private:
        std::unique_ptr<RegistryKey> key_;
        WatchedFiles& files_;
    };
    std::unique_ptr<RegistryKey> watch(std::unique_ptr<RegistryKey> key) {
        return key ? std::make_unique<Key>(std::move(key), files_) : nullptr;
    }
    Registry& registry_;
    WatchedFiles& files_;
};

// Release 1 installed, release 2 (three changed files, one of them new, and with ownProgram
// the program's own file) published.
struct Updating {
    explicit Updating(bool ownProgram = false) {
        if (ownProgram) b.source("common", "vaultaide_810.exe", "self 1"), b.publish();
        b.run(kModeInstall);
        before = b.installedFiles();
        if (ownProgram) b.source("common", "vaultaide_810.exe", "self 2");
        b.source("common", "QuorlePop.exe", "pop-up 2");
        b.source("common", "Data/skin.dat", "new skin");
        b.source("bank", "Plugins/new.dll", "new plug-in");
        b.publish();
        b.app.serverVersion = "1.0.0.3";
    }

    // An update through the watched files: "returned", "ended" or "killed".
    std::string update() {
        Platform platform{b.machine.kernel, b.machine.processes, watched,
                          b.machine.system, b.machine.ui,        registry,
                          b.http,           b.machine.text,      b.machine.shell};
        auto* job = new InstallJob(&b.view, b.app.channelCode, kModeUpdate, b.app.downloadUrl, 1,
                                   b.app.serverVersion, b.app.installPath, b.app.bankCode,
                                   b.machine.registry);
        b.control = std::make_unique<RunControl>();
        std::atomic<int32_t> finished{0};
        InstallRun run{platform, b.app, job, b.view, finished, *b.control};
        try {
            runInstallSequence(run);
            return "returned";
        } catch (const fakes::ProcessEnded&) {
            return "ended";
        } catch (const Killed&) {
            return "killed";
        }
    }

    std::string version() { return b.values(ownRegistryKeyPath(b.app))["version"]; }
    bool journalLeft() { return b.machine.files.exists("C:\\Assist\\DownLoad\\.backup\\journal"); }

    InstallBench b;
    WatchedFiles watched{b.machine.files};
    WatchedRegistry registry{b.machine.registry, watched};
    Tree before;
};

// A run killed at any change it makes on disk or in the registry (the program's own file among
// them; a copy killed half way leaves a truncated file) leaves, after the next start (which needs
// no server), either release 1 with version 1.0.0.2 or release 2 with 1.0.0.3; a run to the end
// then gives release 2 and a download folder without files. Each target is always whole under its
// name, but for the instant between the old file's rename into the backup and the new one's into
// place.
TEST(Replacement, AKillAtAnyPointIsUndoneAtTheNextStart) {
    Tree release2;
    int changes = 0;
    {
        Updating u(true);
        u.watched.beforeChange = [&](const std::string&) { ++changes; };
        ASSERT_EQ(u.update(), "ended");
        release2 = u.b.installedFiles();
        ASSERT_NE(release2, u.before);
        ASSERT_EQ(release2.at("Plugins/new.dll"), "new plug-in");
    }
    int undone = 0, ownFileMissing = 0, kills = 0;
    for (int killAt = 1; killAt <= changes; ++killAt) {
        Updating u(true);
        int change = 0, registryKills = 0;
        u.watched.beforeChange = [&](const std::string& what) {
            if (++change != killAt) return;
            if (what.rfind("copy ", 0) == 0)
                fakes::writeHostFile(u.b.machine.files.hostPath(what.substr(5)), "trunc");
            registryKills += what.rfind("set ", 0) == 0;
            throw Killed{};
        };
        ASSERT_EQ(u.update(), "killed") << killAt;
        const bool midway = u.journalLeft();
        ownFileMissing += !u.b.machine.files.exists("C:\\Assist\\vaultaide_810.exe");
        const auto either = [&](const std::string& relative, const std::string& bytes) {
            const auto old = u.before.find(relative), fresh = release2.find(relative);
            return (old != u.before.end() && old->second == bytes) ||
                   (fresh != release2.end() && fresh->second == bytes) ||
                   relative.find(kStagingSuffix) != std::string::npos;
        };
        const Tree installed = u.b.installedFiles();
        for (const auto& [relative, bytes] : installed)
            EXPECT_TRUE(either(relative, bytes)) << killAt << " " << relative;
        // Only the running program's own file is ever without its name, for one rename.
        for (const auto& [relative, bytes] : u.before)
            EXPECT_TRUE(installed.count(relative) || relative == "vaultaide_810.exe")
                << killAt << " " << relative;
        recoverInterruptedReplacement(u.b.platform, u.b.app);
        EXPECT_FALSE(u.journalLeft()) << killAt;
        const Tree now = u.b.installedFiles();
        if (now == u.before) {
            EXPECT_EQ(u.version(), "1.0.0.2") << killAt;
        } else {
            EXPECT_EQ(now, release2) << killAt;
            EXPECT_EQ(u.version(), "1.0.0.3") << killAt;
        }
        undone += midway;
        kills += registryKills;

        u.watched.beforeChange = [](const std::string&) {};
        EXPECT_EQ(u.update(), "ended") << killAt;
        EXPECT_EQ(u.b.installedFiles(), release2) << killAt;
        EXPECT_EQ(u.version(), "1.0.0.3") << killAt;
        for (const auto& item :
             fs::recursive_directory_iterator(u.b.machine.files.hostPath("C:\\Assist\\DownLoad")))
            EXPECT_FALSE(item.is_regular_file()) << killAt << " " << item.path();
    }
    EXPECT_GT(undone, 5);  // the kills inside the replacement were undone, not just avoided
    EXPECT_LE(ownFileMissing, 1);
    EXPECT_GE(kills, 5);  // at each registration write
}

// A restore that fails keeps the journal and every backup for the next start, says so, and
// the next start puts the installation back.
TEST(Replacement, AFailedRestoreKeepsItsBackups) {
    Updating u;
    int change = 0;
    u.watched.beforeChange = [&](const std::string& what) {
        if (what == std::string("copy C:\\Assist\\Data\\skin.dat") + kStagingSuffix) ++change;
        if (what.rfind("copy C:\\Assist\\Plugins\\new.dll", 0) == 0) throw Killed{};
    };
    ASSERT_EQ(u.update(), "killed");
    ASSERT_EQ(change, 1);
    // The replaced file cannot be written back now: held without delete sharing, it can be
    // neither replaced nor renamed.
    auto held = u.b.machine.files.openLocked("C:\\Assist\\Data\\skin.dat");
    ASSERT_TRUE(held);
    recoverInterruptedReplacement(u.b.platform, u.b.app);
    EXPECT_TRUE(u.journalLeft());
    const auto& traces = u.b.machine.kernel.traces;
    EXPECT_NE(std::find(traces.begin(), traces.end(), "restore failed(C:\\Assist\\Data\\skin.dat)"),
              traces.end());
    EXPECT_NE(
        std::find(traces.begin(), traces.end(),
                  "replacement not undone, journal kept(C:\\Assist\\DownLoad\\.backup\\journal)"),
        traces.end());

    // The program holding the file has let go.
    held.reset();
    recoverInterruptedReplacement(u.b.platform, u.b.app);
    EXPECT_FALSE(u.journalLeft());
    EXPECT_EQ(u.b.installedFiles(), u.before);
    EXPECT_EQ(u.version(), "1.0.0.2");
}

// Cancel answered Yes while files are replaced: the worker undoes the replacement and ends the
// process; before it, the run just ends; after success, the dialog only hides.
TEST(Replacement, CancelWhileReplacingUndoesTheReplacement) {
    Updating u;
    RunControl::CancelStep answer = RunControl::CancelStep::Ask;
    u.watched.beforeChange = [&](const std::string& what) {
        if (what == std::string("copy C:\\Assist\\Data\\skin.dat") + kStagingSuffix &&
            answer == RunControl::CancelStep::Ask) {
            EXPECT_EQ(u.b.control->cancelPressed(), RunControl::CancelStep::Ask);
            answer = u.b.control->cancelConfirmed();
        }
    };
    EXPECT_EQ(u.update(), "ended");
    EXPECT_EQ(answer, RunControl::CancelStep::Ignore);
    EXPECT_EQ(u.b.control->cancelPressed(), RunControl::CancelStep::Ignore);
    EXPECT_TRUE(u.b.machine.ui.boxes.empty());
    EXPECT_EQ(u.b.installedFiles(), u.before);
    EXPECT_EQ(u.version(), "1.0.0.2");
    EXPECT_FALSE(u.journalLeft());

    using Step = RunControl::CancelStep;
    RunControl fetching, succeeded, stopped;
    EXPECT_EQ(fetching.cancelConfirmed(), Step::EndProcess);
    EXPECT_FALSE(fetching.beginReplacement());
    EXPECT_FALSE(fetching.succeed());
    ASSERT_TRUE(succeeded.succeed());
    EXPECT_EQ(succeeded.cancelPressed(), Step::Hide);
    EXPECT_EQ(succeeded.cancelConfirmed(), Step::Hide);
    stopped.stop();
    EXPECT_EQ(stopped.cancelPressed(), Step::Close);
}

// Stale files an earlier run left in the download folder (a changed file, one no manifest
// lists, the staging file) and a staged file rewritten after its check are never installed.
TEST(Replacement, OnlyWhatThisRunVerifiedIsInstalled) {
    {
        Updating u;
        u.b.machine.writeFile("C:\\Assist\\DownLoad\\Script\\main.js", "stale");
        u.b.machine.writeFile("C:\\Assist\\DownLoad\\planted.dll", "planted");
        u.b.machine.writeFile("C:\\Assist\\DownLoad\\Data\\~va.tmp", "half a download");
        ASSERT_EQ(u.update(), "ended");
        Tree expected = u.before;
        expected["QuorlePop.exe"] = "pop-up 2";
        expected["Data/skin.dat"] = "new skin";
        expected["Plugins/new.dll"] = "new plug-in";
        for (const char* manifest : {"Digest.xml", "Digest_810.xml"})
            expected[manifest] = u.b.installed(manifest);
        EXPECT_EQ(u.b.installedFiles(), expected);
    }
    {
        // Rewritten between its check and its copy: the replacement refuses it and restores.
        Updating u;
        u.watched.beforeChange = [&](const std::string& what) {
            if (what.find("\\.backup\\journal") != std::string::npos)
                fakes::writeHostFile(
                    u.b.machine.files.hostPath("C:\\Assist\\DownLoad\\Data\\skin.dat"), "evil");
        };
        EXPECT_EQ(u.update(), "ended");
        EXPECT_EQ(u.b.machine.ui.boxes.size(), 1u);
        EXPECT_EQ(u.b.installedFiles(), u.before);
        EXPECT_EQ(u.version(), "1.0.0.2");
    }
    // While it is held for its check, nobody can change it.
    Updating u;
    u.b.machine.writeFile("C:\\Assist\\DownLoad\\x.dll", "checked");
    const auto held = u.b.machine.files.openLocked("C:\\Assist\\DownLoad\\x.dll");
    ASSERT_TRUE(held);
    EXPECT_FALSE(u.b.machine.files.writeFile("C:\\Assist\\DownLoad\\x.dll", "evil"));
    EXPECT_FALSE(u.b.machine.files.moveFile("C:\\Assist\\DownLoad\\x.dll", "C:\\x.dll", true));
    EXPECT_FALSE(u.b.machine.files.deleteFile("C:\\Assist\\DownLoad\\x.dll"));
}

// A standard user's links where the program expects its own folders: nothing outside the
// installation is deleted, read into it or written, and the folders end up real.
TEST(Replacement, LinksNeverLeadOutOfTheInstallation) {
    const struct {
        const char* link;     // replaced by a link to C:\Outside after the first installation
        int mode;             // the run that meets it
        const char* planted;  // a file put into the download folder beforehand, or ""
    } cases[] = {
        {"C:\\Assist\\DownLoad", kModeInstall, ""},
        {"C:\\Assist\\DownLoad", kModeUpdate, ""},
        {"C:\\Assist\\DownLoad\\.backup", kModeUpdate, ""},
        {"C:\\Assist\\DownLoad\\Data", kModeRepair, ""},
        {"C:\\Assist\\Tools", kModeUpdate, "C:\\Assist\\DownLoad\\Tools\\check.cfg"},
        {"C:\\Assist\\Tools", kModeInstall, ""},
    };
    for (const auto& c : cases) {
        Updating u;
        u.b.machine.writeFile("C:\\Outside\\system.dll", "system");
        u.b.machine.writeFile("C:\\Outside\\check.cfg", "system tool");
        u.b.machine.writeFile("C:\\Outside\\skin.dat", "outside");
        u.b.machine.writeFile("C:\\Outside\\Sub\\deep.dat", "deep");
        const fs::path outside = u.b.machine.files.hostPath("C:\\Outside");
        Tree outsideBefore;
        for (const auto& item : fs::recursive_directory_iterator(outside))
            if (item.is_regular_file())
                outsideBefore[item.path()] = fakes::readHostFile(item.path());
        const fs::path link = u.b.machine.files.hostPath(c.link);
        fs::remove_all(link);
        fs::create_directory_symlink(outside, link);
        if (*c.planted) u.b.machine.writeFile(c.planted, "planted");

        if (c.mode == kModeUpdate)
            u.update();
        else
            u.b.run(c.mode);
        Tree outsideAfter;
        for (const auto& item : fs::recursive_directory_iterator(outside))
            if (item.is_regular_file())
                outsideAfter[item.path()] = fakes::readHostFile(item.path());
        EXPECT_EQ(outsideAfter, outsideBefore) << c.link << " " << c.mode;
        EXPECT_FALSE(fs::is_symlink(link)) << c.link << " " << c.mode;
        const Tree installed = u.b.installedFiles();
        for (const auto& [relative, bytes] : installed)
            EXPECT_TRUE(bytes != "outside" && bytes != "system" && bytes != "planted" &&
                        bytes != "deep" && bytes != "system tool")
                << c.link << " " << c.mode << " " << relative;
    }
}

TEST(Replacement, OnlyJournalsThisProgramWroteAreUndone) {
    ReplacementJournal journal;
    journal.version = "1.0.0.2\r\nend";
    journal.targets = {{"Digest.xml", true}, {"Data\\说明.txt", false}, {"a..b.dll", true}};
    const std::string text = journalText(journal);
    ReplacementJournal read;
    ASSERT_TRUE(parseJournal(text, read));
    EXPECT_EQ(read.version, journal.version);
    ASSERT_EQ(read.targets.size(), 3u);
    EXPECT_EQ(read.targets[1].relative, "Data\\说明.txt");
    EXPECT_FALSE(read.targets[1].existed);

    auto line = [](const std::string& tag, const std::string& relative) {
        std::string hex;
        for (unsigned char c : relative) {
            const char* digits = "0123456789abcdef";
            hex += digits[c >> 4];
            hex += digits[c & 15];
        }
        return tag + " " + hex + "\r\n";
    };
    const std::string head = text.substr(0, text.find("kept"));
    for (const std::string& bad :
         {text.substr(0, text.size() - 5), head + line("kept", "..\\evil.dll") + "end\r\n",
          head + line("kept", "Other\\a.dll") + "end\r\n",
          head + line("added", "C:\\Windows\\a.dll") + "end\r\n",
          head + line("kept", "Data\\..") + "end\r\n", head + "kept 4G\r\nend\r\n",
          text + "more\r\n"})
        EXPECT_FALSE(parseJournal(bad, read)) << bad;
}

// The options page's checks, all passed: a fixed drive that keeps access lists.
struct PageChecks : InstallFolderChecks {
    int ask(const std::string&, const std::string&, unsigned) override { return kIdYes; }
    uint32_t driveType(const std::string&) override { return 3; }
    bool keepsAccessLists(const std::string&) override { return true; }
};

// The installation folder is closed to standard users on every path: made by the options page
// or by the installation, or found open at a start or a run; a folder that cannot be protected
// stops the run before anything in it is replaced.
TEST(Replacement, TheInstallationFolderIsProtectedOnEveryPath) {
    const struct {
        const char* folder;
        bool throughPage;
        const char* existing;  // a file put there first, or ""
        const char* closed;    // the folder that carries the protected list, or ""
    } cases[] = {
        {"C:\\Assist\\Bank", true, "", "C:\\Assist"},
        {"C:\\Assist\\Bank", false, "", "C:\\Assist"},
        {"C:\\Assist", false, "C:\\Assist\\other.txt", "C:\\Assist"},
        {"C:\\Program Files\\Bank", true, "C:\\Program Files\\other.txt", ""},
    };
    for (const auto& c : cases) {
        InstallBench b;
        if (*c.existing) b.machine.writeFile(c.existing, "");
        PageChecks page;
        if (c.throughPage)
            ASSERT_TRUE(confirmInstallFolder(b.platform, b.app, page, c.folder)) << c.folder;
        else
            b.app.installPath = c.folder;
        b.run(kModeInstall);
        EXPECT_EQ(b.journal.back(), "ended 0") << c.folder;
        if (*c.closed) {
            EXPECT_TRUE(b.machine.files.isProtected(c.closed)) << c.folder;
        }
        EXPECT_EQ(b.machine.files.isProtected(c.folder), std::string(c.closed) == c.folder)
            << c.folder;
    }
    // Opened later (a standard user's own folder): closed again at the next start, before the
    // recovery reads anything in it.
    Updating u;
    u.b.machine.files.openToUsers("C:\\Assist");
    recoverInterruptedReplacement(u.b.platform, u.b.app);
    EXPECT_TRUE(u.b.machine.files.isProtected("C:\\Assist"));
    // A folder that refuses the list: the update stops with nothing replaced.
    u.b.machine.files.openToUsers("C:\\Assist");
    u.watched.refuseProtection = true;
    EXPECT_EQ(u.update(), "returned");
    EXPECT_EQ(u.b.installedFiles(), u.before);
    EXPECT_EQ(u.version(), "1.0.0.2");
}

// The options page makes the first new level outside Program Files with the protected list
// itself (protecting it afterwards is refused here), tells Program Files as Windows compares
// names, and refuses a drive's root, paths whose levels step back, a path through a link above
// the folder (nothing is made where it leads) and a new folder below one that standard users
// may swap it from.
TEST(Replacement, TheFirstNewLevelIsMadeProtected) {
    const struct {
        const char* folder;
        bool accepted;
        const char* made;
        bool closed;        // made carries the protected list
        const char* above;  // "link": C:\Link leads to C:\Outside; "open": C:\ lets users swap
    } cases[] = {
        {"C:\\Assist\\Bank", true, "C:\\Assist", true, ""},
        {"C:/Assist//Bank/", true, "C:\\Assist", true, ""},
        {"C:\\PROGRAM FILES\\Bank", true, "C:\\PROGRAM FILES\\Bank", false, ""},
        {"C:\\Program Files\\..\\Assist", false, "C:\\Assist", false, ""},
        {"C:\\Program Files\\Bank\\.", false, "C:\\Program Files\\Bank", false, ""},
        {"C:\\", false, "", false, ""},
        {"C:\\Link\\Bank", false, "C:\\Outside\\Bank", false, "link"},
        {"C:\\Assist\\Bank", false, "C:\\Assist", false, "open"},
    };
    for (const auto& c : cases) {
        InstallBench b;
        WatchedFiles watched{b.machine.files};
        watched.refuseProtection = true;
        Platform platform{b.machine.kernel, b.machine.processes, watched,
                          b.machine.system, b.machine.ui,        b.machine.registry,
                          b.http,           b.machine.text,      b.machine.shell};
        b.machine.writeFile("C:\\Outside\\keep.txt", "");
        fs::create_directory_symlink(b.machine.files.hostPath("C:\\Outside"),
                                     b.machine.files.hostPath("C:\\Link"));
        if (std::string(c.above) == "open") b.machine.files.letUsersReplaceEntries("C:\\");
        PageChecks page;
        EXPECT_EQ(confirmInstallFolder(platform, b.app, page, c.folder), c.accepted) << c.folder;
        if (!*c.made) continue;
        EXPECT_EQ(b.machine.files.isDirectory(c.made), c.accepted) << c.folder;
        EXPECT_EQ(b.machine.files.isProtected(c.made), c.closed) << c.folder;
    }
    // The installation step refuses them alike and stops with nothing made or registered; an
    // existing folder reached through a link is given no list.
    for (const char* above : {"link", "open"}) {
        InstallBench b;
        b.machine.writeFile("C:\\Outside\\Bank\\keep.txt", "");
        fs::create_directory_symlink(b.machine.files.hostPath("C:\\Outside"),
                                     b.machine.files.hostPath("C:\\Link"));
        if (std::string(above) == "open") b.machine.files.letUsersReplaceEntries("C:\\");
        b.app.installPath = std::string(above) == "link" ? "C:\\Link\\Bank" : "C:\\Assist";
        b.run(kModeInstall);
        EXPECT_FALSE(b.machine.files.exists("C:\\Outside\\Bank\\QuorlePop.exe")) << above;
        EXPECT_FALSE(b.machine.files.exists("C:\\Assist")) << above;
        EXPECT_TRUE(b.values(ownRegistryKeyPath(b.app)).empty()) << above;
        EXPECT_EQ(protectInstallationFolder(b.platform, "C:\\Link\\Bank"), FolderGuard::Failed);
        EXPECT_FALSE(b.machine.files.isProtected("C:\\Outside\\Bank")) << above;
    }
}

// A standard user's journal, backup and linked Data folder, planted while the folder was open
// to them, or below a folder that lets them swap the installation's: the next start, a first
// installation or an update (its folder taken from the registry when none is given) closes the
// folder and undoes nothing by that journal; in a folder that was closed, the journal's own
// files are reached through real folders only. Nothing outside the installation changes.
TEST(Replacement, APlantedJournalChangesNothingOutsideTheInstallation) {
    for (const std::string when : {"at the start", "then installed", "then updated"})
        for (const std::string state : {"open", "open above", "closed"}) {
            const std::string what = state + " " + when;
            const bool wasOpen = state != "closed";
            Updating u;
            auto& files = u.b.machine.files;
            u.b.machine.writeFile("C:\\Outside\\victim.dll", "system");
            const fs::path data = files.hostPath("C:\\Assist\\Data");
            fs::remove_all(data);
            fs::create_directory_symlink(files.hostPath("C:\\Outside"), data);
            ReplacementJournal planted;
            planted.version = "9.9.9.9";
            planted.targets = {{"Data\\evil.dll", true}, {"Data\\victim.dll", false}};
            u.b.machine.writeFile("C:\\Assist\\DownLoad\\.backup\\0", "evil");
            u.b.machine.writeFile("C:\\Assist\\DownLoad\\.backup\\journal", journalText(planted));
            if (state == "open") files.openToUsers("C:\\Assist");
            if (state == "open above") files.letUsersReplaceEntries("C:\\");

            if (when == "at the start") {
                recoverInterruptedReplacement(u.b.platform, u.b.app);
            } else if (when == "then installed") {
                u.b.run(kModeInstall);
            } else {
                u.b.platform.registry
                    .createKey(suiteRegistryKeyPath(u.b.app.channelCode), kKeyAllAccess)
                    ->setString("Path", "C:\\Assist");
                u.b.app.installPath.clear();
                EXPECT_EQ(u.update(), "ended") << what;
                EXPECT_EQ(u.version(), "1.0.0.3") << what;
            }
            EXPECT_EQ(fakes::readHostFile(files.hostPath("C:\\Outside\\victim.dll")), "system");
            EXPECT_FALSE(files.exists("C:\\Outside\\evil.dll"));
            EXPECT_FALSE(u.journalLeft()) << what;
            EXPECT_EQ(files.exists("C:\\Assist\\Data\\evil.dll"), !wasOpen) << what;
            EXPECT_TRUE(files.isProtected("C:\\Assist")) << what;
            if (when != "at the start") continue;
            EXPECT_EQ(u.version(), wasOpen ? "1.0.0.2" : "9.9.9.9") << what;
            EXPECT_EQ(fs::is_symlink(data), wasOpen) << what;
        }
}

// Each step holds every level it goes through, as the level itself shows it: a level swapped
// for a link after its check by name is refused, so nothing outside changes, and while a step
// runs none of its levels, nor a folder above them, can be renamed.
TEST(Replacement, EveryLevelIsHeldAsCheckedForTheWholeStep) {
    for (const char* level : {"C:\\Assist\\Data", "C:\\Assist\\DownLoad\\.backup", "C:\\Assist"}) {
        Updating u;
        auto& files = u.b.machine.files;
        u.b.machine.writeFile("C:\\Outside\\skin.dat", "outside");
        bool swapped = false;
        u.watched.beforeHold = [&](const std::string& folder) {
            if (swapped || folder != level || !u.journalLeft()) return;
            swapped = true;
            const fs::path host = files.hostPath(folder);
            fs::rename(host, host.string() + ".real");
            fs::create_directory_symlink(files.hostPath("C:\\Outside"), host);
        };
        u.update();
        EXPECT_TRUE(swapped) << level;
        Tree outside;
        for (const auto& item : fs::recursive_directory_iterator(files.hostPath("C:\\Outside")))
            outside[item.path().filename()] =
                fs::is_regular_file(item) ? fakes::readHostFile(item.path()) : "";
        EXPECT_EQ(outside, (Tree{{"skin.dat", "outside"}})) << level;
    }

    Updating u;
    auto& files = u.b.machine.files;
    int tries = 0;
    u.watched.beforeChange = [&](const std::string& what) {
        if (what != "move C:\\Assist\\Data\\skin.dat") return;
        ++tries;
        for (const char* folder : {"C:\\Assist\\Data", "C:\\Assist", "C:\\Assist\\DownLoad"})
            EXPECT_FALSE(files.moveFile(folder, std::string(folder) + "2", false)) << folder;
    };
    EXPECT_EQ(u.update(), "ended");
    EXPECT_EQ(tries, 1);
    EXPECT_EQ(u.b.installed("Data\\skin.dat"), "new skin");
    EXPECT_TRUE(files.moveFile("C:\\Assist\\Data", "C:\\Assist\\Data2", false));
}

// Files are replaced by rename: a target that is a hard link to a file elsewhere is replaced
// and the other name keeps its content; the program's own running file and a library another
// process maps step aside, and the new ones take their names.
TEST(Replacement, TargetsAreReplacedNeverWrittenThrough) {
    Updating u(true);
    auto& files = u.b.machine.files;
    u.b.machine.writeFile("C:\\Outside\\skin.dat", "outside");
    const std::string target = files.hostPath("C:\\Assist\\Data\\skin.dat");
    fs::remove(target);
    fs::create_hard_link(files.hostPath("C:\\Outside\\skin.dat"), target);
    files.markInUse("C:\\Assist\\vaultaide_810.exe");
    files.markInUse("C:\\Assist\\QuorlePop.exe");
    EXPECT_EQ(u.update(), "ended");
    EXPECT_EQ(u.b.installed("QuorlePop.exe"), "pop-up 2");
    EXPECT_EQ(fakes::readHostFile(files.hostPath("C:\\Outside\\skin.dat")), "outside");
    EXPECT_EQ(u.b.installed("Data\\skin.dat"), "new skin");
    EXPECT_EQ(u.b.installed("vaultaide_810.exe"), "self 2");
    EXPECT_EQ(u.version(), "1.0.0.3");
}

// The journal goes only once the run has succeeded, the registry flushed: a journal that cannot
// be removed or a registration that fails undoes the update with the message; a first
// installation settles a journal in its folder before it writes there; the version bounds of
// writing and reading agree.
TEST(Replacement, TheJournalLastsExactlyAsLongAsTheReplacement) {
    const struct {
        const char* fault;
        std::function<void(Updating&, std::unique_ptr<LockedFile>&)> prepare;
    } faults[] = {
        {"journal held at the end",
         [](Updating& u, std::unique_ptr<LockedFile>& hold) {
             u.watched.beforeChange = [&u, &hold](const std::string& what) {
                 if (what == "delete C:\\Assist\\DownLoad\\.backup\\journal" && !hold)
                     hold = u.b.machine.files.openLocked("C:\\Assist\\DownLoad\\.backup\\journal");
             };
         }},
        {"registration refused",
         [](Updating& u, std::unique_ptr<LockedFile>&) {
             u.b.machine.registry.deniedFullAccess.insert(std::string(kUninstallKeyBase) +
                                                          u.b.app.assistantName);
         }},
    };
    for (const auto& f : faults) {
        Updating u;
        std::unique_ptr<LockedFile> hold;
        f.prepare(u, hold);
        EXPECT_EQ(u.update(), "ended") << f.fault;
        ASSERT_EQ(u.b.machine.ui.boxes.size(), 1u) << f.fault;
        EXPECT_EQ(u.b.machine.ui.boxes[0].text, kReplaceFailedText);
        EXPECT_EQ(u.b.installedFiles(), u.before) << f.fault;
        EXPECT_EQ(u.version(), "1.0.0.2") << f.fault;
        hold.reset();
        u.b.machine.registry.deniedFullAccess.clear();
        recoverInterruptedReplacement(u.b.platform, u.b.app);
        EXPECT_FALSE(u.journalLeft()) << f.fault;
        EXPECT_EQ(u.b.installedFiles(), u.before) << f.fault;
    }

    // Killed inside the replacement, then installed afresh over the same folder: the journal
    // is undone first, so no later start undoes the new installation.
    Updating u;
    u.watched.beforeChange = [](const std::string& what) {
        if (what.rfind("move C:\\Assist\\Plugins\\new.dll", 0) == 0) throw Killed{};
    };
    ASSERT_EQ(u.update(), "killed");
    ASSERT_TRUE(u.journalLeft());
    u.b.run(kModeInstall);
    EXPECT_FALSE(u.journalLeft());
    const Tree installed = u.b.installedFiles();
    EXPECT_EQ(installed.at("Plugins/new.dll"), "new plug-in");
    recoverInterruptedReplacement(u.b.platform, u.b.app);
    EXPECT_EQ(u.b.installedFiles(), installed);
    // In a folder this machine has not registered, it is discarded, undoing nothing.
    u.b.machine.writeFile("C:\\Other\\DownLoad\\.backup\\0", "old");
    u.b.machine.writeFile("C:\\Other\\DownLoad\\.backup\\journal", [] {
        ReplacementJournal other;
        other.targets = {{"QuorlePop.exe", true}};
        return journalText(other);
    }());
    u.b.app.installPath = "C:\\Other";
    u.b.run(kModeInstall);
    EXPECT_FALSE(u.b.machine.files.exists("C:\\Other\\DownLoad\\.backup\\journal"));
    EXPECT_EQ(u.b.installed("QuorlePop.exe"), "pop-up 2");

    for (const size_t size : {kRegistryValueBytes, kRegistryValueBytes + 1}) {
        ReplacementJournal journal, read;
        journal.version.assign(size, '1');
        const bool fits = size <= kRegistryValueBytes;
        EXPECT_EQ(writeJournal(u.b.machine.files, "C:\\Other", journal), fits) << size;
        u.b.machine.writeFile("C:\\Other\\journal", journalText(journal));
        EXPECT_EQ(readJournal(u.b.machine.files, "C:\\Other", read), fits) << size;
    }
}

}  // namespace
}  // namespace vaultaide
