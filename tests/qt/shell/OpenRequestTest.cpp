// The pieces that keep one application per desktop: the open request on the
// wire, the private folder, the lock, the launch's hand-over and the running
// application's server, each against peers that misbehave.

#include "RawPeer.h"

#include "shell/OpenRequest.h"
#include "shell/OpenRequestServer.h"
#include "shell/SingleInstance.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
using apptest::RawPeer;
using OpenRequest::Decoder;
using Strings = std::vector<std::string>;

Decoder::State DecodeWhole(const std::string& bytes, Decoder& decoder)
{
    return decoder.Feed(bytes.data(), bytes.size());
}

TEST(OpenRequestTest, FilesComeThroughInOrderWithTheirBytesHoweverTheRequestIsCut)
{
    const Strings files{"/home/u/-platform", "/home/u/it's a\nnew line.xpr", "/home/u/\xff\xfe latin.xpr",
                        "/home/u/gr\xc3\xbcn.xpr", "/" + std::string(OpenRequest::kMaxPathBytes - 1, 'x')};
    const Strings requests = OpenRequest::Encode(files);
    ASSERT_EQ(1u, requests.size());
    Decoder whole;
    ASSERT_EQ(Decoder::State::Complete, DecodeWhole(requests[0], whole)) << whole.Error();
    EXPECT_EQ(files, whole.Files());

    Decoder bytewise;
    for (std::size_t i = 0; i + 1 < requests[0].size(); ++i)
        ASSERT_EQ(Decoder::State::NeedMore, bytewise.Feed(&requests[0][i], 1)) << "at byte " << i;
    ASSERT_EQ(Decoder::State::Complete, bytewise.Feed(&requests[0].back(), 1));
    EXPECT_EQ(files, bytewise.Files());

    // A launch without files sends a request all the same.
    Decoder none;
    EXPECT_EQ(Decoder::State::Complete, DecodeWhole(OpenRequest::Encode({}).at(0), none));
    EXPECT_TRUE(none.Files().empty());
}

TEST(OpenRequestTest, ManyFilesGoInSeveralRequestsWithinTheBound)
{
    Strings files;
    for (int i = 0; i < 600; ++i)
        files.push_back("/data/gene" + std::to_string(i) + ".xpr");
    const Strings requests = OpenRequest::Encode(files);
    ASSERT_EQ(3u, requests.size());
    Strings decoded;
    for (const std::string& request : requests)
    {
        EXPECT_LE(request.size(), OpenRequest::kMaxRequestBytes);
        Decoder decoder;
        ASSERT_EQ(Decoder::State::Complete, DecodeWhole(request, decoder)) << decoder.Error();
        decoded.insert(decoded.end(), decoder.Files().begin(), decoder.Files().end());
    }
    EXPECT_EQ(files, decoded);
}

TEST(OpenRequestTest, AnythingElseIsRefused)
{
    const std::string good = OpenRequest::Encode({"/a.xpr"})[0];
    auto withByte = [&](std::size_t at, char value) {
        std::string bytes = good;
        bytes[at] = value;
        return bytes;
    };
    std::string relative = good;
    relative[10] = 'a';
    const struct
    {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"another protocol", "GET / HTTP/1.1\r\nHost: x\r\n\r\n"},
        {"a later version", withByte(5, 3)},
        {"more files than a request may carry", withByte(6, 1)},
        {"a path of no bytes", withByte(9, 0)},
        {"a path longer than any the system opens", withByte(8, 0x10)},
        {"a relative path", relative},
        {"a NUL in the path", good.substr(0, 11) + std::string(1, '\0') + good.substr(12)},
        {"bytes after the request", good + "more"},
    };
    for (const auto& c : cases)
    {
        Decoder decoder;
        EXPECT_EQ(Decoder::State::Refused, DecodeWhole(c.bytes, decoder)) << c.what;
        EXPECT_FALSE(decoder.Error().empty()) << c.what;
        EXPECT_TRUE(decoder.Files().empty()) << c.what;
        // Once refused, nothing more makes it whole.
        EXPECT_EQ(Decoder::State::Refused, DecodeWhole(good, decoder)) << c.what;
    }
    EXPECT_FALSE(OpenRequest::CanCarry("relative.xpr"));
    EXPECT_FALSE(OpenRequest::CanCarry("/" + std::string(OpenRequest::kMaxPathBytes, 'x')));
}

