// Opening encrypted files end to end, as the Open dialog does it (version
// check, decryption, recipient ids, missing keys), each measured side by
// side with its reference run of gpg in the same iterations: both are timed
// in every iteration, in alternating order, and the ratio of their medians
// is reported, so that the load of a shared machine falls on both alike.
//
//   Open1MiB_FreshProcess  first open in a process (version check and key
//                          lookup included; the program was checked by an
//                          earlier process, as the user's store records)
//                          vs  one "gpg --decrypt"
//   Open1MiB_NeverChecked  the same with a program no process has checked
//                          yet (the store holds no record)
//   Open1MiB_Again         a later open of another file in the same process
//                          vs  one "gpg --decrypt"
//   Open100MiB             a later open of a 100 MiB file  vs  one "gpg --decrypt"
//   NameDateRecipients_*   name, date and recipients without decrypting,
//                          of a 1 KiB and of a 100 MiB file  vs  one "gpg --version"
//
// Counters: subject_ms and reference_ms (medians), ratio, target, and the
// gpg runs of a first open with a program never checked, of a first open
// in a fresh process, and of a later open (counted once, through a wrapper
// script in front of the real gpg). NameDateRecipients_* also time the gpg
// command the engine runs for them, alone (gpg_alone_ms, gpg_alone_ratio):
// the floor set by GnuPG and its agent.
//
// Working copies go where they go in a desktop session: the user's runtime
// folder, a tmpfs. A private folder on /dev/shm stands in for it when there
// is one (the isolated tree of the tests lies on disk); the reference
// decryption writes its output to the same place.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "Configuration.h"
#include "EncryptionGnuPG.h"
#include "GnuPGVersionRecord.h"
#include "GpgTestHome.h"
#include "TestEnvironment.h"
#include "platform/CommandLine.h"
#include "platform/Process.h"
#include "platform/Registry.h"

namespace fs = std::filesystem;

