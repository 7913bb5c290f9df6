// Creating the system's File Open dialog object through COM, as every
// application does before it shows the dialog: class lookup in the registry
// store, the loaded module's class object, the object itself. The first
// creation also loads the module; it is measured once, apart.
#include <benchmark/benchmark.h>

#include <chrono>

#include "TestEnvironment.h"
#include "platform/gui/Gui.h"
#include "platform/shell/FileDialogApi.h"

namespace {

double g_firstMs = -1;

void CreateAndRelease(benchmark::State* state)
{
    IFileDialog* dialog = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog));
    if (FAILED(hr)) {
        if (state)
            state->SkipWithError("CoCreateInstance failed");
        return;
    }
    dialog->Release();
}

void Prepare()
{
    if (g_firstMs >= 0)
        return;
    testsupport::InstallIsolation();
    platform::gui::InitGui(); // an application with its GUI running, as the editor is
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto start = std::chrono::steady_clock::now();
    CreateAndRelease(nullptr);
    g_firstMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void BM_CoCreateFileOpenDialog(benchmark::State& state)
{
    Prepare();
    for (auto _ : state)
        CreateAndRelease(&state);
    state.counters["first_ms"] = g_firstMs;
}
BENCHMARK(BM_CoCreateFileOpenDialog)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