// A folder for the application's socket, as the session gives one.
struct RuntimeFolder
{
    testsupport::TempDir dir;
    std::string path = dir.Path().substr(0, dir.Path().size() - 1);
    bool made = ::chmod(path.c_str(), 0700) == 0;
    testsupport::ScopedEnv env{"XDG_RUNTIME_DIR", path.c_str()};
};

TEST(SingleInstancePlaceTest, EachDesktopHasASocketInAFolderOnlyTheUserEnters)
{
    RuntimeFolder runtime;
    testsupport::ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
    testsupport::ScopedEnv display("DISPLAY", ":7");
    SingleInstance::Place place;
    std::string why;
    ASSERT_TRUE(SingleInstance::FindPlace(place, why)) << why;
    EXPECT_EQ(runtime.path + "/nuvaro", place.folder);
    struct stat info{};
    ASSERT_EQ(0, ::lstat(place.folder.c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 07777);
    EXPECT_EQ(0u, place.socket.rfind(place.folder + "/", 0));
    EXPECT_NE(place.socket, place.lock);

    testsupport::ScopedEnv otherDisplay("DISPLAY", ":8/../x");
    SingleInstance::Place other;
    ASSERT_TRUE(SingleInstance::FindPlace(other, why)) << why;
    EXPECT_NE(place.socket, other.socket);
    EXPECT_EQ(place.folder + "/", other.socket.substr(0, place.folder.size() + 1));

    // Without a session folder: one of the user's own in the temporary folder.
    testsupport::TempDir tmp;
    testsupport::ScopedEnv tmpEnv("TMPDIR", tmp.Path().c_str());
    testsupport::ScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
    ASSERT_TRUE(SingleInstance::FindPlace(other, why)) << why;
    EXPECT_EQ(tmp.Path() + "nuvaro-" + std::to_string(::getuid()), other.folder);
}

TEST(SingleInstancePlaceTest, AFolderOthersCanEnterOrOwnIsNeverUsed)
{
    SingleInstance::Place place;
    std::string why;
    {
        RuntimeFolder runtime;
        ASSERT_EQ(0, ::chmod(runtime.path.c_str(), 0755));
        EXPECT_FALSE(SingleInstance::FindPlace(place, why));
        EXPECT_NE(std::string::npos, why.find("open to other users (mode 0755)")) << why;
    }
    {
        RuntimeFolder runtime;
        ASSERT_EQ(0, ::mkdir((runtime.path + "/nuvaro").c_str(), 0770));
        ASSERT_EQ(0, ::chmod((runtime.path + "/nuvaro").c_str(), 0770));
        EXPECT_FALSE(SingleInstance::FindPlace(place, why));
        EXPECT_NE(std::string::npos, why.find("open to other users")) << why;
    }
    {
        // A link, even to a private folder, may be turned to another.
        RuntimeFolder runtime;
        testsupport::TempDir elsewhere;
        ASSERT_EQ(0, ::chmod(elsewhere.Path().c_str(), 0700));
        ASSERT_EQ(0, ::symlink(elsewhere.Path().c_str(), (runtime.path + "/nuvaro").c_str()));
        EXPECT_FALSE(SingleInstance::FindPlace(place, why));
        EXPECT_NE(std::string::npos, why.find("is a link")) << why;
    }
    {
        RuntimeFolder runtime;
        EXPECT_FALSE(SingleInstance::IsPrivateFolder(runtime.path, ::getuid() + 1, why));
        EXPECT_NE(std::string::npos, why.find("belongs to another user")) << why;
        if (::geteuid() == 0)
        {
            // Really another user's folder.
            ASSERT_EQ(0, ::mkdir((runtime.path + "/nuvaro").c_str(), 0700));
            ASSERT_EQ(0, ::chown((runtime.path + "/nuvaro").c_str(), 65534, 65534));
            EXPECT_FALSE(SingleInstance::FindPlace(place, why));
            EXPECT_NE(std::string::npos, why.find("belongs to another user")) << why;
        }
    }
}

TEST(SingleInstancePlaceTest, PathsAreMadeAbsoluteAgainstTheWorkingFolder)
{
    char cwd[4096];
    ASSERT_NE(nullptr, ::getcwd(cwd, sizeof cwd));
    EXPECT_EQ(std::string(cwd) + "/-platform", SingleInstance::Absolute("-platform"));
    EXPECT_EQ(std::string(cwd) + "/a/../b.xpr", SingleInstance::Absolute("a/../b.xpr"));
    EXPECT_EQ("/x/y.xpr", SingleInstance::Absolute("/x/y.xpr"));
}

TEST(SingleInstanceLockTest, OneHolderAtATimeAndTheStartedCopyTakesItOver)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("desktop.lock");
    SingleInstance::Lock first;
    ASSERT_TRUE(first.Acquire(path, 0));
    SingleInstance::Lock second;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(second.Acquire(path, 150));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));

    // The launch hands its lock to the copy it starts; the copy holds it
    // (a fresh open of the file still waits) until it lets it go.
    first.HandToChild();
    SingleInstance::Lock adopted;
    ASSERT_TRUE(adopted.Adopt(path));
    EXPECT_EQ(nullptr, std::getenv(SingleInstance::kLockVariable));
    EXPECT_FALSE(second.Acquire(path, 0));
    adopted.Release();
    EXPECT_TRUE(second.Acquire(path, 0));

    // A variable that names anything but the lock file is not a lock.
    testsupport::ScopedEnv bogus(SingleInstance::kLockVariable, "0");
    SingleInstance::Lock none;
    EXPECT_FALSE(none.Adopt(path));
    testsupport::ScopedEnv garbage(SingleInstance::kLockVariable, "7x");
    EXPECT_FALSE(none.Adopt(path));
}