namespace {

const char* const kGpg = "/usr/bin/gpg";

struct SFixture {
    fs::path root;
    fs::path small, medium, mediumOther, large; // 1 KiB, 1 MiB (two files), 100 MiB
    fs::path output; // where working copies and the reference's output go
    fs::path work;
    int linkCounter = 0;
    ~SFixture()
    {
        std::error_code ec;
        if (!output.empty() && output != root)
            fs::remove_all(output, ec);
    }
};

// A private folder on the tmpfs /dev/shm, else the given folder.
fs::path OutputFolder(const fs::path& fallback)
{
    std::error_code ec;
    if (!fs::is_directory("/dev/shm", ec))
        return fallback;
    fs::path folder = fs::path("/dev/shm") / ("veilcase-bench-" + std::to_string(::getpid()));
    if (!fs::create_directory(folder, ec))
        return fallback;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    return folder;
}

CString C(const fs::path& path)
{
    return CString::FromUtf8(path.string());
}

fs::path EncryptRandom(const fs::path& root, const std::string& name, size_t size, unsigned seed)
{
    const auto& home = testsupport::GpgTestHome::Get();
    fs::path plain = root / name;
    std::string data(size, '\0');
    std::mt19937 random(seed);
    for (char& c : data)
        c = static_cast<char>(random());
    testsupport::WriteFile(plain, data);
    fs::path encrypted = root / (name + ".gpg");
    if (testsupport::RunGpg({"--yes", "--trust-model", "always", "-r", home.Alice().keyId, "-o", encrypted.string(),
                             "--encrypt", plain.string()}) != 0)
        throw std::runtime_error("cannot encrypt the benchmark file " + name);
    fs::remove(plain);
    return encrypted;
}

SFixture& Fixture()
{
    static SFixture fixture = [] {
        SFixture f;
        f.root = testsupport::IsolatedRoot() / "bench";
        fs::create_directories(f.root);
        f.small = EncryptRandom(f.root, "note 1KiB.txt", 1 << 10, 1);
        f.medium = EncryptRandom(f.root, "document 1MiB.bin", 1 << 20, 42);
        f.mediumOther = EncryptRandom(f.root, "other 1MiB.bin", 1 << 20, 43);
        f.large = EncryptRandom(f.root, "archive 100MiB.bin", 100 << 20, 44);
        f.output = OutputFolder(f.root);
        f.work = f.output / "work";
        fs::create_directories(f.work);
        fs::permissions(f.work, fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(f.root / "links");
        CConfiguration::SetGnuPGPath(C(kGpg));
        CConfiguration::SetGnuPGHomeDir(C(testsupport::GpgTestHome::Get().Home()));
        CConfiguration::SetWorkingDir(C(f.work));
        return f;
    }();
    return fixture;
}

// A gpg path this process has never asked for its version: a fresh link to
// `program`, as the first open of a new process sees it.
void UseFreshProgramPath(SFixture& f, const fs::path& program = kGpg)
{
    fs::path link = f.root / "links" / ("gpg-" + std::to_string(++f.linkCounter));
    fs::create_symlink(program, link);
    CConfiguration::SetGnuPGPath(C(link));
}

// Forgets every version answer earlier processes have recorded.
void ForgetCheckedPrograms()
{
    platform::RegDeleteTreeW(HKEY_CURRENT_USER, CGnuPGVersionRecord::kKeyPath);
}

void RemoveWorkingCopies(const SFixture& f)
{
    for (const auto& entry : fs::directory_iterator(f.work))
        fs::remove_all(entry.path());
}

// One run of the real gpg with these arguments, started as the engine
// starts its runs; waits for its end.
void RunGpgPlain(const std::string& arguments)
{
    platform::CProcessHandle process;
    DWORD error = ERROR_SUCCESS;
    CString commandLine = CString::FromUtf8(std::string("\"") + kGpg + "\" " + arguments);
    if (!platform::StartProcess(commandLine, platform::EProcessOutput::eDiscarded, process, nullptr, error))
        throw std::runtime_error("cannot start gpg");
    process.Wait(INFINITE);
}

void PlainDecrypt(const SFixture& f, const fs::path& file)
{
    RunGpgPlain("--batch --yes -q -o " + platform::QuoteArgument(C(f.output / "plain.out"), true).ToUtf8() +
                " --decrypt " + platform::QuoteArgument(C(file), true).ToUtf8());
}

// Opens a file as the Open dialog does.
void OpenAsTheDialogDoes(CEncryptionGnuPG& engine, const fs::path& file, benchmark::State& state)
{
    const CString path = C(file);
    if (!CEncryptionGnuPG::IsSupportedVersion())
        state.SkipWithError("unsupported gpg");
    CString decrypted;
    if (engine.DecryptFileW(path, decrypted) != IEncryption::eOperationSucceeded)
        state.SkipWithError("decryption failed");
    benchmark::DoNotOptimize(engine.GetPublicKeyIdsForEncryptedFile(path));
    benchmark::DoNotOptimize(engine.GetMissingKeysForFile(path));
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Times `subject` and `reference` in every iteration, in alternating order;
// `prepare` runs untimed before both. The benchmark's own time is the
// subject's.
void SideBySide(benchmark::State& state, const std::function<void()>& prepare, const std::function<void()>& subject,
                const std::function<void()>& reference, double target)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> subjectMs, referenceMs;
    bool subjectFirst = false;
    for (auto _ : state) {
        prepare();
        double s = 0, r = 0;
        for (int part = 0; part < 2; ++part) {
            bool runSubject = (part == 0) == subjectFirst;
            auto start = Clock::now();
            runSubject ? subject() : reference();
            double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            (runSubject ? s : r) = ms;
        }
        subjectFirst = !subjectFirst;
        subjectMs.push_back(s);
        referenceMs.push_back(r);
        state.SetIterationTime(s / 1000.0);
    }
    double subjectMedian = Median(subjectMs), referenceMedian = Median(referenceMs);
    state.counters["subject_ms"] = subjectMedian;
    state.counters["reference_ms"] = referenceMedian;
    state.counters["ratio"] = referenceMedian > 0 ? subjectMedian / referenceMedian : 0;
    state.counters["target"] = target;
}

// The gpg runs of a first open in a process and of a later open, counted
// once through a wrapper in front of the real gpg.
struct SRunCounts {
    int firstOpen = 0;    // the program never checked
    int freshProcess = 0; // the program checked by an earlier process
    int laterOpen = 0;
};

SRunCounts CountRuns(SFixture& f, benchmark::State& state)
{
    static SRunCounts counts = [&] {
        fs::path counter = f.root / "gpg-runs";
        fs::path wrapper = f.root / "countinggpg";
        testsupport::WriteFile(wrapper, "#!/bin/sh\necho x >> '" + counter.string() + "'\nexec " + kGpg + " \"$@\"\n");
        fs::permissions(wrapper, fs::perms::owner_all, fs::perm_options::replace);
        CConfiguration::SetGnuPGPath(C(wrapper));
        auto runs = [&] {
            std::ifstream in(counter);
            int lines = 0;
            for (std::string line; std::getline(in, line);)
                ++lines;
            return lines;
        };
        SRunCounts c;
        ForgetCheckedPrograms();
        {
            CEncryptionGnuPG engine;
            OpenAsTheDialogDoes(engine, f.medium, state);
            c.firstOpen = runs();
            OpenAsTheDialogDoes(engine, f.mediumOther, state);
            c.laterOpen = runs() - c.firstOpen;
        }
        UseFreshProgramPath(f, wrapper);
        CEncryptionGnuPG engine;
        int before = runs();
        OpenAsTheDialogDoes(engine, f.medium, state);
        c.freshProcess = runs() - before;
        RemoveWorkingCopies(f);
        CConfiguration::SetGnuPGPath(C(kGpg));
        return c;
    }();
    return counts;
}

void BM_Open1MiB_FreshProcess(benchmark::State& state)
{
    SFixture& f = Fixture();
    SRunCounts runs = CountRuns(f, state);
    // An earlier process has checked the program.
    CConfiguration::SetGnuPGPath(C(kGpg));
    CEncryptionGnuPG::IsSupportedVersion();
    SideBySide(
        state,
        [&] {
            RemoveWorkingCopies(f);
            UseFreshProgramPath(f);
        },
        [&] {
            CEncryptionGnuPG engine; // a fresh process: no keys, no version known
            OpenAsTheDialogDoes(engine, f.medium, state);
        },
        [&] { PlainDecrypt(f, f.medium); }, 2.0);
    state.counters["gpg_runs_first_open"] = runs.firstOpen;
    state.counters["gpg_runs_fresh_process"] = runs.freshProcess;
    state.counters["gpg_runs_later_open"] = runs.laterOpen;
    CConfiguration::SetGnuPGPath(C(kGpg));
}
BENCHMARK(BM_Open1MiB_FreshProcess)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);

void BM_Open1MiB_NeverChecked(benchmark::State& state)
{
    SFixture& f = Fixture();
    SideBySide(
        state,
        [&] {
            RemoveWorkingCopies(f);
            UseFreshProgramPath(f);
            ForgetCheckedPrograms();
        },
        [&] {
            CEncryptionGnuPG engine;
            OpenAsTheDialogDoes(engine, f.medium, state);
        },
        [&] { PlainDecrypt(f, f.medium); }, 2.0);
    CConfiguration::SetGnuPGPath(C(kGpg));
}
BENCHMARK(BM_Open1MiB_NeverChecked)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);

