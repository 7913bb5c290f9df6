// Findable windows and WM_COPYDATA between threads and processes over the
// user's private window folder.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "ProcessRunner.h"
#include "QueueDispatcher.h"
#include "TestEnvironment.h"
#include "platform/Process.h"
#include "platform/Window.h"

using namespace platform;
using testsupport::QueueDispatcher;

namespace {

const CString kClass = u"#32770";

// A window whose handler records what it got and on which thread.
struct RecordingWindow {
    QueueDispatcher queue;
    CFindableWindow window;
    std::atomic<int> calls{0};
    std::vector<char> lastData;
    ULONG_PTR lastDwData = 0;
    std::thread::id handlerThread;

    EWindowCreateResult Create(const CString& title)
    {
        return window.Create(
            kClass, title,
            [this](WPARAM, const COPYDATASTRUCT& data) {
                handlerThread = std::this_thread::get_id();
                const char* bytes = static_cast<const char*>(data.lpData);
                lastData.assign(bytes, bytes + data.cbData);
                lastDwData = data.dwData;
                ++calls;
                return static_cast<LRESULT>(1000 + data.cbData);
            },
            queue.Dispatcher());
    }
};

// A raw connection to a window's socket, for senders that break the rules.
int RawConnect(const CString& title)
{
    std::string path = (WindowFolder() + u"/" + WindowSocketName(kClass, title)).ToUtf8();
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address)) << path;
    return fd;
}

void SendHeader(int fd, std::uint32_t cbData, std::uint32_t message = WM_COPYDATA)
{
    std::uint32_t header[8] = {0x4D574356, message, 0, 0, 0, 0, cbData, 0};
    ASSERT_EQ(static_cast<ssize_t>(sizeof header), send(fd, header, sizeof header, MSG_NOSIGNAL));
}

// Whether the peer closed the connection within `ms` (reads and drops data).
bool ClosedWithin(int fd, int ms)
{
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char buffer[64];
    for (;;) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n == 0)
            return true;
        if (n < 0)
            return errno == ECONNRESET;
    }
}

std::string Peer()
{
    return (testsupport::BinDir() / "windowpeer").string();
}

struct PeerRun {
    CProcessHandle process;
    CPipeReader pipe;
    CString output;
};

void StartPeer(PeerRun& run, const std::string& arguments)
{
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(CString::FromUtf8("\"" + Peer() + "\" " + arguments), EProcessOutput::eCapturedPipe,
                             run.process, &run.pipe, error))
        << error;
}

} // namespace

TEST(WindowTest, AMessageFromAnotherThreadIsHandledOnTheOwningThreadWithItsResult)
{
    RecordingWindow receiver;
    ASSERT_EQ(EWindowCreateResult::eCreated, receiver.Create(u"veilcase test 1"));
    HWND found = platform::FindWindowW(kClass, u"veilcase test 1");
    ASSERT_EQ(receiver.window.GetHandle(), found);

    std::vector<char> block(5456);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);
    std::atomic<bool> sent{false};
    bool delivered = false;
    LRESULT result = 0;
    std::thread sender([&] {
        COPYDATASTRUCT cds{1, static_cast<DWORD>(block.size()), block.data()};
        delivered = SendCopyData(found, 0, cds, 10000, result);
        sent = true;
    });
    ASSERT_TRUE(receiver.queue.PumpUntil([&] { return sent.load(); }));
    sender.join();
    EXPECT_TRUE(delivered);
    EXPECT_EQ(1000 + 5456, result);
    EXPECT_EQ(block, receiver.lastData);
    EXPECT_EQ(1u, receiver.lastDwData);
    EXPECT_EQ(std::this_thread::get_id(), receiver.handlerThread);
}

