// MD5 of a 256 MiB file: CFileUtils::ComputeFileHash against the openssl
// command-line program on the same file (started as a child and waited for).
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "FileUtils.h"
#include "platform/Process.h"
#include "TestEnvironment.h"

namespace {

constexpr size_t ciFileSize = 256u << 20;

const std::filesystem::path& BigFile()
{
    static testsupport::TempDir dir("md5bench");
    static std::filesystem::path path = [] {
        std::filesystem::path p = dir / "big.bin";
        std::ofstream out(p, std::ios::binary);
        std::string block(1 << 20, '\0');
        unsigned value = 12345;
        for (size_t done = 0; done < ciFileSize; done += block.size()) {
            for (char& ch : block) {
                value = value * 1103515245u + 12345u;
                ch = static_cast<char>(value >> 24);
            }
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        return p;
    }();
    return path;
}

void BM_ComputeFileHash(benchmark::State& state)
{
    CString path = CString::FromUtf8(BigFile().string());
    for (auto _ : state) {
        CArrayEx<BYTE, BYTE> hash = CFileUtils::ComputeFileHash(path);
        if (hash.GetSize() != 16)
            state.SkipWithError("no digest");
        benchmark::DoNotOptimize(hash);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(ciFileSize));
}
BENCHMARK(BM_ComputeFileHash)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_OpensslMd5Program(benchmark::State& state)
{
    CString line = u"openssl md5 \"" + CString::FromUtf8(BigFile().string()) + u"\"";
    for (auto _ : state) {
        platform::CProcessHandle process;
        platform::CPipeReader output;
        DWORD error = 0;
        if (!platform::StartProcess(line, platform::EProcessOutput::eCapturedPipe, process, &output, error)) {
            state.SkipWithError("openssl could not be started");
            break;
        }
        process.Wait(INFINITE);
        char buffer[256];
        benchmark::DoNotOptimize(output.Read(buffer, sizeof buffer));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(ciFileSize));
}
BENCHMARK(BM_OpensslMd5Program)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

} // namespace

int main(int argc, char** argv)
{
    testsupport::InstallIsolation();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    BigFile(); // written once, before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
