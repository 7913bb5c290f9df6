// Findable windows over Unix sockets: one listening socket per window in the
// user's private window folder, named from the window's class and title. A
// thread of the window collects each message (same user only, bounded in size
// and time) and hands the complete message to the owning thread through the
// dispatcher; the handler's result travels back as the reply.
#include "platform/Window.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Md5.h"
#include "platform/Time.h"

namespace platform {

namespace {

constexpr std::uint32_t ciRequestMagic = 0x4D574356; // "VCWM"
constexpr std::uint32_t ciReplyMagic = 0x52574356;   // "VCWR"
// Connections a window serves at once; more are closed at once.
constexpr size_t ciMaxConnections = 32;

#pragma pack(push, 1)
struct SRequestHeader {
    std::uint32_t magic;
    std::uint32_t message;
    std::uint64_t wParam;
    std::uint64_t dwData;
    std::uint32_t cbData;
    std::uint32_t reserved;
};
struct SReply {
    std::uint32_t magic;
    std::uint32_t reserved;
    std::int64_t result;
};
#pragma pack(pop)
static_assert(sizeof(SRequestHeader) == 32);
static_assert(sizeof(SReply) == 16);

// ---- the folder and socket names -----------------------------------------------

// Opens the user's window folder, creating it, and returns its descriptor
// only when it is a real folder of this user closed to everybody else.
int OpenPrivateFolder(bool create, bool* refused = nullptr)
{
    if (refused)
        *refused = false;
    CString base = PrivateTempDirectory();
    if (base.IsEmpty())
        return -1;
    std::string path = base.ToUtf8();
    if (path.back() != '/')
        path += '/';
    path += "veilcase-windows";
    if (create && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return -1;
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (refused && errno == ELOOP)
            *refused = true;
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
        if (refused)
            *refused = true;
        close(fd);
        return -1;
    }
    return fd;
}

std::string SocketName(const CString& className, const CString& title)
{
    std::string key = className.ToUtf8();
    key.push_back('\0');
    key += title.ToUtf8();
    CMd5 md5;
    md5.Update(key.data(), key.size());
    BYTE digest[CMd5::ciDigestSize] = {};
    md5.Final(digest);
    static const char hex[] = "0123456789abcdef";
    std::string name = "w-";
    for (BYTE b : digest) {
        name += hex[b >> 4];
        name += hex[b & 15];
    }
    return name;
}

// The address of `name` in the folder open as `folderFd`, reached through the
// descriptor so that the folder's own path length never matters.
bool MakeAddress(int folderFd, const std::string& name, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::string path = "/proc/self/fd/" + std::to_string(folderFd) + "/" + name + ".sock";
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    return true;
}

bool PeerIsSameUser(int fd, pid_t* pid = nullptr)
{
    ucred cred{};
    socklen_t length = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0 || length != sizeof cred)
        return false;
    if (pid)
        *pid = cred.pid;
    return cred.uid == geteuid();
}

// Connects to the window socket `name`; -1 when nobody listens there or the
// listener is not this user. `pid` receives the listening process.
int ConnectTo(const std::string& name, DWORD timeoutMs, pid_t& pid)
{
    int folder = OpenPrivateFolder(false);
    if (folder < 0)
        return -1;
    sockaddr_un address{};
    bool addressOk = MakeAddress(folder, name, address);
    int fd = addressOk ? socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    if (fd >= 0) {
        timeval tv{};
        tv.tv_sec = static_cast<time_t>(timeoutMs / 1000);
        tv.tv_usec = static_cast<suseconds_t>((timeoutMs % 1000) * 1000);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        int r;
        do
            r = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        while (r != 0 && errno == EINTR);
        if (r != 0 || !PeerIsSameUser(fd, &pid)) {
            close(fd);
            fd = -1;
        }
    }
    close(folder);
    return fd;
}

bool WriteAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size, ULONGLONG deadline)
{
    char* p = static_cast<char*>(data);
    while (size > 0) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        pollfd pfd{fd, POLLIN, 0};
        int r = poll(&pfd, 1, static_cast<int>(std::min<ULONGLONG>(deadline - now, 60000)));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        ssize_t n = recv(fd, p, size, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// ---- the handle table -------------------------------------------------------------

struct SWindowEntry {
    std::string socketName;
    pid_t pid = 0;
    std::weak_ptr<CFindableWindow::SImpl> local; // set for windows of this process
};

std::mutex g_tableMutex;
std::map<std::uintptr_t, SWindowEntry> g_windows;
std::uintptr_t g_nextHandle = 0x10000;

HWND RegisterHandle(SWindowEntry entry)
{
    std::lock_guard<std::mutex> lock(g_tableMutex);
    // A remote window found again keeps its handle.
    if (entry.local.expired()) {
        for (auto& [value, known] : g_windows)
            if (known.local.expired() && known.socketName == entry.socketName && known.pid == entry.pid)
                return reinterpret_cast<HWND>(value);
    }
    std::uintptr_t value = g_nextHandle;
    g_nextHandle += 4;
    g_windows.emplace(value, std::move(entry));
    return reinterpret_cast<HWND>(value);
}

bool LookUpHandle(HWND window, SWindowEntry& entry)
{
    std::lock_guard<std::mutex> lock(g_tableMutex);
    auto it = g_windows.find(reinterpret_cast<std::uintptr_t>(window));
    if (it == g_windows.end())
        return false;
    entry = it->second;
    return true;
}

void ForgetHandle(HWND window)
{
    std::lock_guard<std::mutex> lock(g_tableMutex);
    g_windows.erase(reinterpret_cast<std::uintptr_t>(window));
}

pid_t CurrentThreadNumber()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

} // namespace

// ---- the receiving window ------------------------------------------------------------

struct CFindableWindow::SImpl {
    // Owned by the window's thread.
    int folderFd = -1;
    int lockFd = -1;
    int listenFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::string socketName;
    HWND handle = nullptr;
    pid_t ownerThread = 0;
    CopyDataHandler handler;
    WindowDispatcher dispatcher;
    std::thread ioThread;

    // Shared with the I/O thread.
    std::mutex mutex;
    bool alive = false;
    std::atomic<bool> stop{false};
    std::deque<std::pair<std::uint64_t, LRESULT>> replies;

    void Wake()
    {
        if (wakeWrite < 0)
            return;
        char c = 1;
        [[maybe_unused]] ssize_t n = write(wakeWrite, &c, 1);
    }
    void Reply(std::uint64_t connection, LRESULT result)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            replies.emplace_back(connection, result);
        }
        Wake();
    }
    void Serve(std::shared_ptr<SImpl> self);
    void CloseAll();
};

