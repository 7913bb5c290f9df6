// Private to the Windows realisation: our UTF-16 strings (char16_t) at the
// Win32 API, whose wide characters are wchar_t of the same size, and a
// handle owner.
#pragma once

#include <string>
#include <utility>

#include "platform/CString.h"
#include "platform/WinTypes.h"

namespace platform::win {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline const wchar_t* W(const CString& text)
{
    return reinterpret_cast<const wchar_t*>(text.GetString());
}
inline const wchar_t* W(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* W(char16_t* text)
{
    return reinterpret_cast<wchar_t*>(text);
}
inline CString FromW(const wchar_t* text)
{
    return text ? CString(reinterpret_cast<const char16_t*>(text)) : CString();
}
inline CString FromW(const wchar_t* text, size_t length)
{
    return CString(reinterpret_cast<const char16_t*>(text), static_cast<int>(length));
}

// A kernel handle closed by the destructor; INVALID_HANDLE_VALUE and null
// both mean "none".
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE handle) : m_handle(handle) {}
    ~CHandle() { Close(); }
    CHandle(CHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    CHandle& operator=(CHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    bool IsValid() const { return m_handle && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    HANDLE Release() { return std::exchange(m_handle, nullptr); }
    void Close()
    {
        if (IsValid())
            ::CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle = nullptr;
};

// A path as Win32 file calls take it: '/' becomes '\'.
inline CString NativePath(const CString& path)
{
    CString native = path;
    native.Replace(u'/', u'\\');
    return native;
}

} // namespace platform::win
