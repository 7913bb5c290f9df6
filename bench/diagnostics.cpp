// Cost of the diagnostics: one log line, one stack trace (capture, with the
// symbol session started and ended around it, and rendering), and one error
// object, which logs a report with a trace.
#include <benchmark/benchmark.h>

#include "CallStack.h"
#include "Log.h"
#include "OrvException.h"
#include "TestEnvironment.h"

namespace {

void BM_WriteLog(benchmark::State& state)
{
    for (auto _ : state)
        WriteLog(eLogDebug, u"benchmark line %d with some text %s", 42, u"and an argument");
}
BENCHMARK(BM_WriteLog);

void BM_CallStackCapture(benchmark::State& state)
{
    for (auto _ : state) {
        CCallStack stack;
        benchmark::DoNotOptimize(&stack);
    }
}
BENCHMARK(BM_CallStackCapture)->Unit(benchmark::kMillisecond);

void BM_CallStackCaptureAndRender(benchmark::State& state)
{
    for (auto _ : state) {
        CCallStack stack;
        benchmark::DoNotOptimize(stack.ToString());
    }
}
BENCHMARK(BM_CallStackCaptureAndRender)->Unit(benchmark::kMillisecond);

void BM_RenderWithSessionHeld(benchmark::State& state)
{
    CCallStack holder; // keeps the symbol session alive across iterations
    for (auto _ : state) {
        CCallStack stack;
        benchmark::DoNotOptimize(stack.ToString());
    }
}
BENCHMARK(BM_RenderWithSessionHeld)->Unit(benchmark::kMillisecond);

void BM_ErrorObject(benchmark::State& state)
{
    for (auto _ : state) {
        COrvException e(2000, "Common\\Ipc", 1, eDisplayNone);
        benchmark::DoNotOptimize(&e);
    }
}
BENCHMARK(BM_ErrorObject)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    testsupport::InstallIsolation();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
