// The Download button against real servers on loopback: nginx and the other
// real servers for ordinary images, a scripted server (plain or TLS) for
// order, odd answers and failures. Errors reach
// the same reporter the application installs; here it records the box text.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QTest>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "app/error_text.h"
#include "base/handler_guard.h"
#include "net/id_http.h"
#include "support/bar_fixture.h"
#include "support/machine_limits.h"
#include "support/scripted_http_server.h"
#include "support/web_server.h"

namespace zx {
namespace {

namespace fs = std::filesystem;

using test::RandomBytes;
using test::ReadAll;

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

test::ScriptedExchange Answer(const std::string& response, bool closeAfter = false) {
    test::ScriptedExchange e;
    e.response = response;
    e.closeAfter = closeAfter;
    return e;
}

class Download : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ =
            SetExceptionReporter([this](const std::exception& e) { boxes.push_back(HandlerErrorText(e.what())); });
        bar.form1->IdHTTP1->Limits().connectTimeoutMs = 2000;
        bar.form1->IdHTTP1->Limits().readTimeoutMs = 3000;
    }
    void TearDown() override { SetExceptionReporter(previous_); }

    // Answers the folder question with `folder` and clicks Download.
    void Run(const std::string& folder) {
        bar.fake->folderAnswers.push_back(folder);
        QTest::mouseClick(bar.form1->Button4, Qt::LeftButton);
    }
    void Run() { Run(target.Path()); }

    std::string File(const std::string& name) const { return ReadAll(target.Path() + "/" + name); }

    test::BarFixture bar;
    test::TempDir target;
    std::vector<std::string> boxes;

private:
    ExceptionReporter previous_;
};

TEST_F(Download, EmptyOrClearedCellsAskForTheFolderAndFetchNothing) {
    test::ScriptedHttpServer server({{Answer(Ok("x"))}}, 5000);
    bar.cell(1).HTMLCode().SetLines({std::string(kClearedCellText)});
    bar.cell(2).HTMLCode().SetLines({"<!3424" + server.Url("/a.jpg") + ">"});
    Run();
    ASSERT_EQ(bar.fake->folderDialogs, std::vector<std::string>{"Select where to place the images."});
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(server.Accepted(), 0);
    EXPECT_TRUE(fs::is_empty(target.Path()));

    // Cancelling the folder question ends the run before any fetch.
    bar.fill(0, server.Url("/a.jpg"));
    bar.fake->folderAnswers.push_back(std::nullopt);
    QTest::mouseClick(bar.form1->Button4, Qt::LeftButton);
    EXPECT_EQ(bar.fake->folderDialogs.size(), 2u);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(server.Accepted(), 0);
}

TEST_F(Download, CellsAreFetchedInCellOrderOverOneConnection) {
    test::ScriptedHttpServer server({{Answer(Ok("three")), Answer(Ok("seven"))}}, 10000);
    bar.fill(7, server.Url("/img/seven.png"));
    bar.fill(3, server.Url("/img/three.jpg?size=big#top"));
    Run();
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")), "GET /img/three.jpg?size=big HTTP/1.1");
    EXPECT_EQ(requests[1].substr(0, requests[1].find("\r\n")), "GET /img/seven.png HTTP/1.1");
    EXPECT_EQ(Names(target.Path()), (std::set<std::string>{"three.jpg", "seven.png"}));
    EXPECT_EQ(File("three.jpg"), "three");
    EXPECT_EQ(File("seven.png"), "seven");
}

TEST_F(Download, ImagesFromNginxLandByteForByteUnderFreeNames) {
    test::TempDir root;
    const std::string big = RandomBytes(2 * 1024 * 1024 + 3, 1);
    const std::string small = RandomBytes(777, 2);
    root.WriteFile("one/pic.jpg", big);
    root.WriteFile("two/pic.jpg", small);
    root.WriteFile("a.b.jpg", "ab");
    root.WriteFile("photo", "photo");
    root.WriteFile("show.php", "script");
    root.WriteFile("my%20pic.jpg", "spaced");
    test::NginxServer nginx(root.Path());

    target.WriteFile("a.b.jpg", "old");
    target.WriteFile("photo", "old");
    bar.fill(0, nginx.Url("/one/pic.jpg"));
    bar.fill(1, nginx.Url("/two/pic.jpg"));
    bar.fill(2, nginx.Url("/a.b.jpg"));
    bar.fill(3, nginx.Url("/photo"));
    bar.fill(4, nginx.Url("/show.php?img=a/b.jpg"));
    bar.fill(19, nginx.Url("/my%2520pic.jpg"));
    Run();
    EXPECT_TRUE(boxes.empty()) << boxes.front() << nginx.ErrorLog();
    EXPECT_EQ(Names(target.Path()), (std::set<std::string>{"pic.jpg", "pic(1).jpg", "a.b.jpg", "a.b(1).jpg", "photo",
                                                           "photo(1)", "show.php", "my%2520pic.jpg"}));
    EXPECT_EQ(File("pic.jpg"), big);
    EXPECT_EQ(File("pic(1).jpg"), small);
    EXPECT_EQ(File("a.b.jpg"), "old");
    EXPECT_EQ(File("a.b(1).jpg"), "ab");
    EXPECT_EQ(File("photo"), "old");
    EXPECT_EQ(File("photo(1)"), "photo");
    EXPECT_EQ(File("show.php"), "script");
    EXPECT_EQ(File("my%2520pic.jpg"), "spaced");

    // A second run into the same folder fills the gap left in the numbering.
    fs::remove(target.Path() + "/pic(1).jpg");
    target.WriteFile("pic(2).jpg", "kept");
    for (int i = 1; i < kCellCount; ++i) bar.cell(i).HTMLCode().Clear();
    Run();
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(File("pic(1).jpg"), big);
    EXPECT_EQ(File("pic(2).jpg"), "kept");
    EXPECT_EQ(File("pic.jpg"), big);
}

