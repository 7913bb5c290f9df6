#include "dialoghook/VeilshimApp.h"

#include "Log.h"
#include "platform/Resources.h"

namespace {

// Runs InitInstance when the library is loaded into a process and
// ExitInstance when it is unloaded.
struct SLoadHook {
    SLoadHook() { CVeilshimApp::Instance().InitInstance(); }
    ~SLoadHook() { CVeilshimApp::Instance().ExitInstance(); }
} g_loadHook;

} // namespace

CVeilshimApp& CVeilshimApp::Instance()
{
    static CVeilshimApp app;
    return app;
}

bool CVeilshimApp::InitInstance()
{
    if (m_hResources)
        return true;
    CString error;
    m_hResources = platform::LoadResourceModule(u"veilcaseRes64.dll",
                                                reinterpret_cast<const void*>(&CVeilshimApp::Instance), &error);
    if (!m_hResources) {
        WriteLog(eLogError, u"The resource module veilcaseRes64 cannot be loaded: %s", error.GetString());
        return false;
    }
    platform::AddResourceSource(platform::ResourcesOfModule(m_hResources));
    return true;
}

void CVeilshimApp::ExitInstance()
{
    // The module itself stays mapped: strings taken from it may still be in use.
    if (m_hResources)
        platform::RemoveResourceSource(platform::ResourcesOfModule(m_hResources));
    m_hResources = nullptr;
}
