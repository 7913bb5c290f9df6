// Another process for the window tests. Modes:
//   windowpeer send <class> <title> <bytes> [dwData]
//       finds the window, sends WM_COPYDATA with <bytes> bytes (byte i has
//       the value i & 0xFF), prints "result <n>" and exits 0; exits 3 when
//       no window is found, 4 when the message was not delivered
//   windowpeer serve <class> <title>
//       creates the window, prints "ready <pid>", answers every message with
//       its byte count, handling messages on its main thread, until killed
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Window.h"

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    std::string mode = argv[1];
    CString className = CString::FromUtf8(argv[2]);
    CString title = CString::FromUtf8(argv[3]);

    if (mode == "send" && argc >= 5) {
        HWND window = platform::FindWindowW(className, title);
        if (!window)
            return 3;
        std::vector<char> data(std::strtoul(argv[4], nullptr, 10));
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>(i & 0xFF);
        COPYDATASTRUCT cds{argc > 5 ? std::strtoul(argv[5], nullptr, 10) : 1, static_cast<DWORD>(data.size()),
                           data.data()};
        LRESULT result = 0;
        if (!platform::SendCopyData(window, 0, cds, 10000, result))
            return 4;
        std::printf("result %ld\n", static_cast<long>(result));
        return 0;
    }
    if (mode == "serve") {
        std::mutex mutex;
        std::condition_variable cv;
        std::deque<std::function<void()>> queue;
        platform::CFindableWindow window;
        auto dispatcher = [&](std::function<void()> fn) {
            std::lock_guard<std::mutex> lock(mutex);
            queue.push_back(std::move(fn));
            cv.notify_all();
        };
        auto handler = [](WPARAM, const COPYDATASTRUCT& data) { return static_cast<LRESULT>(data.cbData); };
        if (window.Create(className, title, handler, dispatcher) != platform::EWindowCreateResult::eCreated)
            return 5;
        std::printf("ready %d\n", static_cast<int>(getpid()));
        std::fflush(stdout);
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(mutex);
                cv.wait(lock, [&] { return !queue.empty(); });
                fn = std::move(queue.front());
                queue.pop_front();
            }
            fn();
        }
    }
    return 2;
}
