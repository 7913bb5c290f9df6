// Parsing a generated colon key listing of 2,000 and 20,000 keys: the time
// per key must stay flat as the listing grows.
#include <benchmark/benchmark.h>

#include "EncryptionGnuPG.h"

namespace {

CString MakeListing(int keys)
{
    CString text = u"tru::1:1700000000:0:3:1:5\n";
    for (int i = 0; i < keys; ++i) {
        CString block;
        unsigned long long id = 0x1000000000000000ull + static_cast<unsigned long long>(i) * 7919u;
        block.Format(u"pub:u:255:22:%016llX:1700000000:::u:::scESC:::::ed25519:::0:\n"
                     u"fpr:::::::::0000000000000000000000000000%012llX:\n"
                     u"uid:u::::1700000000::0123456789ABCDEF0123456789ABCDEF01234567::User %d pub sub <pub%d@example.org>::::::::::0:\n"
                     u"sub:u:255:18:%016llX:1700000000::::::e:::::cv25519::\n"
                     u"fpr:::::::::1111111111111111111111111111%012llX:\n",
                     id, id & 0xFFFFFFFFFFFFull, i, i, id + 1, (id + 1) & 0xFFFFFFFFFFFFull);
        text += block;
    }
    return text;
}

void BM_ParseListKeysOutput(benchmark::State& state)
{
    const int keys = static_cast<int>(state.range(0));
    const CString listing = MakeListing(keys);
    for (auto _ : state) {
        CArrayEx<CKey, const CKey&> parsed = CEncryptionGnuPG::ParseListKeysOutput(listing, 0);
        if (parsed.GetSize() != keys)
            state.SkipWithError("wrong number of keys");
        benchmark::DoNotOptimize(parsed);
    }
    // Reported as time per key (the counter's rate inverted).
    state.counters["per_key"] =
        benchmark::Counter(static_cast<double>(keys), benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
    state.SetBytesProcessed(state.iterations() * listing.GetLength() * 2);
}
BENCHMARK(BM_ParseListKeysOutput)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_ResolvePrimaryKeyIds(benchmark::State& state)
{
    const int keys = static_cast<int>(state.range(0));
    const CString listing = MakeListing(keys);
    CArrayEx<ULONGLONG, const ULONGLONG&> ids;
    ids.Add(0x1000000000000000ull + 7919u * static_cast<unsigned long long>(keys - 1) + 1);
    for (auto _ : state) {
        CArrayEx<ULONGLONG, const ULONGLONG&> copy = ids;
        CEncryptionGnuPG::ResolvePrimaryKeyIds(listing, copy);
        benchmark::DoNotOptimize(copy);
    }
    state.counters["per_key"] =
        benchmark::Counter(static_cast<double>(keys), benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
}
BENCHMARK(BM_ResolvePrimaryKeyIds)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