TEST(SingleInstanceTest, ThePeerIsCheckedForTheUser)
{
    int pair[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
    EXPECT_TRUE(SingleInstance::PeerIsUser(pair[0], ::getuid()));
    EXPECT_FALSE(SingleInstance::PeerIsUser(pair[0], ::getuid() + 1));
    ::close(pair[0]);
    ::close(pair[1]);
    EXPECT_FALSE(SingleInstance::PeerIsUser(-1, ::getuid()));
}

// A raw local socket at path: bound only (a file no application answers
// on), or listening without ever accepting (a hung application).
int RawSocket(const std::string& path, bool listening)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || (listening && ::listen(fd, 4) != 0))
    {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Runs the function on a thread of its own while this thread serves events
// (or, busy, does not until it is done); its result.
template <typename Function>
auto RunBeside(Function function, bool busy = false)
{
    auto result = std::async(std::launch::async, std::move(function));
    if (busy)
        result.wait();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 90000));
    return result.get();
}

// Runs the hand-over on a thread of its own while this thread serves events.
SingleInstance::Delivery HandOverWhileServing(const std::string& socket, const Strings& files, int timeoutMs,
                                              uid_t user, std::string& why)
{
    return RunBeside([&] { return SingleInstance::HandOver(socket, files, timeoutMs, user, why); });
}

class OpenRequestServerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, ::chmod(dir.Path().c_str(), 0700));
        server.setReceiver([this](const QStringList& files) { received.push_back(files); });
        ASSERT_TRUE(server.listen(QString::fromStdString(socket)));
    }

    testsupport::TempDir dir;
    std::string socket = dir.File("desktop.socket");
    OpenRequestServer server;
    std::vector<QStringList> received;
};

TEST_F(OpenRequestServerTest, ALaunchHandsOverItsFilesAndEndsOnTheAnswer)
{
    std::string why;
    EXPECT_EQ(SingleInstance::Delivery::Delivered,
              HandOverWhileServing(socket, {"/a/one.xpr", "/b/-reverse"}, 30000, ::getuid(), why))
        << why;
    ASSERT_EQ(1u, received.size());
    EXPECT_EQ((QStringList{"/a/one.xpr", "/b/-reverse"}), received[0]);
    // A bare launch hands over no file.
    EXPECT_EQ(SingleInstance::Delivery::Delivered, HandOverWhileServing(socket, {}, 30000, ::getuid(), why)) << why;
    ASSERT_EQ(2u, received.size());
    EXPECT_TRUE(received[1].isEmpty());
}

