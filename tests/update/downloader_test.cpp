#include "tests/support/eventually.h"
#include "tests/update/update_fixture.h"

#include <chrono>

#include <fmt/format.h>
#include <thread>

namespace update_test {
namespace {

constexpr std::string_view oldContent = "the good old file\n";

class DownloaderTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        writeFile(site / "downloads/docs/ReleaseNotes.pdf", "%PDF release notes");
        target = work / "input" / "target.bin";
        writeFile(target, oldContent);
    }

    bool download(const std::string& path, DownloadKind kind = DownloadKind::Document) {
        DownloadHandle handle = gf_makeDownloadHandle();
        return Downloader(handle, url(path), target, true, kind);
    }

    // Only the target is in its folder: no temporary file stayed behind.
    void expectNoTemporaryFiles() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(target.parent_path()))
            names.push_back(e.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"target.bin"});
    }

    fs::path target;
};

TEST_F(DownloaderTest, FailuresKeepTheOldFileAndSuccessesReplaceIt) {
    gf_downloadTestSettings().sizeLimit = 1 << 20;
    const std::string real = "/downloads/docs/ReleaseNotes.pdf";
    const struct {
        const char* name;
        std::string path;
        std::optional<ServedFault> fault;
        bool ok;
    } cases[] = {
        {"200", real, std::nullopt, true},
        {"404", "/f/404", ServedFault{ServedFault::Kind::Status, 404}, false},
        {"500", "/f/500", ServedFault{ServedFault::Kind::Status, 500}, false},
        {"missing file", "/downloads/nothing.pdf", std::nullopt, false},
        {"truncated", "/f/short", ServedFault{ServedFault::Kind::ShortBody}, false},
        {"declared too large", "/f/big", ServedFault{ServedFault::Kind::Oversized, 200, "", 2 << 20}, false},
        {"chunked too large", "/f/chunked",
         ServedFault{ServedFault::Kind::OversizedChunked, 200, "", 2 << 20}, false},
        {"stalled", "/f/stall", ServedFault{ServedFault::Kind::Stall}, false},
        {"trickle", "/f/trickle", ServedFault{ServedFault::Kind::Trickle}, false},
        {"302 followed", "/f/r1", ServedFault{ServedFault::Kind::Redirect, 302, "/f/r2"}, true},
        {"looping 302", "/f/loop", ServedFault{ServedFault::Kind::Redirect, 302, "/f/loop"}, false},
        {"302 to ftp", "/f/ftp", ServedFault{ServedFault::Kind::Redirect, 302, "ftp://127.0.0.1/x"}, false},
        {"302 to file", "/f/file", ServedFault{ServedFault::Kind::Redirect, 302, "file:///etc/passwd"},
         false},
        {"302 to plain http elsewhere", "/f/http",
         ServedFault{ServedFault::Kind::Redirect, 302, "http://192.0.2.1/downloads/x"}, false},
    };
    server->script("/f/r2", ServedFault{ServedFault::Kind::Redirect, 302, real});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(target, oldContent);
        if (c.fault) server->script(c.path, *c.fault);
        const auto before = logText().size();
        EXPECT_EQ(download(c.path), c.ok);
        const std::string log = logText().substr(before);
        if (c.ok) {
            EXPECT_EQ(readFile(target), "%PDF release notes");
            EXPECT_EQ(log, "");
        } else {
            EXPECT_EQ(readFile(target), oldContent);
            EXPECT_NE(log.find("Download error: '"), std::string::npos) << log;
            EXPECT_NE(log.find(fmt::format("' for {}\n", url(c.path))), std::string::npos) << log;
        }
        expectNoTemporaryFiles();
    }
    // The loop ends after 5 redirects: the first request and five more.
    EXPECT_EQ(server->requests("/f/loop"), 6);
    // A redirect to another host over plain http is refused without a request there.
    EXPECT_NE(logText().find("Unsupported protocol"), std::string::npos);
}

TEST_F(DownloaderTest, AMissingTargetFolderFailsWithoutARequest) {
    target = work / "no such folder" / "file.pdf";
    EXPECT_FALSE(download("/downloads/docs/ReleaseNotes.pdf"));
    EXPECT_NE(logText().find("Could not open output file: " + target.string() + "\n"), std::string::npos);
    EXPECT_EQ(server->totalRequests(), 0);
}

TEST_F(DownloaderTest, OneHandleServesTwoDownloadsAndANullHandleNone) {
    writeFile(site / "downloads/two.txt", "second");
    DownloadHandle handle = gf_makeDownloadHandle();
    EXPECT_TRUE(
        Downloader(handle, url("/downloads/docs/ReleaseNotes.pdf"), target, true, DownloadKind::Document));
    EXPECT_EQ(readFile(target), "%PDF release notes");
    EXPECT_TRUE(Downloader(handle, url("/downloads/two.txt"), target, false, DownloadKind::Document));
    EXPECT_EQ(readFile(target), "second");
    DownloadHandle none(nullptr, &curl_easy_cleanup);
    EXPECT_FALSE(Downloader(none, url("/downloads/two.txt"), target, true, DownloadKind::Document));
    expectNoTemporaryFiles();
}

TEST_F(DownloaderTest, ACloseRequestEndsAStalledTransfer) {
    // Limits far above the test's run time: only the close request can end the transfer early.
    gf_downloadTestSettings().limits = [](DownloadKind) {
        DownloadLimits limits;
        limits.lowSpeedTime = std::chrono::seconds(120);
        return limits;
    };
    server->script("/f/stall", ServedFault{ServedFault::Kind::Stall});
    bool result = true;
    std::thread worker([&] { result = download("/f/stall"); });
    ASSERT_TRUE(testing_support::eventually([&] { return server->requests("/f/stall") == 1; }));
    const auto asked = std::chrono::steady_clock::now();
    abort = true;
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(60));
    EXPECT_FALSE(result);
    EXPECT_EQ(readFile(target), oldContent);
    EXPECT_NE(logText().find("Operation was aborted by an application callback"), std::string::npos);
    expectNoTemporaryFiles();
}