namespace {

struct SConnection {
    int fd = -1;
    ULONGLONG deadline = 0;
    SRequestHeader header{};
    size_t headerRead = 0;
    std::vector<char> payload;
    size_t payloadRead = 0;
    bool dispatched = false; // complete; waiting for the owning thread
};

} // namespace

void CFindableWindow::SImpl::Serve(std::shared_ptr<SImpl> self)
{
    std::map<std::uint64_t, SConnection> connections;
    std::uint64_t nextId = 1;
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> ids;

    auto drop = [&](std::uint64_t id) {
        auto it = connections.find(id);
        if (it == connections.end())
            return;
        close(it->second.fd);
        connections.erase(it);
    };

    while (!stop.load()) {
        fds.clear();
        ids.clear();
        fds.push_back({wakeRead, POLLIN, 0});
        fds.push_back({listenFd, POLLIN, 0});
        ULONGLONG now = GetTickCount64();
        int timeout = -1;
        for (auto& [id, c] : connections) {
            if (c.dispatched)
                continue;
            fds.push_back({c.fd, POLLIN, 0});
            ids.push_back(id);
            int left = c.deadline > now ? static_cast<int>(c.deadline - now) : 0;
            timeout = timeout < 0 ? left : std::min(timeout, left);
        }
        int r = poll(fds.data(), fds.size(), timeout);
        if (r < 0 && errno != EINTR)
            break;
        now = GetTickCount64();

        if (fds[0].revents & POLLIN) {
            char buffer[64];
            while (read(wakeRead, buffer, sizeof buffer) > 0) {
            }
            std::deque<std::pair<std::uint64_t, LRESULT>> ready;
            {
                std::lock_guard<std::mutex> lock(mutex);
                ready.swap(replies);
            }
            for (auto& [id, result] : ready) {
                auto it = connections.find(id);
                if (it == connections.end())
                    continue;
                SReply reply{ciReplyMagic, 0, static_cast<std::int64_t>(result)};
                // A small reply fits the socket buffer; a sender that has
                // gone simply misses it.
                [[maybe_unused]] ssize_t n = send(it->second.fd, &reply, sizeof reply, MSG_NOSIGNAL | MSG_DONTWAIT);
                drop(id);
            }
        }

        for (size_t i = 2; i < fds.size(); ++i) {
            std::uint64_t id = ids[i - 2];
            SConnection& c = connections[id];
            if (fds[i].revents == 0) {
                if (now >= c.deadline)
                    drop(id); // too slow or silent: cut off
                continue;
            }
            // Read exactly what the header announces, never more.
            ssize_t n;
            if (c.headerRead < sizeof c.header) {
                n = recv(c.fd, reinterpret_cast<char*>(&c.header) + c.headerRead, sizeof c.header - c.headerRead, 0);
                if (n > 0) {
                    c.headerRead += static_cast<size_t>(n);
                    if (c.headerRead == sizeof c.header) {
                        if (c.header.magic != ciRequestMagic || c.header.message != WM_COPYDATA ||
                            c.header.cbData > ciMaxCopyDataBytes) {
                            drop(id);
                            continue;
                        }
                        c.payload.resize(c.header.cbData);
                    }
                }
            } else {
                n = recv(c.fd, c.payload.data() + c.payloadRead, c.payload.size() - c.payloadRead, 0);
                if (n > 0)
                    c.payloadRead += static_cast<size_t>(n);
            }
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                drop(id); // the sender went away before the message was whole
                continue;
            }
            if (c.headerRead == sizeof c.header && c.payloadRead == c.payload.size()) {
                c.dispatched = true;
                auto message = std::make_shared<std::pair<SRequestHeader, std::vector<char>>>(
                    c.header, std::move(c.payload));
                std::weak_ptr<SImpl> weak = self;
                dispatcher([weak, id, message]() {
                    std::shared_ptr<SImpl> window = weak.lock();
                    if (!window)
                        return;
                    LRESULT result = 0;
                    if (window->alive && window->handler) {
                        COPYDATASTRUCT data{static_cast<ULONG_PTR>(message->first.dwData),
                                            message->first.cbData,
                                            message->second.empty() ? nullptr : message->second.data()};
                        result = window->handler(static_cast<WPARAM>(message->first.wParam), data);
                    }
                    window->Reply(id, result);
                });
            } else if (now >= c.deadline) {
                drop(id);
            }
        }

        if (fds[1].revents & POLLIN) {
            int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                if (!PeerIsSameUser(fd) || connections.size() >= ciMaxConnections) {
                    close(fd);
                } else {
                    SConnection c;
                    c.fd = fd;
                    c.deadline = now + ciReceiveTimeoutMs;
                    connections.emplace(nextId++, std::move(c));
                }
            }
        }
    }
    for (auto& [id, c] : connections)
        close(c.fd);
}

