// Reading one string setting the way the configuration does: open the key,
// query the value, close the key, every time.
#include <benchmark/benchmark.h>

#include "platform/Registry.h"
#include "TestEnvironment.h"

namespace {

const char16_t* const kKey = u"Software\\Orvelin\\veilcase\\Configuration\\";
const char16_t* const kValue = u"OpenPGP_PathToExecutable";

void PrepareSetting()
{
    static bool done = false;
    if (done)
        return;
    testsupport::InstallIsolation();
    HKEY key = nullptr;
    if (platform::RegCreateKeyW(HKEY_CURRENT_USER, kKey, &key) != ERROR_SUCCESS)
        return;
    const CString path = u"/usr/bin/gpg";
    platform::RegSetValueExW(key, kValue, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path.GetString()),
                   static_cast<DWORD>(2 * path.GetLength() + 2));
    platform::RegCloseKey(key);
    done = true;
}

void BM_OpenQueryClose(benchmark::State& state)
{
    PrepareSetting();
    for (auto _ : state) {
        HKEY key = nullptr;
        if (platform::RegOpenKeyW(HKEY_CURRENT_USER, kKey, &key) != ERROR_SUCCESS) {
            state.SkipWithError("cannot open the key");
            break;
        }
        BYTE buffer[520];
        DWORD size = sizeof buffer;
        DWORD type = 0;
        LSTATUS rc = platform::RegQueryValueExW(key, kValue, nullptr, &type, buffer, &size);
        platform::RegCloseKey(key);
        if (rc != ERROR_SUCCESS) {
            state.SkipWithError("cannot read the value");
            break;
        }
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_OpenQueryClose)->Iterations(10000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