TEST(WindowTest, AWindowOfTheCallingThreadIsCalledDirectly)
{
    RecordingWindow receiver;
    ASSERT_EQ(EWindowCreateResult::eCreated, receiver.Create(u"veilcase test direct"));
    char data[3] = {1, 2, 3};
    COPYDATASTRUCT cds{7, 3, data};
    EXPECT_EQ(1003, platform::SendMessageW(receiver.window.GetHandle(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)));
    EXPECT_EQ(1, receiver.calls.load());
    // Other messages are not carried.
    EXPECT_EQ(0, platform::SendMessageW(receiver.window.GetHandle(), 0x0010, 0, reinterpret_cast<LPARAM>(&cds)));
}

TEST(WindowTest, AnotherProcessFindsTheWindowAndGetsTheHandlersResult)
{
    RecordingWindow receiver;
    ASSERT_EQ(EWindowCreateResult::eCreated, receiver.Create(u"veilcase 9.9.9"));
    PeerRun peer;
    StartPeer(peer, "send \"#32770\" \"veilcase 9.9.9\" 5456 1");
    ASSERT_TRUE(receiver.queue.PumpUntil([&] { return peer.process.Wait(0) == WAIT_OBJECT_0; }));
    ReadPipeOutput(peer.pipe, 50, peer.output);
    DWORD code = 99;
    peer.process.GetExitCode(code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(CString(u"result 6456\n"), peer.output);
    ASSERT_EQ(5456u, receiver.lastData.size());
    EXPECT_EQ(static_cast<char>(255), receiver.lastData[255]);

    // A title of another version names no window.
    PeerRun other;
    StartPeer(other, "send \"#32770\" \"veilcase 9.9.8\" 10");
    other.process.Wait(10000);
    other.process.GetExitCode(code);
    EXPECT_EQ(3u, code);
}

TEST(WindowTest, AWindowOfAnotherProcessNamesThatProcess)
{
    PeerRun server;
    StartPeer(server, "serve \"#32770\" \"veilcase peer\"");
    std::string pending;
    for (int i = 0; i < 200 && server.output.Find(u"ready") < 0; ++i)
        ReadPipeOutput(server.pipe, 25, server.output, &pending);
    ASSERT_GE(server.output.Find(u"ready"), 0);

    HWND window = platform::FindWindowW(kClass, u"veilcase peer");
    ASSERT_NE(nullptr, window);
    DWORD pid = 0;
    EXPECT_NE(0u, platform::GetWindowThreadProcessId(window, &pid));
    EXPECT_EQ(server.process.GetId(), pid);
    char data[10] = {};
    COPYDATASTRUCT cds{1, 10, data};
    EXPECT_EQ(10, platform::SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)));

    // Killed hard, it leaves its socket behind: the name is free again, the
    // old handle delivers nothing, and a new window takes the name.
    server.process.Terminate(9);
    server.process.Wait(5000);
    EXPECT_EQ(nullptr, platform::FindWindowW(kClass, u"veilcase peer"));
    EXPECT_EQ(0, platform::SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)));
    RecordingWindow successor;
    EXPECT_EQ(EWindowCreateResult::eCreated, successor.Create(u"veilcase peer"));
    EXPECT_EQ(successor.window.GetHandle(), platform::FindWindowW(kClass, u"veilcase peer"));
}

TEST(WindowTest, OneNameBelongsToOneLiveWindow)
{
    RecordingWindow first;
    RecordingWindow second;
    ASSERT_EQ(EWindowCreateResult::eCreated, first.Create(u"veilcase once"));
    EXPECT_EQ(EWindowCreateResult::eNameTaken, second.Create(u"veilcase once"));
    first.window.Destroy();
    EXPECT_EQ(nullptr, platform::FindWindowW(kClass, u"veilcase once"));
    EXPECT_EQ(EWindowCreateResult::eCreated, second.Create(u"veilcase once"));
    EXPECT_NE(nullptr, platform::FindWindowW(kClass, u"veilcase once"));
}

