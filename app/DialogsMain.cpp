// veilcase-dialogs: shows the dialog templates of the resource module as
// real windows, so that every dialog can be looked at, or writes a PNG of
// each.
//
//   veilcase-dialogs                 list the templates
//   veilcase-dialogs 201 2014        show these templates, one after the other
//   veilcase-dialogs --all           show every template
//   veilcase-dialogs --png DIR [ID]  write DIR/dialog-<id>.png for each (all by default)
//
// Without a display, --png renders offscreen.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Resources.h"
#include "platform/gui/Dialog.h"
#include "platform/gui/Gui.h"

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: veilcase-dialogs [--all | --png DIR] [ID...]\n"
                 "  no arguments   list the dialog templates of the resource module\n"
                 "  ID...          show these templates, one after the other\n"
                 "  --all          show every template\n"
                 "  --png DIR      write DIR/dialog-<id>.png of each template (all when no ID is given)\n");
    return 2;
}

bool WritePng(UINT id, const std::filesystem::path& folder)
{
    CDialog dialog(id);
    if (!dialog.Create(id)) {
        std::fprintf(stderr, "veilcase-dialogs: template %u cannot be shown\n", id);
        return false;
    }
    dialog.ShowWindow(SW_SHOWNA);
    platform::gui::ProcessEvents();
    const std::filesystem::path file = folder / ("dialog-" + std::to_string(id) + ".png");
    const bool written = platform::gui::SaveWindowImage(dialog.m_hWnd, CString::FromUtf8(file.string()));
    dialog.DestroyWindow();
    if (written)
        std::printf("%s\n", file.string().c_str());
    else
        std::fprintf(stderr, "veilcase-dialogs: cannot write %s\n", file.string().c_str());
    return written;
}

} // namespace

int main(int argc, char** argv)
{
    bool all = false;
    std::string pngFolder;
    std::vector<UINT> ids;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--all")) {
            all = true;
        } else if (!std::strcmp(argv[i], "--png") && i + 1 < argc) {
            pngFolder = argv[++i];
        } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            Usage();
            return 0;
        } else {
            char* end = nullptr;
            const unsigned long id = std::strtoul(argv[i], &end, 10);
            if (!end || *end || id == 0 || id > 0xFFFF)
                return Usage();
            ids.push_back(static_cast<UINT>(id));
        }
    }
    const std::vector<UINT> available = platform::ResourceIds(platform::ResourceType::Dialog);
    if (available.empty()) {
        std::fprintf(stderr, "veilcase-dialogs: the resource module has no dialog templates (is libveilcaseRes64.so there?)\n");
        return 1;
    }
    if (ids.empty() && (all || !pngFolder.empty()))
        ids = available;
    if (ids.empty()) {
        for (UINT id : available) {
            platform::DialogTemplate t;
            platform::LoadDialogTemplate(id, t);
            std::printf("%5u  %s  (%d x %d dialog units, %zu controls)\n", id, t.caption.ToUtf8().c_str(), t.cx, t.cy,
                        t.controls.size());
        }
        return 0;
    }
    if (!pngFolder.empty() && !platform::gui::HasDisplay())
        platform::gui::UseOffscreenDisplay(); // pictures need no screen
    if (!platform::gui::InitGui()) {
        std::fprintf(stderr, "veilcase-dialogs: no display to show dialogs on\n");
        return 1;
    }
    int failures = 0;
    if (!pngFolder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(pngFolder, error);
        for (UINT id : ids)
            failures += WritePng(id, pngFolder) ? 0 : 1;
        return failures ? 1 : 0;
    }
    for (UINT id : ids) {
        CDialog dialog(id);
        const INT_PTR result = dialog.DoModal();
        std::printf("%u: %ld\n", id, static_cast<long>(result));
        failures += result == -1 ? 1 : 0;
    }
    return failures ? 1 : 0;
}