TEST_F(Download, AnAddressEndingInASlashIsFetchedButNamesNoFile) {
    test::TempDir root;
    root.WriteFile("gallery/index.html", "<p>gallery</p>");
    root.WriteFile("after.jpg", "after");
    test::NginxServer nginx(root.Path());
    bar.fill(0, nginx.Url("/gallery/"));
    bar.fill(1, nginx.Url("/after.jpg"));
    Run();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Cannot create file \"" + target.Path() + "/\". Is a directory.");
    EXPECT_TRUE(fs::is_empty(target.Path()));
    EXPECT_FALSE(fs::exists(fs::path(target.Path()).parent_path() / "after.jpg"));
}

TEST_F(Download, APageFromEachKindOfRealServerLandsByteForByte) {
    test::TempDir root;
    std::vector<std::string> images;
    for (int i = 0; i < 8; ++i) {
        images.push_back(RandomBytes(i % 2 ? 1500 : 300 * 1024 + i, 10 + i));
        root.WriteFile("img" + std::to_string(i) + ".jpg", images.back());
    }
    // Two cells from each server in turn: kept connections, servers that
    // close after every answer, and changes of server between cells.
    std::vector<std::unique_ptr<test::WebServer>> servers;
    for (const auto kind : test::WebServer::AllKinds())
        servers.push_back(std::make_unique<test::WebServer>(root.Path(), kind));
    for (int i = 0; i < 8; ++i) bar.fill(i, servers[i / 2]->Url("/img" + std::to_string(i) + ".jpg"));
    Run();
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(File("img" + std::to_string(i) + ".jpg"), images[i]) << i;
}

TEST_F(Download, TheFirstFailureEndsTheRunAndKeepsEarlierFiles) {
    test::TempDir root;
    for (int i = 0; i < 5; ++i) root.WriteFile("c" + std::to_string(i) + ".jpg", "cell " + std::to_string(i));
    test::NginxServer nginx(root.Path());
    test::ScriptedHttpServer later({{Answer(Ok("never"))}}, 10000);
    for (int i = 0; i < 5; ++i) bar.fill(i, nginx.Url("/c" + std::to_string(i) + ".jpg"));
    bar.fill(5, nginx.Url("/missing.jpg"));
    bar.fill(6, later.Url("/later.jpg"));
    Run();
    EXPECT_EQ(boxes, std::vector<std::string>{"HTTP/1.1 404 Not Found."});
    EXPECT_EQ(Names(target.Path()), (std::set<std::string>{"c0.jpg", "c1.jpg", "c2.jpg", "c3.jpg", "c4.jpg"}));
    EXPECT_EQ(File("c4.jpg"), "cell 4");
    EXPECT_EQ(later.Accepted(), 0);

    // A redirect is followed; the file is named after the cell's address.
    test::ScriptedHttpServer moved(
        {{Answer("HTTP/1.1 302 Found\r\nLocation: /x.png\r\nContent-Length: 0\r\n\r\n"), Answer(Ok("moved"))}}, 10000);
    for (int i = 0; i < kCellCount; ++i) bar.cell(i).HTMLCode().Clear();
    bar.fill(2, moved.Url("/moved.jpg"));
    Run();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(File("moved.jpg"), "moved");
    EXPECT_FALSE(fs::exists(target.Path() + "/x.png"));
}