void CFindableWindow::SImpl::CloseAll()
{
    for (int* fd : {&listenFd, &wakeRead, &wakeWrite, &lockFd, &folderFd}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

CFindableWindow::CFindableWindow() = default;

CFindableWindow::~CFindableWindow()
{
    Destroy();
}

bool CFindableWindow::IsCreated() const
{
    return m_impl != nullptr;
}

HWND CFindableWindow::GetHandle() const
{
    return m_impl ? m_impl->handle : nullptr;
}

EWindowCreateResult CFindableWindow::Create(const CString& className, const CString& title, CopyDataHandler handler,
                                            WindowDispatcher dispatcher)
{
    Destroy();
    auto impl = std::make_shared<SImpl>();
    bool refused = false;
    impl->folderFd = OpenPrivateFolder(true, &refused);
    if (impl->folderFd < 0)
        return refused ? EWindowCreateResult::eFolderRefused : EWindowCreateResult::eFailed;
    impl->socketName = SocketName(className, title);

    // The lock file tells a live window of that name from a socket that a
    // crashed process left behind; the system drops the lock with its owner.
    std::string lockName = impl->socketName + ".lock";
    impl->lockFd = openat(impl->folderFd, lockName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (impl->lockFd < 0) {
        impl->CloseAll();
        return EWindowCreateResult::eFailed;
    }
    if (flock(impl->lockFd, LOCK_EX | LOCK_NB) != 0) {
        bool taken = errno == EWOULDBLOCK;
        impl->CloseAll();
        return taken ? EWindowCreateResult::eNameTaken : EWindowCreateResult::eFailed;
    }
    std::string socketFile = impl->socketName + ".sock";
    unlinkat(impl->folderFd, socketFile.c_str(), 0);

    sockaddr_un address{};
    int pipeFds[2] = {-1, -1};
    impl->listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (impl->listenFd < 0 || !MakeAddress(impl->folderFd, impl->socketName, address) ||
        bind(impl->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(impl->listenFd, 16) != 0 || pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        unlinkat(impl->folderFd, socketFile.c_str(), 0);
        impl->CloseAll();
        return EWindowCreateResult::eFailed;
    }
    impl->wakeRead = pipeFds[0];
    impl->wakeWrite = pipeFds[1];
    impl->handler = std::move(handler);
    impl->dispatcher = std::move(dispatcher);
    impl->ownerThread = CurrentThreadNumber();
    impl->alive = true;

    SWindowEntry entry;
    entry.socketName = impl->socketName;
    entry.pid = getpid();
    entry.local = impl;
    impl->handle = RegisterHandle(std::move(entry));
    impl->ioThread = std::thread(&SImpl::Serve, impl.get(), impl);
    m_impl = std::move(impl);
    return EWindowCreateResult::eCreated;
}

void CFindableWindow::Destroy()
{
    if (!m_impl)
        return;
    std::shared_ptr<SImpl> impl = std::move(m_impl);
    impl->alive = false;
    impl->stop = true;
    impl->Wake();
    if (impl->ioThread.joinable())
        impl->ioThread.join();
    // Remove the name before the lock goes, so that a successor never loses
    // its fresh socket to our clean-up.
    std::string socketFile = impl->socketName + ".sock";
    unlinkat(impl->folderFd, socketFile.c_str(), 0);
    ForgetHandle(impl->handle);
    impl->CloseAll();
}

CString WindowFolder()
{
    int fd = OpenPrivateFolder(true);
    if (fd < 0)
        return CString();
    close(fd);
    CString base = PrivateTempDirectory();
    return CString::FromUtf8(base.ToUtf8() + (base.ToUtf8().back() == '/' ? "" : "/") + "veilcase-windows");
}

CString WindowSocketName(const CString& className, const CString& title)
{
    return CString::FromUtf8(SocketName(className, title) + ".sock");
}

// ---- the sending side -------------------------------------------------------------

bool SendCopyData(HWND window, WPARAM wParam, const COPYDATASTRUCT& data, DWORD timeoutMs, LRESULT& result)
{
    result = 0;
    SWindowEntry entry;
    if (!window || !LookUpHandle(window, entry))
        return false;
    if (data.cbData > ciMaxCopyDataBytes || (data.cbData > 0 && !data.lpData))
        return false;

    // A window of the calling thread runs its handler at once: waiting for
    // the own thread to dispatch would never end.
    if (std::shared_ptr<CFindableWindow::SImpl> local = entry.local.lock()) {
        if (local->ownerThread == CurrentThreadNumber()) {
            if (!local->alive || !local->handler)
                return false;
            result = local->handler(wParam, data);
            return true;
        }
    }

    pid_t pid = 0;
    int fd = ConnectTo(entry.socketName, timeoutMs, pid);
    if (fd < 0)
        return false;
    // Another process now holds the name: the window this handle named is gone.
    if (pid != entry.pid) {
        close(fd);
        return false;
    }
    SRequestHeader header{ciRequestMagic, WM_COPYDATA, static_cast<std::uint64_t>(wParam),
                          static_cast<std::uint64_t>(data.dwData), data.cbData, 0};
    bool ok = WriteAll(fd, &header, sizeof header) && (data.cbData == 0 || WriteAll(fd, data.lpData, data.cbData));
    SReply reply{};
    ok = ok && ReadAll(fd, &reply, sizeof reply, GetTickCount64() + timeoutMs) && reply.magic == ciReplyMagic;
    close(fd);
    if (ok)
        result = static_cast<LRESULT>(reply.result);
    return ok;
}


HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName)
{
    if (!lpClassName || !lpWindowName)
        return nullptr;
    std::string name = SocketName(CString(lpClassName), CString(lpWindowName));
    pid_t pid = 0;
    int fd = ConnectTo(name, 1000, pid);
    if (fd < 0)
        return nullptr;
    close(fd);
    // A window of this process is named by the handle its owner has.
    {
        std::lock_guard<std::mutex> lock(g_tableMutex);
        for (auto& [value, entry] : g_windows)
            if (entry.socketName == name && !entry.local.expired())
                return reinterpret_cast<HWND>(value);
    }
    SWindowEntry entry;
    entry.socketName = name;
    entry.pid = pid;
    return RegisterHandle(std::move(entry));
}

DWORD GetWindowThreadProcessId(HWND hWnd, DWORD* lpdwProcessId)
{
    SWindowEntry entry;
    if (!hWnd || !LookUpHandle(hWnd, entry)) {
        if (lpdwProcessId)
            *lpdwProcessId = 0;
        return 0;
    }
    if (lpdwProcessId)
        *lpdwProcessId = static_cast<DWORD>(entry.pid);
    if (std::shared_ptr<CFindableWindow::SImpl> local = entry.local.lock())
        return static_cast<DWORD>(local->ownerThread);
    return static_cast<DWORD>(entry.pid);
}

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (Msg != WM_COPYDATA || lParam == 0)
        return 0;
    LRESULT result = 0;
    SendCopyData(hWnd, wParam, *reinterpret_cast<const COPYDATASTRUCT*>(lParam), ciSendMessageTimeoutMs, result);
    return result;
}

} // namespace platform