TEST_F(OpenRequestServerTest, RequestsWaitForTheApplicationToBeReady)
{
    // Launches made while the application starts wait for it, and their
    // files go to it in order once it is ready.
    OpenRequestServer starting;
    const std::string path = dir.File("starting.socket");
    ASSERT_TRUE(starting.listen(QString::fromStdString(path)));
    std::string why1, why2;
    auto first = std::async(std::launch::async,
                            [&] { return SingleInstance::HandOver(path, {"/1.xpr"}, 60000, ::getuid(), why1); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return starting.waitingRequests() == 1; }, 30000));
    auto second = std::async(std::launch::async,
                             [&] { return SingleInstance::HandOver(path, {"/2.xpr"}, 60000, ::getuid(), why2); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return starting.waitingRequests() == 2; }, 30000));
    std::vector<QStringList> late;
    starting.setReceiver([&](const QStringList& files) { late.push_back(files); });
    EXPECT_EQ(SingleInstance::Delivery::Delivered, first.get()) << why1;
    EXPECT_EQ(SingleInstance::Delivery::Delivered, second.get()) << why2;
    EXPECT_EQ((std::vector<QStringList>{{"/1.xpr"}, {"/2.xpr"}}), late);

    // Only so many wait: a launch beyond them is refused at once.
    OpenRequestServer busy;
    const std::string busyPath = dir.File("busy.socket");
    ASSERT_TRUE(busy.listen(QString::fromStdString(busyPath)));
    constexpr int kLaunches = OpenRequestServer::kMaxWaitingRequests + 3;
    std::string whys[kLaunches];
    std::vector<std::future<SingleInstance::Delivery>> launches;
    for (int i = 0; i < kLaunches; ++i)
        launches.push_back(std::async(std::launch::async, [&, i] {
            return SingleInstance::HandOver(busyPath, {"/n.xpr"}, 60000, ::getuid(), whys[i]);
        }));
    auto ended = [&] {
        int count = 0;
        for (auto& launch : launches)
            count += launch.wait_for(std::chrono::seconds(0)) == std::future_status::ready ? 1 : 0;
        return count;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended() == kLaunches - OpenRequestServer::kMaxWaitingRequests; }, 30000));
    int received = 0;
    busy.setReceiver([&](const QStringList&) { ++received; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended() == kLaunches; }, 30000));
    int taken = 0;
    for (auto& launch : launches)
        taken += launch.get() == SingleInstance::Delivery::Delivered ? 1 : 0;
    EXPECT_EQ(OpenRequestServer::kMaxWaitingRequests, taken);
    EXPECT_EQ(OpenRequestServer::kMaxWaitingRequests, received);
}

TEST_F(OpenRequestServerTest, NoApplicationAnsweringMeansNoHandOver)
{
    std::string why;
    // No socket at all.
    EXPECT_EQ(SingleInstance::Delivery::NoInstance,
              SingleInstance::HandOver(dir.File("none.socket"), {"/a.xpr"}, 2000, ::getuid(), why));
    // A socket file left by an application that crashed: refused at once.
    const int stale = RawSocket(dir.File("stale.socket"), false);
    ASSERT_GE(stale, 0);
    ::close(stale);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SingleInstance::Delivery::NoInstance,
              SingleInstance::HandOver(dir.File("stale.socket"), {"/a.xpr"}, 60000, ::getuid(), why));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    // An application that hangs: the launch gives up after the time-out.
    const int hung = RawSocket(dir.File("hung.socket"), true);
    ASSERT_GE(hung, 0);
    EXPECT_EQ(SingleInstance::Delivery::NoInstance,
              SingleInstance::HandOver(dir.File("hung.socket"), {"/a.xpr"}, 300, ::getuid(), why));
    EXPECT_NE(std::string::npos, why.find("did not answer")) << why;
    ::close(hung);
    // Something not a socket.
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("plain.socket"), "x"));
    EXPECT_EQ(SingleInstance::Delivery::NoInstance,
              SingleInstance::HandOver(dir.File("plain.socket"), {"/a.xpr"}, 2000, ::getuid(), why));
    EXPECT_TRUE(received.empty());
}

