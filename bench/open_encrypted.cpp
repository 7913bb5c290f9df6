// One open of a 1 MiB encrypted file end to end, as the Open dialog does it
// in a fresh process (version check, decryption, recipient ids, missing
// keys), against a single plain "gpg --decrypt" of the same file. gpg runs
// are counted through a small wrapper script in front of the real gpg.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "Configuration.h"
#include "EncryptionGnuPG.h"
#include "GpgTestHome.h"
#include "TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

struct SFixture {
    fs::path root;
    fs::path encrypted;
    fs::path counter;
    fs::path wrapper;
};

const SFixture& Fixture()
{
    static SFixture fixture = [] {
        SFixture f;
        const auto& home = testsupport::GpgTestHome::Get();
        f.root = testsupport::IsolatedRoot() / "bench";
        fs::create_directories(f.root);
        fs::path plain = f.root / "document 1MiB.bin";
        std::string data(1 << 20, '\0');
        std::mt19937 random(42);
        for (char& c : data)
            c = static_cast<char>(random());
        testsupport::WriteFile(plain, data);
        f.encrypted = f.root / "document 1MiB.bin.gpg";
        if (testsupport::RunGpg({"--trust-model", "always", "-r", home.Alice().keyId, "-o", f.encrypted.string(),
                                 "--encrypt", plain.string()}) != 0)
            throw std::runtime_error("cannot encrypt the benchmark file");
        f.counter = f.root / "gpg-runs";
        f.wrapper = f.root / "countinggpg";
        testsupport::WriteFile(f.wrapper, "#!/bin/sh\necho x >> '" + f.counter.string() + "'\nexec /usr/bin/gpg \"$@\"\n");
        fs::permissions(f.wrapper, fs::perms::owner_all, fs::perm_options::replace);
        CConfiguration::SetGnuPGPath(CString::FromUtf8(f.wrapper.string()));
        CConfiguration::SetWorkingDir(CString::FromUtf8((f.root / "work").string()));
        return f;
    }();
    return fixture;
}

int CountRuns(const SFixture& f)
{
    std::ifstream in(f.counter);
    int lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    return lines;
}

void BM_OpenEncryptedFile(benchmark::State& state)
{
    const SFixture& f = Fixture();
    fs::remove(f.counter);
    const CString path = CString::FromUtf8(f.encrypted.string());
    for (auto _ : state) {
        CEncryptionGnuPG engine; // a fresh process has an empty cache
        if (!CEncryptionGnuPG::IsSupportedVersion())
            state.SkipWithError("unsupported gpg");
        CString decrypted;
        if (engine.DecryptFileW(path, decrypted) != IEncryption::eOperationSucceeded)
            state.SkipWithError("decryption failed");
        benchmark::DoNotOptimize(engine.GetPublicKeyIdsForEncryptedFile(path));
        benchmark::DoNotOptimize(engine.GetMissingKeysForFile(path));
        state.PauseTiming();
        std::error_code ec;
        fs::remove_all(f.root / "work", ec);
        state.ResumeTiming();
    }
    state.counters["gpg_runs"] = static_cast<double>(CountRuns(f)) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_OpenEncryptedFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The smallest captured run: what each listing costs beyond gpg's own work.
void BM_VersionCheckOnly(benchmark::State& state)
{
    Fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(CEncryptionGnuPG::IsSupportedVersion());
    state.counters["gpg_runs"] = 1;
}
BENCHMARK(BM_VersionCheckOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// The decryption alone (name listing and status-file run).
void BM_DecryptFileOnly(benchmark::State& state)
{
    const SFixture& f = Fixture();
    const CString path = CString::FromUtf8(f.encrypted.string());
    for (auto _ : state) {
        CEncryptionGnuPG engine;
        CString decrypted;
        if (engine.DecryptFileW(path, decrypted) != IEncryption::eOperationSucceeded)
            state.SkipWithError("decryption failed");
        state.PauseTiming();
        std::error_code ec;
        fs::remove_all(f.root / "work", ec);
        state.ResumeTiming();
    }
    state.counters["gpg_runs"] = 2;
}
BENCHMARK(BM_DecryptFileOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainGpgDecrypt(benchmark::State& state)
{
    const SFixture& f = Fixture();
    const std::string command = "/usr/bin/gpg --batch --yes -q -o '" + (f.root / "plain.out").string() +
                                "' --decrypt '" + f.encrypted.string() + "' 2>/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("gpg --decrypt failed");
    }
    state.counters["gpg_runs"] = 1;
}
BENCHMARK(BM_PlainGpgDecrypt)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    testsupport::InstallIsolation();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
