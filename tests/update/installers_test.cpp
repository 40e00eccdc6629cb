#include "refdata/made_files.h"
#include "tests/update/update_fixture.h"
#include "update/installers.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace update_test {
namespace {

const VersionData web{11, 10, 6};

class InstallerTest : public UpdateTest {
protected:
    fs::path installerZip() const { return site / "downloads/release" / gf_installerZipName(web); }
    fs::path addonZip() const { return site / "downloads/mysimaddon24/my_simaddon2024.zip"; }
    fs::path addonFolder() const { return work / "airports/my_simaddon"; }

    // Two files of the previous add-on (in the list of program-made files) and a file of the user's own
    // in the add-on folder.
    void previousAddon() {
        fs::create_directories(addonFolder());
        MadeFiles made(work / "airports");
        ASSERT_TRUE(made.writeAndRecord(addonFolder() / "OLD1.txt", "old add-on airport"));
        ASSERT_TRUE(made.writeAndRecord(addonFolder() / "EHAM.txt", "old EHAM"));
        ASSERT_TRUE(made.save());
        writeFile(addonFolder() / "mine.txt", "the user's own airport");
        MYSIMADDON24_VERSION.setValue("1.0.0");
    }

    std::vector<std::string> madeList() {
        MadeFiles made(work / "airports");
        EXPECT_TRUE(made.load());
        std::vector<std::string> keys;
        for (const auto& [key, hash] : made.entries())
            keys.push_back(key);
        return keys;
    }
};

TEST_F(InstallerTest, TheLastEntryOfTheInstallerArchiveEndsUpAloneInNewVersion) {
    makeZip(installerZip(), {{"first.exe", "ONE"}, {"folder/", ""}, {"second.exe", "TWO"}});
    writeFile(work / "new_version/stale.txt", "from an earlier update");
    EXPECT_EQ(gf_installNewVersion(web), true);
    EXPECT_EQ(tree(work / "new_version"),
              (std::map<std::string, std::string>{{"install_new_version.exe", "TWO"}}));
    EXPECT_FALSE(fs::exists(work / "install_new_version.exe"));
    EXPECT_FALSE(fs::exists(work / gf_installerZipName(web)));
    EXPECT_NE(logText().find("Downloaded " + (work / gf_installerZipName(web)).string()), std::string::npos);
}

TEST_F(InstallerTest, ARefusedOrDamagedInstallerEntryFailsTheInstall) {
    writeFile(work / "new_version/install_new_version.exe", "the version prepared before");
    const auto before = tree(work / "new_version");
    makeZip(installerZip(), {{"setup.exe", "GOOD"}, {"..\\evil.exe", "EVIL"}});
    EXPECT_FALSE(gf_installNewVersion(web));
    EXPECT_NE(logText().find("Refused entry '../evil.exe' in "), std::string::npos);
    EXPECT_EQ(tree(work / "new_version"), before);
    EXPECT_FALSE(fs::exists(work / "install_new_version.exe"));
    EXPECT_FALSE(fs::exists(temp / "evil.exe"));
    EXPECT_FALSE(fs::exists(work / gf_installerZipName(web)));

    // new_version cannot be made: a file of that name is in the way.
    makeZip(installerZip(), {{"setup.exe", "GOOD"}});
    fs::remove_all(work / "new_version");
    writeFile(work / "new_version", "a file");
    EXPECT_FALSE(gf_installNewVersion(web));
    EXPECT_NE(logText().find("Could not create directory " + (work / "new_version").string()),
              std::string::npos);
    EXPECT_EQ(readFile(work / "new_version"), "a file");
    EXPECT_FALSE(fs::exists(work / "install_new_version.exe"));
    fs::remove(work / "new_version");
    writeFile(work / "new_version/install_new_version.exe", "the version prepared before");

    fs::remove(installerZip());
    EXPECT_FALSE(gf_installNewVersion(web));
    EXPECT_NE(logText().find("Downloading program installer file version 11.10.6 failed"), std::string::npos);
    EXPECT_EQ(tree(work / "new_version"), before);
}

TEST_F(InstallerTest, AddonEntriesBecomeTextFilesAndReplaceOnlyThePreviousAddonFiles) {
    previousAddon();
    makeZip(addonZip(), {{"EHAM.xml", "<new EHAM/>"}, {"airports/", ""}, {"airports\\LSZH.xml", "<LSZH/>"}});
    EXPECT_EQ(gf_downloadSimAddon(web), AddonResult::Updated);
    EXPECT_EQ(tree(addonFolder()),
              (std::map<std::string, std::string>{{"EHAM.txt", "<new EHAM/>"},
                                                  {"LSZH.txt", "<LSZH/>"},
                                                  {"mine.txt", "the user's own airport"}}));
    EXPECT_EQ(madeList(), (std::vector<std::string>{"my_simaddon/EHAM.txt", "my_simaddon/LSZH.txt"}));
    EXPECT_EQ(MYSIMADDON24_VERSION.value(), "11.10.6");
    EXPECT_NE(logText().find("my_simaddon2024.zip unzipped 2 files"), std::string::npos);
    // Neither the archive nor the staging folder stays.
    EXPECT_EQ(tree(work / "airports").count("my_simaddon.staging"), 0u);
    EXPECT_FALSE(fs::exists(work / "my_simaddon2024.zip"));
}

TEST_F(InstallerTest, TheUsersFilesAreNeitherReplacedNorRemoved) {
    previousAddon();
    // The user edited a file of the previous add-on and keeps one named like an entry of the new one.
    writeFile(addonFolder() / "OLD1.txt", "improved by the user");
    makeZip(addonZip(), {{"EHAM.xml", "<new EHAM/>"}, {"mine.xml", "<add-on's own/>"}});
    EXPECT_EQ(gf_downloadSimAddon(web), AddonResult::Updated);
    EXPECT_EQ(tree(addonFolder()),
              (std::map<std::string, std::string>{{"EHAM.txt", "<new EHAM/>"},
                                                  {"OLD1.txt", "improved by the user"},
                                                  {"mine.txt", "the user's own airport"}}));
    EXPECT_NE(logText().find("mine.txt is left alone: it is your own file"), std::string::npos);
    EXPECT_NE(logText().find("my_simaddon2024.zip unzipped 1 files"), std::string::npos);
}

TEST_F(InstallerTest, AnUpdateLeavesTheFilesItWouldRewriteUnchangedInPlace) {
    previousAddon();
    const auto inode = [](const fs::path& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 ? st.st_ino : ino_t{0};
    };
    const ino_t installed = inode(addonFolder() / "EHAM.txt");
    makeZip(addonZip(), {{"EHAM.xml", "old EHAM"}, {"LSZH.xml", "<LSZH/>"}});
    EXPECT_EQ(gf_downloadSimAddon(web), AddonResult::Updated);
    EXPECT_EQ(tree(addonFolder()),
              (std::map<std::string, std::string>{{"EHAM.txt", "old EHAM"},
                                                  {"LSZH.txt", "<LSZH/>"},
                                                  {"mine.txt", "the user's own airport"}}));
    EXPECT_EQ(inode(addonFolder() / "EHAM.txt"), installed);
    EXPECT_EQ(madeList(), (std::vector<std::string>{"my_simaddon/EHAM.txt", "my_simaddon/LSZH.txt"}));
    EXPECT_NE(logText().find("my_simaddon2024.zip unzipped 2 files"), std::string::npos);

    // Of two entries with the same file name the last one counts, whether or not it matches the file in
    // place; and a file the user changed is still the user's.
    const struct {
        const char* name;
        const char* first;  // content of a/EHAM.xml
        const char* second; // content of b/EHAM.xml, the later entry
    } cases[] = {
        {"new, then as installed", "<new EHAM/>", "old EHAM"},
        {"as installed, then new", "old EHAM", "<new EHAM/>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        previousAddon();
        makeZip(addonZip(), {{"a/EHAM.xml", c.first}, {"b/EHAM.xml", c.second}});
        EXPECT_EQ(gf_downloadSimAddon(web), AddonResult::Updated);
        EXPECT_EQ(readFile(addonFolder() / "EHAM.txt"), c.second);
        MadeFiles made(work / "airports");
        ASSERT_TRUE(made.load());
        EXPECT_TRUE(made.isMadeAndUnchanged(addonFolder() / "EHAM.txt"));
    }
    previousAddon();
    writeFile(addonFolder() / "EHAM.txt", "EHAM as the user wants it");
    makeZip(addonZip(), {{"EHAM.xml", "EHAM as the user wants it"}});
    EXPECT_EQ(gf_downloadSimAddon(web), AddonResult::Updated);
    EXPECT_EQ(readFile(addonFolder() / "EHAM.txt"), "EHAM as the user wants it");
    EXPECT_NE(logText().find("EHAM.txt is left alone: it is your own file"), std::string::npos);
}

TEST_F(InstallerTest, AnAddonIsFetchedWhenNewerOrWhenItsFolderIsEmpty) {
    makeZip(addonZip(), {{"EHAM.xml", "<EHAM/>"}});
    MYSIMADDON24_VERSION.setValue("11.10.6");
    writeFile(addonFolder() / "EHAM.txt", "installed");
    EXPECT_EQ(gf_downloadSimAddon(web), AddonResult::UpToDate);
    EXPECT_EQ(server->totalRequests(), 0);

    fs::remove(addonFolder() / "EHAM.txt");
    EXPECT_EQ(gf_downloadSimAddon(web), AddonResult::Updated);
    EXPECT_EQ(readFile(addonFolder() / "EHAM.txt"), "<EHAM/>");
}

TEST_F(InstallerTest, HostileAddonArchivesChangeNothing) {
    std::vector<ZipEntrySpec> many;
    for (int i = 0; i < 10'001; ++i)
        many.push_back({fmt::format("A{:05}.xml", i), "x"});
    const struct {
        const char* name;
        std::vector<ZipEntrySpec> entries;
        std::string logged;
        std::function<void(const fs::path&)> damage;
    } cases[] = {
        {"climbing", {{"EHAM.xml", "a"}, {"../x.xml", "x"}}, "Refused entry '../x.xml'", {}},
        {"absolute", {{"/abs/x.xml", "x"}}, "Refused entry '/abs/x.xml'", {}},
        {"drive", {{"C:\\x.xml", "x"}}, "Refused entry 'C:/x.xml'", {}},
        {"backslash climb", {{"a\\..\\..\\x.xml", "x"}}, "Refused entry 'a/../../x.xml'", {}},
        {"symlink", {{"link.xml", "/etc/passwd", true}}, "Refused entry 'link.xml'", {}},
        {"too many entries", many, "more than 10000", {}},
        {"inflates past its cap", {{"big.xml", std::string((16 << 20) + 1, '\0')}}, "above the limit", {}},
        {"checksum error",
         {{"a.xml", "checksummed content", false, true}},
         "CRC",
         [](const fs::path& p) { patchFile(p, "checksummed", "CHECKSUMMED"); }},
        {"cut off",
         {{"a.xml", std::string(4000, 'a')}},
         "failed its check",
         [](const fs::path& p) {
             const std::string bytes = readFile(p);
             writeFile(p, bytes.substr(0, bytes.size() - 30));
         }},
    };
    previousAddon();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        makeZip(addonZip(), c.entries);
        if (c.damage) c.damage(addonZip());
        const auto before = tree(work);
        const auto logBefore = logText().size();
        EXPECT_EQ(gf_downloadSimAddon(web), AddonResult::Failed);
        auto after = tree(work);
        after["Log.txt"] = before.at("Log.txt");
        EXPECT_EQ(after, before);
        EXPECT_NE(logText().find(c.logged, logBefore), std::string::npos) << logText().substr(logBefore);
        EXPECT_EQ(MYSIMADDON24_VERSION.value(), "1.0.0");
    }
    EXPECT_FALSE(fs::exists(temp / "x.xml"));
    EXPECT_FALSE(fs::exists(work / "x.xml"));
}

// The notice for `folder` as an ordinary user sees it: when the tests run as root, worked out by a
// child process that has given up root for the "nobody" account.
std::string noticeAsUser(const fs::path& folder) {
    if (::geteuid() != 0) return gf_installerNotice(folder);
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        const std::string notice = gf_installerNotice(folder);
        const bool written =
            ::write(pipeEnds[1], notice.data(), notice.size()) == static_cast<ssize_t>(notice.size());
        ::_exit(written ? 0 : 3);
    }
    ::close(pipeEnds[1]);
    std::string notice;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        notice.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return fmt::format("child failed: {}", status);
    return notice;
}

TEST_F(InstallerTest, TheNoticeTellsWhenTheInstallerNeedsAdministratorRights) {
    const std::string normal = "A new version is available.\nThe installer can be executed normally (no "
                               "Administrator rights required).";
    const std::string administrator = "A new version is available. Run the installer as Administrator";
    // A program folder the user may write, one under /usr the user cannot write (or that is gone), and
    // one under /opt.
    EXPECT_EQ(noticeAsUser(work), normal);
    EXPECT_EQ(noticeAsUser("/usr/share"), administrator);
    EXPECT_EQ(noticeAsUser("/usr/share/skyloom-not-installed"), administrator);
    EXPECT_EQ(noticeAsUser("/opt/../usr/share"), administrator);
    // A folder outside the program folders is never a reason, writable or not.
    EXPECT_EQ(noticeAsUser("/proc"), normal);
    // An elevated program may write anywhere.
    if (::geteuid() == 0) {
        EXPECT_EQ(gf_installerNotice("/usr/share"), normal);
    }
}

} // namespace
} // namespace update_test