TEST_F(OpenRequestServerTest, AnotherUsersSocketOrLaunchIsNeverServed)
{
    std::string why;
    // The launch does not trust a socket (or a link to one) of another user.
    EXPECT_EQ(SingleInstance::Delivery::NoInstance,
              HandOverWhileServing(socket, {"/a.xpr"}, 2000, ::getuid() + 1, why));
    ASSERT_EQ(0, ::symlink(socket.c_str(), dir.File("link.socket").c_str()));
    EXPECT_EQ(SingleInstance::Delivery::NoInstance,
              HandOverWhileServing(dir.File("link.socket"), {"/a.xpr"}, 2000, ::getuid(), why));
    EXPECT_TRUE(received.empty());

    // The application serves no launch of another user.
    OpenRequestServer others(::getuid() + 1);
    std::vector<QStringList> got;
    others.setReceiver([&](const QStringList& files) { got.push_back(files); });
    ASSERT_TRUE(others.listen(QString::fromStdString(dir.File("others.socket"))));
    EXPECT_EQ(SingleInstance::Delivery::NoInstance,
              HandOverWhileServing(dir.File("others.socket"), {"/a.xpr"}, 2000, ::getuid(), why));
    EXPECT_TRUE(got.empty());
}

TEST_F(OpenRequestServerTest, GarbageSilenceAndCrowdsAreDroppedWithoutStoppingTheServer)
{
    std::string answer;
    {
        RawPeer garbage(socket);
        ASSERT_TRUE(garbage.connected);
        garbage.Send("GET / HTTP/1.1\r\n\r\n");
        EXPECT_TRUE(garbage.ClosedByServer(answer, 30000));
        EXPECT_EQ("", answer);
    }
    {
        // A request announcing a long path that never comes.
        server.setRequestTimeout(300);
        RawPeer stalling(socket);
        std::string request = OpenRequest::Encode({"/" + std::string(4000, 'x')})[0];
        stalling.Send(request.substr(0, 100));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(stalling.ClosedByServer(answer, 30000));
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
        EXPECT_EQ("", answer);
    }
    std::string why;
    {
        // Silent peers take at most the connections the server keeps: a
        // newer one puts out the oldest, and they keep no launch out.
        server.setRequestTimeout(OpenRequestServer::kDefaultRequestTimeoutMs);
        std::vector<std::unique_ptr<RawPeer>> crowd;
        for (int i = 0; i < OpenRequestServer::kMaxConnections + 2; ++i)
            crowd.push_back(std::make_unique<RawPeer>(socket));
        std::string oldest;
        EXPECT_TRUE(crowd[0]->ClosedByServer(oldest, 30000));
        EXPECT_TRUE(crowd[1]->ClosedByServer(oldest, 30000));
        std::string newest;
        EXPECT_FALSE(crowd.back()->ClosedByServer(newest, 50));
        EXPECT_EQ(SingleInstance::Delivery::Delivered,
                  HandOverWhileServing(socket, {"/past/the/crowd.xpr"}, 30000, ::getuid(), why))
            << why;
    }
    EXPECT_EQ(SingleInstance::Delivery::Delivered,
              HandOverWhileServing(socket, {"/still/served.xpr"}, 30000, ::getuid(), why))
        << why;
    ASSERT_EQ(2u, received.size());
    EXPECT_EQ(QStringList{"/past/the/crowd.xpr"}, received[0]);
    EXPECT_EQ(QStringList{"/still/served.xpr"}, received[1]);
}

