// Finding windows and sending them WM_COPYDATA are the system's own calls
// on Windows. The receiving side (CFindableWindow) belongs with the
// background program's window and follows with it.
#include "platform/Window.h"

#include "platform/Win32_win.h"

namespace platform {

HWND FindWindowW(const char16_t* lpClassName, const char16_t* lpWindowName)
{
    if (!lpClassName || !lpWindowName)
        return nullptr;
    return ::FindWindowW(win::W(lpClassName), win::W(lpWindowName));
}

DWORD GetWindowThreadProcessId(HWND hWnd, DWORD* lpdwProcessId)
{
    DWORD process = 0;
    DWORD thread = hWnd ? ::GetWindowThreadProcessId(hWnd, &process) : 0;
    if (lpdwProcessId)
        *lpdwProcessId = thread ? process : 0;
    return thread;
}

bool SendCopyData(HWND window, WPARAM wParam, const COPYDATASTRUCT& data, DWORD timeoutMs, LRESULT& result)
{
    result = 0;
    if (!window || data.cbData > ciMaxCopyDataBytes)
        return false;
    DWORD_PTR answer = 0;
    COPYDATASTRUCT copy = data;
    if (!::SendMessageTimeoutW(window, WM_COPYDATA, wParam, reinterpret_cast<LPARAM>(&copy),
                               SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &answer))
        return false;
    result = static_cast<LRESULT>(answer);
    return true;
}

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (Msg != WM_COPYDATA || !lParam)
        return 0;
    LRESULT result = 0;
    SendCopyData(hWnd, wParam, *reinterpret_cast<const COPYDATASTRUCT*>(lParam), ciSendMessageTimeoutMs, result);
    return result;
}

} // namespace platform
