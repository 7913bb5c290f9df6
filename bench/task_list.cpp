// The background program's task work without its window:
//
//   TimerPass_200Waiting    one timer pass over 200 tasks whose application
//                           still runs (the common steady state)
//   TimerPass_200HandedOn   one pass over 200 tasks that wait for the user
//   ExitToEncrypted_1MiB    time from the editing application's exit to the
//                           re-encrypted 1 MiB file on disk, with passes at
//                           the window's cadence (first after 100 ms, then
//                           after GetNextPassDelay: 100 ms while a task
//                           waits for its application, 50 ms while gpg
//                           runs, else 300 ms); the
//                           application lives 3.5 s, so the 2-second floor
//                           has passed when it ends (target: at most 0.5 s)
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "Configuration.h"
#include "EncryptionGnuPG.h"
#include "EncryptionTaskList.h"
#include "FileUtils.h"
#include "GpgTestHome.h"
#include "Ipc.h"
#include "TestEnvironment.h"
#include "platform/Process.h"
#include "platform/Time.h"

namespace fs = std::filesystem;

namespace {

CString C(const fs::path& path)
{
    return CString::FromUtf8(path.string());
}

platform::CProcessHandle StartChild(const std::string& arguments)
{
    platform::CProcessHandle child;
    DWORD error = 0;
    platform::StartProcess(u"\"" + C(testsupport::BinDir() / "childproc") + u"\" " + CString::FromUtf8(arguments),
                           platform::EProcessOutput::eInherit, child, nullptr, error);
    return child;
}

void Configure()
{
    static bool done = false;
    if (done)
        return;
    const auto& home = testsupport::GpgTestHome::Get();
    CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
    CConfiguration::SetGnuPGHomeDir(C(home.Home()));
    done = true;
}

// 200 tasks for working copies that exist, used by `pid`.
void FillList(CEncryptionTaskList& list, DWORD pid, int count)
{
    const auto& home = testsupport::GpgTestHome::Get();
    CArrayEx<ULONGLONG, const ULONGLONG&> ids;
    ids.Add(home.Alice().keyIdValue);
    for (int i = 0; i < count; ++i) {
        fs::path folder = CConfiguration::GetWorkingDir(1).ToUtf8();
        fs::path copy = folder / ("doc" + std::to_string(i) + ".txt");
        testsupport::WriteFile(copy, "text " + std::to_string(i));
        CString path = C(copy);
        SEncryptionTask record;
        CIpc::FillRecord(record, path, path + u".gpg", ids, pid, 1, 1, CFileUtils::ComputeFileHash(path));
        list.Add(std::make_unique<CEncryptionTask>(record));
    }
    list.ProcessAll(); // every task finds its file
}

void BM_TimerPass_200Waiting(benchmark::State& state)
{
    Configure();
    platform::CProcessHandle app = StartChild("exit 0 600000");
    CEncryptionGnuPG engine;
    CEncryptionTaskList list(&engine);
    FillList(list, app.GetId(), 200);
    for (auto _ : state)
        list.ProcessAll();
    state.counters["tasks"] = list.GetCount();
    app.Terminate(9);
}
BENCHMARK(BM_TimerPass_200Waiting)->Unit(benchmark::kMicrosecond);

void BM_TimerPass_200HandedOn(benchmark::State& state)
{
    Configure();
    CEncryptionGnuPG engine;
    CEncryptionTaskList list(&engine);
    FillList(list, 0, 200);
    for (auto _ : state)
        list.ProcessAll();
    state.counters["tasks"] = list.GetCount();
}
BENCHMARK(BM_TimerPass_200HandedOn)->Unit(benchmark::kMicrosecond);

void BM_ExitToEncrypted_1MiB(benchmark::State& state)
{
    Configure();
    const auto& home = testsupport::GpgTestHome::Get();
    CEncryptionGnuPG engine;
    std::mt19937 random(7);
    for (auto _ : state) {
        fs::path folder = CConfiguration::GetWorkingDir(1).ToUtf8();
        fs::path copy = folder / "big.bin";
        std::string data(1 << 20, '\0');
        for (char& c : data)
            c = static_cast<char>(random());
        testsupport::WriteFile(copy, data);
        fs::path encrypted = testsupport::IsolatedRoot() / "big.bin.gpg";
        CString path = C(copy);
        CArrayEx<ULONGLONG, const ULONGLONG&> ids;
        ids.Add(home.Alice().keyIdValue);

        platform::CProcessHandle app = StartChild("exit 0 3500");
        std::atomic<ULONGLONG> exitTick{0};
        std::thread watcher([&] {
            app.Wait(INFINITE);
            exitTick = platform::GetTickCount64();
        });
        CEncryptionTaskList list(&engine);
        SEncryptionTask record;
        CIpc::FillRecord(record, path, C(encrypted), ids, app.GetId(), 1, 1, CFileUtils::ComputeFileHash(path));
        CEncryptionTask& task = list.Add(std::make_unique<CEncryptionTask>(record));
        data[0] = static_cast<char>(data[0] + 1);
        testsupport::WriteFile(copy, data); // the application's edit

        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ULONGLONG doneTick = 0;
        while (!task.IsFinished()) {
            list.ProcessAll();
            if (task.GetStatus() == eTaskEncryptionComplete || task.IsFinished()) {
                doneTick = doneTick ? doneTick : platform::GetTickCount64();
            }
            if (!task.IsFinished())
                std::this_thread::sleep_for(std::chrono::milliseconds(list.GetNextPassDelay()));
        }
        watcher.join();
        if (task.GetStatus() != eTaskEncrypted) {
            state.SkipWithError("the task did not end encrypted");
            break;
        }
        state.SetIterationTime(static_cast<double>(doneTick - exitTick) / 1000.0);
        fs::remove(encrypted);
    }
    state.counters["target_s"] = 0.5;
}
BENCHMARK(BM_ExitToEncrypted_1MiB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    testsupport::InstallIsolation();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