// The main thread does not serve events for a while: the launch waits past
// idle peers, and the files are opened once the main thread takes them.
TEST_F(OpenRequestServerTest, ALaunchWaitsPastIdlePeersWhileTheMainThreadIsBusy)
{
    std::vector<std::unique_ptr<RawPeer>> idle;
    for (int i = 0; i < 2 * OpenRequestServer::kMaxConnections; ++i)
    {
        idle.push_back(std::make_unique<RawPeer>(socket));
        ASSERT_TRUE(idle.back()->connected);
    }
    std::string why1, why2;
    auto first = std::async(std::launch::async, [&] {
        return SingleInstance::HandOver(socket, {"/busy/one.xpr"}, 60000, ::getuid(), why1);
    });
    auto second = std::async(std::launch::async, [&] {
        first.wait();
        return SingleInstance::HandOver(socket, {"/busy/two.xpr"}, 60000, ::getuid(), why2);
    });
    const auto start = std::chrono::steady_clock::now();
    while ((server.waitingRequests() == 0 || std::chrono::steady_clock::now() < start + std::chrono::seconds(1)) &&
           std::chrono::steady_clock::now() < start + std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(1, server.waitingRequests());
    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 2; }, 30000));
    EXPECT_EQ(SingleInstance::Delivery::Delivered, first.get()) << why1;
    EXPECT_EQ(SingleInstance::Delivery::Delivered, second.get()) << why2;
    EXPECT_EQ((std::vector<QStringList>{{"/busy/one.xpr"}, {"/busy/two.xpr"}}), received);
}

// The application that runs holds the alive lock beside its socket: a
// second one neither takes over its socket nor replaces it.
TEST_F(OpenRequestServerTest, ALiveApplicationsSocketIsNeverTakenOver)
{
    OpenRequestServer second;
    QString why;
    EXPECT_FALSE(second.listen(QString::fromStdString(socket), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(second.isListening());
    EXPECT_TRUE(SingleInstance::IsAlive(SingleInstance::AliveFile(socket)));
    std::string handOverWhy;
    EXPECT_EQ(SingleInstance::Delivery::Delivered,
              HandOverWhileServing(socket, {"/first/one.xpr"}, 30000, ::getuid(), handOverWhy))
        << handOverWhy;
    EXPECT_EQ(1u, received.size());
}

// A launch finds the application through the place: alive however slow it
// is to answer, dead only when no process holds its alive lock.
TEST(SingleInstanceReachTest, OnlyAnApplicationThatIsGoneIsStartedAgain)
{
    RuntimeFolder runtime;
    SingleInstance::Place place;
    std::string why;
    ASSERT_TRUE(SingleInstance::FindPlace(place, why)) << why;
    EXPECT_EQ(SingleInstance::AliveFile(place.socket), place.alive);
    SingleInstance::Patience patience;
    patience.lockWaitMs = 1000;
    patience.giveUpMs = 700;

    // Alive but hung: never answers. The launch tries for a while, gives up
    // and does not hold the lock (it starts nothing).
    SingleInstance::Lock alive;
    ASSERT_TRUE(alive.Acquire(place.alive, 0));
    const int hung = RawSocket(place.socket, true);
    ASSERT_GE(hung, 0);
    SingleInstance::Lock lock;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SingleInstance::Delivery::NotTaken,
              SingleInstance::Reach(place, lock, {"/a.xpr"}, patience, ::getuid(), why));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(patience.giveUpMs));
    EXPECT_NE(std::string::npos, why.find("did not answer")) << why;
    EXPECT_FALSE(lock.IsHeld());

    // It dies: the system lets its lock go, and the launch starts the
    // application at once, holding the lock.
    alive.Release();
    ::close(hung);
    EXPECT_EQ(SingleInstance::Delivery::NoInstance,
              SingleInstance::Reach(place, lock, {"/a.xpr"}, patience, ::getuid(), why));
    EXPECT_TRUE(lock.IsHeld());
    lock.Release();

    // An application that serves: the files go to it.
    OpenRequestServer server;
    std::vector<QStringList> received;
    server.setReceiver([&](const QStringList& files) { received.push_back(files); });
    ASSERT_TRUE(server.listen(QString::fromStdString(place.socket)));
    patience.giveUpMs = 60000;
    EXPECT_EQ(SingleInstance::Delivery::Delivered,
              RunBeside([&] { return SingleInstance::Reach(place, lock, {"/b.xpr"}, patience, ::getuid(), why); }))
        << why;
    EXPECT_FALSE(lock.IsHeld());
    EXPECT_EQ(1u, received.size());
}

