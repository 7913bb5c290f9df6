// The Open dialog's confirmation of an encrypted file through COM, as an
// application gets it: the wrapper's OnFileOk (version check, decryption,
// recipient ids, missing keys, file hash, and the task handed to a
// background program's window over the real socket hand-off), measured side
// by side with one plain "gpg --decrypt" of the same 1 MiB file in the same
// iterations (alternating order), reported as the ratio of their medians.
//
//   OnFileOk1MiB   the wrapper's OnFileOk  vs  one "gpg --decrypt"
//
// Counters: subject_ms and reference_ms (medians), ratio, target, tasks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "Configuration.h"
#include "GpgTestHome.h"
#include "Ipc.h"
#include "TestEnvironment.h"
#include "platform/CommandLine.h"
#include "platform/Process.h"
#include "platform/Window.h"
#include "platform/com/ComPtr.h"
#include "platform/gui/Automation.h"
#include "platform/shell/FileDialogApi.h"
#include "platform/shell/dialog/FileDialogIds.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

namespace fs = std::filesystem;
namespace ids = platform::filedialog;
using platform::ComPtr;

namespace {

const char* const kGpg = "/usr/bin/gpg";

CString C(const fs::path& path)
{
    return CString::FromUtf8(path.string());
}

struct SFixture {
    fs::path root, docs, work, encrypted;
};

SFixture& Fixture()
{
    static SFixture fixture = [] {
        SFixture f;
        f.root = testsupport::IsolatedRoot() / "bench";
        f.docs = f.root / "docs";
        f.work = f.root / "work";
        fs::create_directories(f.docs);
        fs::create_directories(f.work);
        fs::permissions(f.work, fs::perms::owner_all, fs::perm_options::replace);
        std::string data(1 << 20, '\0');
        std::mt19937 random(7);
        for (char& c : data)
            c = static_cast<char>(random());
        const fs::path plain = f.root / "document.bin";
        testsupport::WriteFile(plain, data);
        f.encrypted = f.docs / "document.bin.gpg";
        const auto& home = testsupport::GpgTestHome::Get();
        if (testsupport::RunGpg({"--yes", "--trust-model", "always", "-r", home.Alice().keyId, "-o",
                                 f.encrypted.string(), "--encrypt", plain.string()}) != 0)
            throw std::runtime_error("cannot encrypt the benchmark file");
        fs::remove(plain);
        CConfiguration::SetGnuPGPath(C(kGpg));
        CConfiguration::SetGnuPGHomeDir(C(home.Home()));
        CConfiguration::SetWorkingDir(C(f.work));
        return f;
    }();
    return fixture;
}

void RemoveWorkingCopies(const SFixture& f)
{
    for (const auto& entry : fs::directory_iterator(f.work))
        fs::remove_all(entry.path());
}

void PlainDecrypt(const SFixture& f)
{
    platform::CProcessHandle process;
    DWORD error = ERROR_SUCCESS;
    const CString commandLine = CString::FromUtf8(std::string("\"") + kGpg + "\" --batch --yes -q -o ") +
                                platform::QuoteArgument(C(f.root / "plain.out"), true) + u" --decrypt " +
                                platform::QuoteArgument(C(f.encrypted), true);
    if (!platform::StartProcess(commandLine, platform::EProcessOutput::eDiscarded, process, nullptr, error))
        throw std::runtime_error("cannot start gpg");
    process.Wait(INFINITE);
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void BM_OnFileOk1MiB(benchmark::State& state)
{
    SFixture& f = Fixture();
    // The background program's window, taking every task as it does.
    std::atomic<int> tasks{0};
    platform::CFindableWindow receiver;
    receiver.Create(CIpc::cszWindowClass, CIpc::GetWindowTitle(),
                    [&](WPARAM, const COPYDATASTRUCT&) -> LRESULT {
                        ++tasks;
                        return 1;
                    },
                    [](std::function<void()> fn) { fn(); });
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ComPtr<IClassFactory> factory;
        ComPtr<IFileOpenDialog> dialog;
        if (FAILED(DllGetClassObject(CLSID_FileOpenDialog, IID_IClassFactory, factory.PutVoid())) ||
            FAILED(factory->CreateInstance(nullptr, IID_IFileOpenDialog, dialog.PutVoid()))) {
            state.SkipWithError("no Open dialog");
            return;
        }
        // The user confirms the file once; every iteration then repeats the
        // confirmation's work.
        platform::gui::Automation automation;
        automation.OnDialog(ids::kTemplateId, [&](platform::gui::ModalDriver& d) {
            d.Type(ids::kFileNameEdit, C(f.encrypted));
            d.Click(ids::kOkButton);
        });
        if (dialog->Show(nullptr) != S_OK) {
            state.SkipWithError("the dialog was not confirmed");
            return;
        }
        ComPtr<IFileDialogEvents> events;
        dialog.As(events);

        using Clock = std::chrono::steady_clock;
        std::vector<double> subjectMs, referenceMs;
        bool subjectFirst = false;
        for (auto _ : state) {
            RemoveWorkingCopies(f);
            double s = 0, r = 0;
            for (int part = 0; part < 2; ++part) {
                const bool runSubject = (part == 0) == subjectFirst;
                const auto start = Clock::now();
                if (runSubject) {
                    if (events->OnFileOk(nullptr) != S_OK)
                        state.SkipWithError("OnFileOk failed");
                } else {
                    PlainDecrypt(f);
                }
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                (runSubject ? s : r) = ms;
            }
            subjectFirst = !subjectFirst;
            subjectMs.push_back(s);
            referenceMs.push_back(r);
            state.SetIterationTime(s / 1000.0);
        }
        const double subjectMedian = Median(subjectMs), referenceMedian = Median(referenceMs);
        state.counters["subject_ms"] = subjectMedian;
        state.counters["reference_ms"] = referenceMedian;
        state.counters["ratio"] = referenceMedian > 0 ? subjectMedian / referenceMedian : 0;
        state.counters["target"] = 2.0;
        state.counters["tasks"] = tasks.load();
    }
    RemoveWorkingCopies(f);
    CoUninitialize();
}
BENCHMARK(BM_OnFileOk1MiB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);

} // namespace

int main(int argc, char** argv)
{
    testsupport::InstallIsolation();
    // Headless: the dialog runs on the offscreen platform unless a display
    // was chosen.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