// The folder is opened once: swapping its path for a link while a slow
// answer comes sends no file elsewhere.
TEST_F(Download, FilesLandInThePickedFolderWhenItsPathBecomesALink) {
    test::ScriptedExchange slow = Answer(Ok("slow"));
    slow.delayMs = 500;
    test::ScriptedHttpServer server({{slow, Answer(Ok("next"))}}, 10000);
    bar.fill(0, server.Url("/slow.jpg"));
    bar.fill(1, server.Url("/next.jpg"));
    test::TempDir elsewhere;
    const std::string picked = target.Path() + "/picked", moved = target.Path() + "/moved";
    fs::create_directory(picked);
    std::thread swap([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (server.Requests().empty() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        fs::rename(picked, moved);
        fs::create_directory_symlink(elsewhere.Path(), picked);
    });
    Run(picked);
    swap.join();
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
    EXPECT_EQ(ReadAll(moved + "/slow.jpg"), "slow");
    EXPECT_EQ(ReadAll(moved + "/next.jpg"), "next");
}

TEST_F(Download, TransportFailuresAreShownAndWriteNothing) {
    test::ScriptedHttpServer later({{Answer(Ok("never"))}, {Answer(Ok("never"))}}, 20000);
    test::ScriptedHttpServer selfSigned({{Answer(Ok("never"))}}, 20000, false,
                                        &test::TestCertificates::Get().selfSigned);
    bar.fill(0, "https://127.0.0.1:" + std::to_string(selfSigned.Port()) + "/secure.jpg");
    bar.fill(1, later.Url("/later.jpg"));
    Run();
    bar.fill(0, "http://127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) + "/refused.jpg");
    Run();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Certificate verify failed: self-signed certificate.");
    EXPECT_TRUE(selfSigned.Requests().empty());
    EXPECT_EQ(boxes[1], "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(later.Accepted(), 0);
    EXPECT_TRUE(fs::is_empty(target.Path()));

    // A server that accepts and then stays silent is given up after the read
    // limit. The pointer shows busy while the run holds the program (seen
    // from the server's side, as the GUI thread is blocked) and normal again
    // once it has ended by the error.
    test::ScriptedExchange silent;
    silent.holdMs = 10000;
    test::ScriptedHttpServer quiet({{silent}}, 15000);
    bar.form1->IdHTTP1->Limits().readTimeoutMs = 1000;
    bar.fill(0, quiet.Url("/quiet.jpg"));
    Qt::CursorShape during = Qt::ArrowCursor;
    std::thread watcher([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (quiet.Requests().empty() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (const QCursor* c = QGuiApplication::overrideCursor()) during = c->shape();
    });
    Run();
    watcher.join();
    EXPECT_EQ(during, Qt::WaitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2], "Socket Error # 10060\r\nConnection timed out.");
    EXPECT_TRUE(fs::is_empty(target.Path()));
}

// An empty body is an empty image; one cut short is no image at all.
TEST_F(Download, EmptyBodiesAreWrittenAndCutShortOnesAreNot) {
    const std::string part(40, 'p');
    test::ScriptedHttpServer server({{Answer("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"),
                                      Answer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + part, true)}},
                                    10000);
    bar.fill(4, server.Url("/empty.gif"));
    bar.fill(9, server.Url("/short.jpg"));
    Run();
    EXPECT_EQ(boxes, std::vector<std::string>{"Connection Closed Gracefully."});
    EXPECT_TRUE(fs::exists(target.Path() + "/empty.gif"));
    EXPECT_EQ(fs::file_size(target.Path() + "/empty.gif"), 0u);
    EXPECT_FALSE(fs::exists(target.Path() + "/short.jpg"));
}

// Mounts a small tmpfs for the test's life.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& dir) : dir_(dir) {
        fs::create_directory(dir_);
        if (::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k") == 0)
            mounted_ = true;
        else
            error_ = std::strerror(errno);
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }

private:
    std::string dir_;
    bool mounted_ = false;
    std::string error_;
};

TEST_F(Download, AFullDiskShowsStreamWriteErrorAndLeavesThePartialFile) {
    const std::string disk = target.Path() + "/small";
    if (auto why = test::MachineLacks(test::MachineLimit::kTmpfsMount)) GTEST_SKIP() << *why;
    SmallDisk mount(disk);
    ASSERT_TRUE(mount.Mounted()) << "cannot mount a 64 KiB tmpfs: " << mount.Error();
    test::TempDir root;
    const std::string big = RandomBytes(300 * 1024, 3);
    root.WriteFile("first.jpg", "first");
    root.WriteFile("big.jpg", big);
    test::NginxServer nginx(root.Path());
    test::ScriptedHttpServer later({{Answer(Ok("never"))}}, 10000);
    bar.fill(0, nginx.Url("/first.jpg"));
    bar.fill(1, nginx.Url("/big.jpg"));
    bar.fill(2, later.Url("/later.jpg"));
    Run(disk);
    EXPECT_EQ(boxes, std::vector<std::string>{"Stream write error."});
    EXPECT_EQ(ReadAll(disk + "/first.jpg"), "first");
    const std::string partial = ReadAll(disk + "/big.jpg");
    EXPECT_LT(partial.size(), big.size());
    EXPECT_EQ(partial, big.substr(0, partial.size()));
    EXPECT_EQ(later.Accepted(), 0);
}

}  // namespace
}  // namespace zx