// Whatever a launch does once its request is read, its files are opened
// exactly when it counts them handed over: once, or never.
TEST_F(OpenRequestServerTest, FilesAreOpenedExactlyWhenTheLaunchCountsThemHandedOver)
{
    const std::string request = OpenRequest::Encode({"/x.xpr"})[0];
    const std::string& taking = OpenRequest::kTaking;
    // A raw launch that sends its request and then does what then does;
    // whether it counts the files handed over.
    auto raw = [&](std::function<bool(RawPeer&)> then) {
        return [&, then] {
            RawPeer peer(socket);
            return peer.Send(request) && then(peer);
        };
    };
    const struct
    {
        const char* what;
        std::function<bool()> launch;
        // The main thread serves no events until the launch is done.
        bool busy = false;
    } cases[] = {
        {"goes on once answered",
         raw([&](RawPeer& peer) { return peer.Read(4, 30000) == taking && peer.Send(OpenRequest::kGo); })},
        {"gives up before it is answered", raw([](RawPeer&) { return false; })},
        {"gives up once answered", raw([](RawPeer& peer) {
             peer.Read(4, 30000);
             return false;
         })},
        {"answers otherwise", raw([](RawPeer& peer) {
             peer.Read(4, 30000);
             peer.Send("NVNO");
             return false;
         })},
        // The application waits so long for it, then closes the connection.
        {"goes on too late", raw([&](RawPeer& peer) {
             return peer.Read(4, 30000) == taking && peer.ClosedWithin(30000) && peer.Send(OpenRequest::kGo);
         })},
        // A launch as it runs, giving up while the window does not serve.
        {"a launch that gives up on a busy window",
         [&] {
             std::string why;
             return SingleInstance::HandOver(socket, {"/x.xpr"}, 300, ::getuid(), why) ==
                    SingleInstance::Delivery::Delivered;
         },
         true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        received.clear();
        const bool counted = RunBeside(c.launch, c.busy);
        // Requests are taken in order: once a later one is, this one was.
        std::string why;
        ASSERT_EQ(SingleInstance::Delivery::Delivered,
                  HandOverWhileServing(socket, {"/later.xpr"}, 30000, ::getuid(), why))
            << why;
        std::vector<QStringList> expected{{"/later.xpr"}};
        if (counted)
            expected.insert(expected.begin(), QStringList{"/x.xpr"});
        EXPECT_EQ(expected, received);
    }
}

// The application stops serving as it starts to quit (or fails to start):
// a launch that waits is not answered, finds no application alive and
// starts its own, which serves the next launches.
TEST(SingleInstanceReachTest, AnApplicationThatStopsServingLetsTheWaitingLaunchStartItsOwn)
{
    RuntimeFolder runtime;
    SingleInstance::Place place;
    std::string why;
    ASSERT_TRUE(SingleInstance::FindPlace(place, why)) << why;
    SingleInstance::Patience patience;
    patience.giveUpMs = 60000;
    for (const bool ready : {false, true})
    {
        SCOPED_TRACE(ready ? "the window quits with a launch waiting" : "the start fails with a launch waiting");
        std::vector<QStringList> received;
        auto quitting = std::make_unique<OpenRequestServer>();
        ASSERT_TRUE(quitting->listen(QString::fromStdString(place.socket)));
        if (ready)
            quitting->setReceiver([&](const QStringList& files) { received.push_back(files); });
        SingleInstance::Lock lock;
        auto reached = std::async(std::launch::async, [&] {
            return SingleInstance::Reach(place, lock, {"/a.xpr"}, patience, ::getuid(), why);
        });
        // The main thread serves no events meanwhile.
        const auto start = std::chrono::steady_clock::now();
        while (quitting->waitingRequests() == 0 && std::chrono::steady_clock::now() < start + std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(1, quitting->waitingRequests());
        quitting->close();
        EXPECT_FALSE(SingleInstance::IsAlive(place.alive));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return reached.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 90000));
        EXPECT_EQ(SingleInstance::Delivery::NoInstance, reached.get()) << why;
        EXPECT_TRUE(lock.IsHeld());
        QTest::qWait(0);
        EXPECT_TRUE(received.empty());

        // The launch's own application, while the first one still ends.
        OpenRequestServer next;
        std::vector<QStringList> taken;
        next.setReceiver([&](const QStringList& files) { taken.push_back(files); });
        ASSERT_TRUE(next.listen(QString::fromStdString(place.socket)));
        lock.Release();
        quitting.reset();
        EXPECT_EQ(SingleInstance::Delivery::Delivered,
                  RunBeside([&] { return SingleInstance::Reach(place, lock, {"/b.xpr"}, patience, ::getuid(), why); }))
            << why;
        EXPECT_EQ(std::vector<QStringList>{{"/b.xpr"}}, taken);
    }
}

