// The key selection dialog with a key ring of 2,000 keys (real gpg):
//
//   KeySelection_CreateAndShow/2000   from DoModal until the dialog is on the
//                                     screen and painted, with every key
//                                     listed (target: under 150 ms); the
//                                     counter "closed_ms" adds closing it
//   ListRows_Memory/1000, /2000       heap taken by that many rows of the
//                                     key list (check box, colour, three
//                                     texts, a key as item data); the
//                                     counter "bytes_per_1000_rows"
//
// The key ring is made once with gpg (about two minutes) and kept as an
// export in the build folder (bench-data/keys-2000.pgp) for later runs.
// The engine's key cache is filled before timing, as in a process that
// has listed keys once.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "Configuration.h"
#include "Encryption.h"
#include "GpgTestHome.h"
#include "TestEnvironment.h"
#include "dialoghook/KeySelectionDlg.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Gui.h"
#include "resources/resource.h"
#include "ui/XListCtrl.h"

namespace fs = std::filesystem;
using platform::gui::Automation;
using platform::gui::ModalDriver;

namespace {

constexpr int ciKeys = 2000;

// Generates `count` keys into the benchmark's GnuPG home in one gpg run.
void GenerateKeys(int count)
{
    std::string parameters;
    for (int i = 0; i < count; ++i) {
        parameters += "%no-protection\nKey-Type: eddsa\nKey-Curve: ed25519\nKey-Usage: sign\n"
                      "Subkey-Type: ecdh\nSubkey-Curve: cv25519\nSubkey-Usage: encrypt\n"
                      "Name-Real: Member " + std::to_string(i) + " of the team\n"
                      "Name-Email: member" + std::to_string(i) + "@example.org\nExpire-Date: 0\n%commit\n";
    }
    std::string output;
    if (testsupport::RunGpg({"--quiet", "--gen-key"}, &output, parameters) != 0)
        throw std::runtime_error("gpg cannot generate the keys: " + output);
}

// The key ring of the benchmark: imported from the kept export, or made
// and exported for the next run.
void PrepareKeyRing()
{
    const fs::path kept = testsupport::BinDir().parent_path() / "bench-data" / "keys-2000.pgp";
    std::string output;
    if (fs::exists(kept)) {
        if (testsupport::RunGpg({"--quiet", "--import", kept.string()}, &output) != 0)
            throw std::runtime_error("gpg cannot import " + kept.string() + ": " + output);
        return;
    }
    std::fprintf(stderr, "making a key ring of %d keys with gpg (once; kept in %s)\n", ciKeys, kept.string().c_str());
    GenerateKeys(ciKeys);
    fs::create_directories(kept.parent_path());
    const fs::path part = kept.string() + ".part";
    if (testsupport::RunGpg({"--yes", "--output", part.string(), "--export"}, &output) != 0)
        throw std::runtime_error("gpg cannot export the keys: " + output);
    fs::rename(part, kept);
}

void Configure()
{
    static bool done = false;
    if (done)
        return;
    PrepareKeyRing();
    CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
    CConfiguration::SetGnuPGHomeDir(testsupport::ToCString(std::getenv("GNUPGHOME")));
    CEncryption::GetDefault().RefreshKeys();
    if (CEncryption::GetDefault().ListKeys().GetSize() < ciKeys)
        throw std::runtime_error("the key ring has fewer keys than the benchmark needs");
    done = true;
}

double Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void BM_KeySelection_CreateAndShow(benchmark::State& state)
{
    Configure();
    const CArrayEx<CKey, const CKey&> all = CEncryption::GetDefault().ListKeys();
    CArrayEx<CKey, const CKey&> preselected;
    preselected.Add(all[0]);
    preselected.Add(all[all.GetSize() - 1]);
    double closedTotal = 0;
    int rows = 0;
    for (auto _ : state) {
        Automation automation;
        std::chrono::steady_clock::time_point shown;
        automation.OnDialog(IDD_KEYSELECTION, [&](ModalDriver& d) {
            platform::gui::ProcessEvents(); // the first paint
            shown = std::chrono::steady_clock::now();
            rows = d.ListRowCount(IDC_KEYLIST);
            d.Click(IDCANCEL);
        });
        const auto start = std::chrono::steady_clock::now();
        CKeySelectionDlg dlg(nullptr, preselected);
        dlg.DoModal();
        const auto closed = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(shown - start).count());
        closedTotal += Milliseconds(closed - start);
    }
    if (rows != ciKeys)
        state.SkipWithError("the dialog did not list every key");
    state.counters["rows"] = rows;
    state.counters["closed_ms"] = closedTotal / static_cast<double>(state.iterations());
}
BENCHMARK(BM_KeySelection_CreateAndShow)->Name("KeySelection_CreateAndShow/2000")->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(20);

// A dialog on the key selection template whose list is a CXListCtrl.
class ListHost : public CDialog {
public:
    ListHost() : CDialog(IDD_KEYSELECTION) {}
    CXListCtrl list;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_KEYLIST, list); }
};

size_t HeapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

void BM_ListRows_Memory(benchmark::State& state)
{
    Configure();
    const CArrayEx<CKey, const CKey&> keys = CEncryption::GetDefault().ListKeys();
    const int rows = static_cast<int>(state.range(0));
    double bytes = 0;
    for (auto _ : state) {
        ListHost host;
        host.Create(IDD_KEYSELECTION);
        for (int column = 0; column < 4; ++column)
            host.list.InsertColumn(column, column ? u"Column" : u"", LVCFMT_LEFT, 100);
        host.ShowWindow(SW_SHOWNA);
        platform::gui::ProcessEvents();
        const size_t before = HeapInUse();
        host.list.SetRedraw(FALSE);
        for (int i = 0; i < rows; ++i) {
            const CKey& key = keys[i];
            const int row = host.list.InsertItem(host.list.GetItemCount(), u"");
            host.list.SetCheckbox(row, 0, i % 3 == 0);
            host.list.SetItemColor(row, 1, RGB(28, 81, 203), GetSysColor(COLOR_WINDOW));
            host.list.SetItemText(row, 1, key.GetUserID());
            host.list.SetItemText(row, 2, key.GetMailAddress());
            host.list.SetItemText(row, 3, key.GetLongKeyIDString().Left(8) + u"." + key.GetShortKeyIDString());
            host.list.SetItemData(row, reinterpret_cast<DWORD_PTR>(new CKey(key)));
        }
        host.list.SetRedraw(TRUE);
        platform::gui::ProcessEvents();
        bytes += static_cast<double>(HeapInUse() - before);
        for (int row = 0; row < host.list.GetItemCount(); ++row)
            delete reinterpret_cast<CKey*>(host.list.GetItemData(row));
        host.DestroyWindow();
        platform::gui::ProcessEvents();
    }
    state.counters["bytes_per_1000_rows"] = bytes / static_cast<double>(state.iterations()) * 1000.0 / rows;
}
BENCHMARK(BM_ListRows_Memory)->Name("ListRows_Memory")->Arg(1000)->Arg(2000)->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    testsupport::InstallIsolation();
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!platform::gui::InitGui()) {
        std::fprintf(stderr, "no display for the dialog\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
