// Opening a file through GIO: the type from the file's name and content, the
// default application for it from the user's and the system's choices, and
// a launch that reports the started program's process id.
#include "platform/shell/ShellExecute.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/FileSystem.h"
#include "platform/SystemError.h"

namespace platform {

namespace {

template <class T>
struct SGObject {
    T* p = nullptr;
    ~SGObject()
    {
        if (p)
            g_object_unref(p);
    }
};

void NotePid(GDesktopAppInfo*, GPid pid, gpointer data)
{
    *static_cast<GPid*>(data) = pid;
}

} // namespace

DWORD ShellOpenFile(const CString& path, SShellOpenResult& result)
{
    result = SShellOpenResult();
    std::string native = path.ToUtf8();
    DWORD attributes = GetAttributes(path);
    if (native.empty() || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_FILE_NOT_FOUND;

    SGObject<GFile> file{g_file_new_for_path(native.c_str())};
    SGObject<GFileInfo> info{g_file_query_info(file.p, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                               G_FILE_QUERY_INFO_NONE, nullptr, nullptr)};
    const char* type = info.p ? g_file_info_get_content_type(info.p) : nullptr;
    SGObject<GAppInfo> app{type ? g_app_info_get_default_for_type(type, FALSE) : nullptr};
    if (!app.p)
        return ERROR_NO_ASSOCIATION;

    result.application = CString::FromUtf8(g_app_info_get_display_name(app.p));
    if (const char* id = g_app_info_get_id(app.p))
        result.command = CString::FromUtf8(id);

    gchar* uri = g_file_get_uri(file.p);
    GList* uris = g_list_append(nullptr, uri);
    SGObject<GAppLaunchContext> context{g_app_launch_context_new()};
    GError* error = nullptr;
    GPid pid = 0;
    gboolean launched = FALSE;
    if (G_IS_DESKTOP_APP_INFO(app.p)) {
        // The started program's own id comes back through the callback; an
        // application the session bus activates gives none.
        launched = g_desktop_app_info_launch_uris_as_manager(G_DESKTOP_APP_INFO(app.p), uris, context.p,
                                                            G_SPAWN_SEARCH_PATH, nullptr, nullptr, NotePid, &pid,
                                                            &error);
    } else {
        launched = g_app_info_launch_uris(app.p, uris, context.p, &error);
    }
    g_list_free(uris);
    g_free(uri);
    if (!launched) {
        if (error)
            g_error_free(error);
        return ERROR_BAD_COMMAND;
    }
    if (pid > 0)
        result.process = CProcessHandle::Open(static_cast<DWORD>(pid));
    return ERROR_SUCCESS;
}

} // namespace platform