// SingleInstance::IsAlive(path) in a child process: 1 or 0, or -1 when it
// did not return within ms (it blocked).
int IsAliveWithin(const std::string& path, int ms)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(SingleInstance::IsAlive(path) ? 1 : 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0)
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Anything but a regular file of the user where the alive file (or the
// socket) goes was left there: a launch finds no application alive, without
// waiting, and the application it starts replaces it, never following it,
// and serves.
TEST(SingleInstanceAliveTest, AnythingButARegularFileOfTheUserIsReplaced)
{
    RuntimeFolder runtime;
    SingleInstance::Place place;
    std::string why;
    ASSERT_TRUE(SingleInstance::FindPlace(place, why)) << why;
    testsupport::TempDir elsewhere;
    const std::string target = elsewhere.File("target");
    ASSERT_TRUE(testsupport::WriteFileBytes(target, "keep"));
    using Make = std::function<bool(const std::string&)>;
    const struct
    {
        const char* what;
        Make make;
        bool atSocket = false;
    } cases[] = {
        {"a FIFO", [](const std::string& at) { return ::mkfifo(at.c_str(), 0600) == 0; }},
        {"a folder with a file in it",
         [](const std::string& at) {
             return ::mkdir(at.c_str(), 0700) == 0 && testsupport::WriteFileBytes(at + "/inside", "x");
         }},
        {"a link to a regular file",
         [&](const std::string& at) { return ::symlink(target.c_str(), at.c_str()) == 0; }},
        {"a socket",
         [](const std::string& at) {
             const int fd = RawSocket(at, false);
             ::close(fd);
             return fd >= 0;
         }},
        {"another user's file",
         [](const std::string& at) {
             return ::geteuid() != 0 ||
                    (testsupport::WriteFileBytes(at, "") && ::chown(at.c_str(), 65534, 65534) == 0);
         }},
        {"a folder with a file in it at the socket's place",
         [](const std::string& at) {
             return ::mkdir(at.c_str(), 0700) == 0 && testsupport::WriteFileBytes(at + "/inside", "x");
         },
         true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        ::unlink(place.alive.c_str());
        ASSERT_TRUE(c.make(c.atSocket ? place.socket : place.alive));
        EXPECT_EQ(0, IsAliveWithin(place.alive, 30000));
        {
            OpenRequestServer server;
            std::vector<QStringList> received;
            server.setReceiver([&](const QStringList& files) { received.push_back(files); });
            QString listenWhy;
            ASSERT_TRUE(server.listen(QString::fromStdString(place.socket), &listenWhy)) << listenWhy.toStdString();
            EXPECT_TRUE(SingleInstance::IsAlive(place.alive));
            EXPECT_EQ(SingleInstance::Delivery::Delivered,
                      HandOverWhileServing(place.socket, {"/x.xpr"}, 30000, ::getuid(), why))
                << why;
            EXPECT_EQ(std::vector<QStringList>{{"/x.xpr"}}, received);
        }
        EXPECT_EQ("keep", testsupport::ReadFileBytes(target));
        // What was moved aside.
        for (const auto& entry : std::filesystem::directory_iterator(place.folder))
            if (entry.path().filename().string().find(".stale-") != std::string::npos)
                std::filesystem::remove_all(entry.path());
    }
}
} // namespace