void BM_Open1MiB_Again(benchmark::State& state)
{
    SFixture& f = Fixture();
    CEncryptionGnuPG engine;
    OpenAsTheDialogDoes(engine, f.mediumOther, state); // the first open of the process
    bool other = false;
    SideBySide(
        state, [&] { RemoveWorkingCopies(f); },
        [&] {
            OpenAsTheDialogDoes(engine, other ? f.mediumOther : f.medium, state);
            other = !other;
        },
        [&] { PlainDecrypt(f, f.medium); }, 1.3);
    state.counters["gpg_runs"] = CountRuns(f, state).laterOpen;
}
BENCHMARK(BM_Open1MiB_Again)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);

void BM_Open100MiB(benchmark::State& state)
{
    SFixture& f = Fixture();
    CEncryptionGnuPG engine;
    OpenAsTheDialogDoes(engine, f.mediumOther, state);
    SideBySide(
        state, [&] { RemoveWorkingCopies(f); }, [&] { OpenAsTheDialogDoes(engine, f.large, state); },
        [&] { PlainDecrypt(f, f.large); }, 1.1);
}
BENCHMARK(BM_Open100MiB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(8);

// Name, date and recipients as the decrypt-file dialog asks for them, of a
// file not read before (touched before every iteration), in a process that
// knows its keys.
void NameDateRecipients(benchmark::State& state, const fs::path& file)
{
    CEncryptionGnuPG engine;
    engine.ListKeys();
    const CString path = C(file);
    // For comparison, untimed by the pair: the same gpg command the engine
    // runs, alone (a file this small is through before it could be stopped).
    const std::string alone = "--homedir " +
                              platform::QuoteArgument(C(testsupport::GpgTestHome::Get().Home()), true).ToUtf8() +
                              " -q --status-fd 2 --output " +
                              platform::QuoteArgument(C(Fixture().output / "none" / "plain"), true).ToUtf8() +
                              " --decrypt " + platform::QuoteArgument(C(Fixture().small), true).ToUtf8();
    std::vector<double> aloneMs;
    SideBySide(
        state,
        [&] {
            fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(1));
            auto start = std::chrono::steady_clock::now();
            RunGpgPlain(alone);
            aloneMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        },
        [&] {
            if (engine.GetDecryptedFileName(path, 0).IsEmpty())
                state.SkipWithError("no name");
            benchmark::DoNotOptimize(engine.GetEncryptionDate(path));
            benchmark::DoNotOptimize(engine.GetPublicKeyIdsForEncryptedFile(path));
        },
        [&] { RunGpgPlain("--version"); }, 3.0);
    state.counters["gpg_alone_ms"] = Median(aloneMs);
    if (state.counters["reference_ms"] > 0)
        state.counters["gpg_alone_ratio"] = Median(aloneMs) / state.counters["reference_ms"];
}

void BM_NameDateRecipients_1KiB(benchmark::State& state)
{
    NameDateRecipients(state, Fixture().small);
}
BENCHMARK(BM_NameDateRecipients_1KiB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);

void BM_NameDateRecipients_100MiB(benchmark::State& state)
{
    NameDateRecipients(state, Fixture().large);
}
BENCHMARK(BM_NameDateRecipients_100MiB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);

} // namespace

int main(int argc, char** argv)
{
    testsupport::InstallIsolation();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
