#include "CallStack.h"

#include <cstring>
#include <exception>

#include "platform/DebugHelp.h"

namespace dh = platform::debughelp;

std::mutex CCallStack::m_cs;
bool CCallStack::m_bLinkTried = false;
int CCallStack::m_bLoadSuccess = 0;
int CCallStack::m_iInitCount = 0;

namespace {

// Frames from these source files are left out of a rendered trace: the
// trace's own code and the memory-allocation layers say nothing about where
// an error arose.
const char16_t* const kHiddenSourceFiles[] = {
    u"callstack.cpp", u"afxmem.cpp", u"dbgheap.c",  u"new.cpp",
    u"heapsniffer.cpp", u"new_op.cc", u"new_opv.cc", u"asan_new_delete.cpp",
};

// The file name of a source path from the debug information, which may have
// been written with either separator whatever system reads it.
CString SourceFileName(const CString& path)
{
    int slash = path.ReverseFind(u'/');
    int backslash = path.ReverseFind(u'\\');
    return path.Mid((slash > backslash ? slash : backslash) + 1);
}

bool IsHiddenSourceFile(const CString& path)
{
    CString name = SourceFileName(path);
    if (dh::IsOwnSourceFile(name))
        return true;
    for (const char16_t* hidden : kHiddenSourceFiles)
        if (name.CompareNoCase(hidden) == 0)
            return true;
    return false;
}

constexpr int kMaxLineLength = 1023;

// Whether a return address lies in the trace code's own source.
bool IsOwnFrame(ULONGLONG returnAddress)
{
    CString file;
    int line = 0;
    if (!dh::LineFromAddress(returnAddress - 1, file, line))
        return false;
    CString name = SourceFileName(file);
    return name.CompareNoCase(u"callstack.cpp") == 0 || dh::IsOwnSourceFile(name);
}

} // namespace

CCallStack::CCallStack() : m_addresses{}, m_bCounted(false)
{
    std::lock_guard<std::mutex> lock(m_cs);
    if (!m_bLinkTried) {
        m_bLoadSuccess = LinkDebugHelpDll() ? 1 : 0;
        m_bLinkTried = true;
    }
    if (m_bLoadSuccess) {
        if (m_iInitCount > 0)
            ++m_iInitCount;
        else if (dh::Initialize())
            m_iInitCount = 1;
        m_bCounted = m_iInitCount > 0;
    }
    if (m_bCounted)
        GetStackTrace();
}

CCallStack::CCallStack(const CCallStack& other) : m_addresses{}, m_bCounted(false)
{
    std::lock_guard<std::mutex> lock(m_cs);
    std::memcpy(m_addresses, other.m_addresses, sizeof m_addresses);
    if (m_iInitCount > 0) {
        ++m_iInitCount;
        m_bCounted = true;
    }
}

CCallStack::~CCallStack()
{
    std::lock_guard<std::mutex> lock(m_cs);
    if (m_bCounted && m_iInitCount > 0 && --m_iInitCount == 0)
        dh::Cleanup();
}

CCallStack& CCallStack::operator=(const CCallStack& other)
{
    if (this != &other) {
        std::lock_guard<std::mutex> lock(m_cs);
        std::memcpy(m_addresses, other.m_addresses, sizeof m_addresses);
    }
    return *this;
}

bool CCallStack::LinkDebugHelpDll()
{
    return dh::Link();
}

void CCallStack::GetStackTrace()
{
    // Capture a few frames more than are kept and drop the leading ones that
    // belong to the trace code itself: how many there are depends on how the
    // compiler laid out the constructors, so they are found by their source.
    constexpr int kSpare = 8;
    ULONGLONG frames[ciMaxStackSize + kSpare] = {};
    const int captured = dh::CaptureStack(frames, ciMaxStackSize + kSpare, 0);
    int first = 0;
    while (first < captured && IsOwnFrame(frames[first]))
        ++first;
    for (int i = 0; i < ciMaxStackSize; ++i)
        m_addresses[i] = first + i < captured ? frames[first + i] : 0;
}

CString CCallStack::ToString() const
{
    std::lock_guard<std::mutex> lock(m_cs);
    if (!m_bLoadSuccess)
        return CString(u"(No stack trace availabe)");

    CString result;
    try {
        for (int i = 0; i < ciMaxStackSize && m_addresses[i] != 0; ++i) {
            // The stored addresses are return addresses: the call itself
            // lies just before, and its last byte belongs to the caller's line.
            const ULONGLONG lookup = m_addresses[i] - 1;
            CString file;
            int line = 0;
            const bool hasLine = dh::LineFromAddress(lookup, file, line);
            if (hasLine && IsHiddenSourceFile(file))
                continue;
            CString function;
            if (!dh::SymbolFromAddress(lookup, function))
                function = u"(Function name unavailable)";
            CString text;
            if (hasLine)
                text.Format(u"    %S (%d): %s\r\n", file.ToUtf8().c_str(), line, function.GetString());
            else
                text.Format(u"    0x%016I64X (File and line number not available): %s\r\n", m_addresses[i],
                            function.GetString());
            if (text.GetLength() > kMaxLineLength)
                text = text.Left(kMaxLineLength - 2) + u"\r\n";
            result += text;
        }
    } catch (const std::exception&) {
        // A frame that cannot be rendered ends the trace; what was rendered stays.
    }
    return result;
}

void CCallStack::SetDebugHelpLibrary(const char* name)
{
    std::lock_guard<std::mutex> lock(m_cs);
    if (m_iInitCount > 0)
        return;
    dh::SetLibraryName(name);
    m_bLinkTried = false;
    m_bLoadSuccess = 0;
}

int CCallStack::GetInitCount()
{
    std::lock_guard<std::mutex> lock(m_cs);
    return m_iInitCount;
}