TEST_F(DownloaderTest, EachKindChecksTheCompleteBodyBeforeReplacingTheTarget) {
    siteDataFile("dbase.enc", "<root><data/></root>");
    writeFile(site / "downloads/broken.enc", std::string(5000, 'x'));
    writeFile(site / "downloads/page.json", "<html><body>maintenance</body></html>");
    writeFile(site / "downloads/array.json", "[1, 2]");
    writeFile(site / "downloads/good.json", R"({"msfs": {"major": 11, "minor": 0, "patch": 0}})");
    writeFile(site / "downloads/cut.zip", "PK\x03\x04 not a whole archive");
    makeZip(site / "downloads/good.zip", {{"EHAM.xml", "<root/>"}});
    writeFile(site / "downloads/airport.xml",
              "<root><meta><info name=\"author\" value=\"x\"/><info name=\"copyright\" value=\"c\"/>"
              "<info name=\"sim\" value=\"1\"/></meta></root>");
    writeFile(site / "downloads/noheader.xml", "<root><stands/></root>");
    const struct {
        const char* path;
        DownloadKind kind;
        bool ok;
    } cases[] = {
        {"/downloads/11/dbase.enc", DownloadKind::DataFile, true},
        {"/downloads/broken.enc", DownloadKind::DataFile, false},
        {"/downloads/good.json", DownloadKind::VersionList, true},
        {"/downloads/page.json", DownloadKind::VersionList, false},
        {"/downloads/array.json", DownloadKind::VersionList, false},
        {"/downloads/good.zip", DownloadKind::AddonArchive, true},
        {"/downloads/cut.zip", DownloadKind::InstallerArchive, false},
        {"/downloads/airport.xml", DownloadKind::AirportFile, true},
        {"/downloads/noheader.xml", DownloadKind::AirportFile, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        writeFile(target, oldContent);
        EXPECT_EQ(download(c.path, c.kind), c.ok);
        if (c.ok)
            EXPECT_EQ(readFile(target), readFile(site / fs::path(c.path).relative_path()));
        else
            EXPECT_EQ(readFile(target), oldContent);
        expectNoTemporaryFiles();
    }
    EXPECT_NE(logText().find("failed its check: not valid JSON"), std::string::npos);
    EXPECT_NE(logText().find("failed its check: does not decrypt"), std::string::npos);
}

TEST_F(DownloaderTest, TheServerCertificateMustBeTrustedAndNameTheHost) {
    // Without the test's certificate authority the system's store does not know the server.
    gf_downloadTestSettings().caFile.clear();
    EXPECT_FALSE(download("/downloads/docs/ReleaseNotes.pdf"));
    EXPECT_EQ(readFile(target), oldContent);

    // Trusted, but issued for another host name.
    startServer({true, "other.example"});
    EXPECT_FALSE(download("/downloads/docs/ReleaseNotes.pdf"));
    EXPECT_EQ(readFile(target), oldContent);
    expectNoTemporaryFiles();

    startServer({});
    EXPECT_TRUE(download("/downloads/docs/ReleaseNotes.pdf"));
}

TEST(DownloadUrls, HttpsAnywhereHttpOnlyToLoopback) {
    const struct {
        const char* url;
        bool allowed;
    } cases[] = {
        {"https://downloads.example.com/downloads/versions.json", true},
        {"HTTPS://downloads.example.com/x", true},
        {"http://downloads.example.com/x", false},
        {"http://127.0.0.1:8080/x", true},
        {"http://127.1.2.3/x", true},
        {"http://localhost/x", true},
        {"http://[::1]:99/x", true},
        {"http://127.0.0.1.example.com/x", false},
        {"http://128.0.0.1/x", false},
        {"ftp://127.0.0.1/x", false},
        {"file:///etc/passwd", false},
        {"not a url", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_downloadUrlAllowed(c.url), c.allowed) << c.url;
}

TEST_F(DownloaderTest, PlainHttpToAnotherHostIsRefusedBeforeAnyConnection) {
    DownloadHandle handle = gf_makeDownloadHandle();
    // 192.0.2.1 is a documentation address; a connection attempt would end in a connect or timeout error.
    EXPECT_FALSE(
        Downloader(handle, "http://192.0.2.1/downloads/versions.json", target, true, DownloadKind::Document));
    EXPECT_NE(
        logText().find("Download error: 'Unsupported protocol' for http://192.0.2.1/downloads/versions.json"),
        std::string::npos);
    EXPECT_EQ(readFile(target), oldContent);
}

TEST_F(DownloaderTest, TheFolderUrlComesFromTheEnvironmentWhenNoTestSetsIt) {
    gf_downloadTestSettings().baseUrlSet = false;
    ::setenv("SKYLOOM_DOWNLOAD_URL", "https://maker.example/", 1);
    EXPECT_EQ(gf_downloadFolderUrl(), "https://maker.example/downloads/");
    ::setenv("SKYLOOM_DOWNLOAD_URL", "https://maker.example/base", 1);
    EXPECT_EQ(gf_downloadFolderUrl(), "https://maker.example/base/downloads/");
    ::setenv("SKYLOOM_DOWNLOAD_URL", "", 1);
    EXPECT_EQ(gf_downloadFolderUrl(), "");
    ::unsetenv("SKYLOOM_DOWNLOAD_URL");
}

} // namespace
} // namespace update_test