TEST(WindowTest, ASilentSenderIsCutOffAndDoesNotHoldUpOthers)
{
    RecordingWindow receiver;
    ASSERT_EQ(EWindowCreateResult::eCreated, receiver.Create(u"veilcase slow"));
    int silent = RawConnect(u"veilcase slow");
    int half = RawConnect(u"veilcase slow");
    SendHeader(half, 100);
    char part[50] = {};
    send(half, part, sizeof part, MSG_NOSIGNAL);

    // A proper sender gets through while the other two hang.
    std::atomic<bool> sent{false};
    LRESULT result = 0;
    std::thread sender([&] {
        char data[4] = {};
        COPYDATASTRUCT cds{1, 4, data};
        SendCopyData(receiver.window.GetHandle(), 0, cds, 10000, result);
        sent = true;
    });
    ASSERT_TRUE(receiver.queue.PumpUntil([&] { return sent.load(); }));
    sender.join();
    EXPECT_EQ(1004, result);

    // Both are dropped once their time is up; the handler never saw them.
    EXPECT_TRUE(ClosedWithin(silent, 10000));
    EXPECT_TRUE(ClosedWithin(half, 10000));
    receiver.queue.PumpFor(50);
    EXPECT_EQ(1, receiver.calls.load());
    close(silent);
    close(half);
}

TEST(WindowTest, OversizedOrForeignMessagesAreRefusedUnread)
{
    RecordingWindow receiver;
    ASSERT_EQ(EWindowCreateResult::eCreated, receiver.Create(u"veilcase big"));
    int big = RawConnect(u"veilcase big");
    SendHeader(big, ciMaxCopyDataBytes + 1);
    EXPECT_TRUE(ClosedWithin(big, 5000));
    int other = RawConnect(u"veilcase big");
    SendHeader(other, 4, 0x0010);
    EXPECT_TRUE(ClosedWithin(other, 5000));
    // A sender that announces more than it sends and leaves is dropped too.
    int cut = RawConnect(u"veilcase big");
    SendHeader(cut, 5456);
    close(cut);
    receiver.queue.PumpFor(100);
    EXPECT_EQ(0, receiver.calls.load());
    close(big);
    close(other);

    // The sending side refuses an oversized block before connecting.
    std::vector<char> block(ciMaxCopyDataBytes + 1);
    COPYDATASTRUCT cds{1, static_cast<DWORD>(block.size()), block.data()};
    LRESULT result = 0;
    EXPECT_FALSE(SendCopyData(receiver.window.GetHandle(), 0, cds, 1000, result));
}

TEST(WindowTest, AFolderOpenToOthersIsRefused)
{
    CString folder = WindowFolder();
    ASSERT_FALSE(folder.IsEmpty());
    std::string native = folder.ToUtf8();
    struct stat st {};
    ASSERT_EQ(0, stat(native.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);

    RecordingWindow receiver;
    ASSERT_EQ(EWindowCreateResult::eCreated, receiver.Create(u"veilcase open"));
    ASSERT_EQ(0, chmod(native.c_str(), 0755));
    EXPECT_EQ(nullptr, platform::FindWindowW(kClass, u"veilcase open"));
    RecordingWindow another;
    EXPECT_EQ(EWindowCreateResult::eFolderRefused, another.Create(u"veilcase open 2"));
    ASSERT_EQ(0, chmod(native.c_str(), 0700));
    EXPECT_NE(nullptr, platform::FindWindowW(kClass, u"veilcase open"));
}

TEST(WindowTest, MessagesQueuedForADestroyedWindowAreAnsweredWithZero)
{
    auto receiver = std::make_unique<RecordingWindow>();
    ASSERT_EQ(EWindowCreateResult::eCreated, receiver->Create(u"veilcase gone"));
    HWND handle = receiver->window.GetHandle();
    std::atomic<bool> sent{false};
    bool delivered = true;
    std::thread sender([&] {
        char data[4] = {};
        COPYDATASTRUCT cds{1, 4, data};
        LRESULT result = 0;
        delivered = SendCopyData(handle, 0, cds, 10000, result) && result != 0;
        sent = true;
    });
    // Let the message reach the queue, then destroy the window before it runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    receiver->window.Destroy();
    receiver->queue.PumpUntil([&] { return sent.load(); });
    sender.join();
    EXPECT_FALSE(delivered);
    EXPECT_EQ(0, receiver->calls.load());
}
