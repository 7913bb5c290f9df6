#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "CallStack.h"
#include "platform/DebugHelp.h"

namespace {

std::vector<std::string> Lines(const CString& trace)
{
    std::vector<std::string> lines;
    std::string text = trace.ToUtf8();
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return lines;
}

const std::regex kSourceLine(R"(    (.+) \((\d+)\): (.+))");
const std::regex kAddressLine(R"(    0x[0-9A-F]{16} \(File and line number not available\): (.+))");

bool IsThisFile(const std::string& line)
{
    return line.find("CallStackTest.cpp (") != std::string::npos;
}

[[gnu::noinline]] CString CaptureInNamedFunction()
{
    CCallStack stack;
    CString text = stack.ToString();
    asm volatile("" ::: "memory"); // keep the call above from becoming a tail call
    return text;
}

volatile int g_sink = 0;

[[gnu::noinline]] int Recurse(int depth, CString& trace)
{
    if (depth == 0) {
        CCallStack stack;
        trace = stack.ToString();
        return 0;
    }
    int result = Recurse(depth - 1, trace);
    g_sink = g_sink + result; // work after the call: no tail call, one frame per level
    return result + 1;
}

} // namespace

TEST(CallStackTest, TraceNamesCallingFunctionsWithFileAndLineAndHidesItsOwnFrames)
{
    std::vector<std::string> lines = Lines(CaptureInNamedFunction());
    ASSERT_GE(lines.size(), 2u);
    // The innermost frame is the function that made the trace, not the trace code.
    EXPECT_TRUE(IsThisFile(lines[0])) << lines[0];
    EXPECT_NE(lines[0].find("CaptureInNamedFunction"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("TestBody"), std::string::npos) << lines[1];
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, kSourceLine) || std::regex_match(line, kAddressLine)) << line;
        EXPECT_EQ(line.find("/CallStack.cpp"), std::string::npos) << line;
        EXPECT_EQ(line.find("\\CallStack.cpp"), std::string::npos) << line;
        // The capture's own realisation (DebugHelp_posix.cpp, DebugHelp_win.cpp).
        EXPECT_EQ(line.find("DebugHelp_"), std::string::npos) << line;
    }
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kSourceLine));
    EXPECT_GT(std::stoi(m[2]), 0);
}

TEST(CallStackTest, DeepStackIsCutAtSixteenFrames)
{
    CString trace;
    Recurse(30, trace);
    std::vector<std::string> lines = Lines(trace);
    ASSERT_EQ(lines.size(), static_cast<size_t>(CCallStack::ciMaxStackSize)) << trace.ToUtf8();
    for (const std::string& line : lines)
        EXPECT_NE(line.find("Recurse"), std::string::npos) << line;
}

TEST(CallStackTest, FrameWithoutLineInformationKeepsTheAddressForm)
{
    // The test framework's library carries no line information (Debian's
    // is built without, ours for Windows too); its frames lie between this
    // test and main(), which both have it.
    CCallStack stack;
    std::vector<std::string> lines = Lines(stack.ToString());
    int body = -1, main = -1, addressOnly = 0;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        if (lines[i].find("::TestBody") != std::string::npos)
            body = i;
        else if (body >= 0 && main < 0 && lines[i].size() > 6 && lines[i].compare(lines[i].size() - 6, 6, ": main") == 0)
            main = i;
        else if (body >= 0 && main < 0 && std::regex_match(lines[i], kAddressLine))
            ++addressOnly;
    }
    ASSERT_EQ(body, 0) << stack.ToString().ToUtf8();
    EXPECT_TRUE(IsThisFile(lines[body])) << lines[body];
    ASSERT_GT(main, body + 1) << stack.ToString().ToUtf8();
    EXPECT_TRUE(std::regex_match(lines[main], kSourceLine)) << lines[main];
    EXPECT_GT(addressOnly, 0) << stack.ToString().ToUtf8();
    // Every frame in between is in one of the two forms (a build may inline
    // some framework frames from headers, which then carry line information).
    for (int i = body + 1; i < main; ++i)
        EXPECT_TRUE(std::regex_match(lines[i], kAddressLine) || std::regex_match(lines[i], kSourceLine)) << lines[i];
}

TEST(CallStackTest, SymbolSessionStartsWithFirstInstanceAndEndsAfterLast)
{
    ASSERT_EQ(CCallStack::GetInitCount(), 0);
    EXPECT_FALSE(platform::debughelp::IsInitialized());
    auto first = std::make_unique<CCallStack>();
    EXPECT_EQ(CCallStack::GetInitCount(), 1);
    EXPECT_TRUE(platform::debughelp::IsInitialized());
    auto second = std::make_unique<CCallStack>();
    auto copy = std::make_unique<CCallStack>(*second);
    EXPECT_EQ(CCallStack::GetInitCount(), 3);
    first.reset();
    second.reset();
    EXPECT_EQ(CCallStack::GetInitCount(), 1);
    EXPECT_TRUE(platform::debughelp::IsInitialized());
    // The last instance still renders with symbols.
    EXPECT_NE(copy->ToString().Find(u"SymbolSessionStartsWithFirstInstanceAndEndsAfterLast"), -1);
    copy.reset();
    EXPECT_EQ(CCallStack::GetInitCount(), 0);
    EXPECT_FALSE(platform::debughelp::IsInitialized());
}

namespace {

[[gnu::noinline]] CCallStack CaptureElsewhere()
{
    CCallStack stack;
    asm volatile("" ::: "memory"); // keep the capture in this frame
    return stack;
}

} // namespace

TEST(CallStackTest, AssignmentCopiesTheAddresses)
{
    CCallStack a = CaptureElsewhere();
    CCallStack b;
    EXPECT_NE(a.ToString().Find(u"CaptureElsewhere"), -1) << a.ToString().ToUtf8();
    EXPECT_NE(a.ToString(), b.ToString());
    b = a;
    EXPECT_EQ(a.ToString(), b.ToString());
}

TEST(CallStackTest, MissingLibraryOrEntryPointGivesTheFixedText)
{
    ASSERT_EQ(CCallStack::GetInitCount(), 0);
    // A library that does not exist, and one without the symbol functions.
#ifdef _WIN32
    for (const char* library : {"veilcase-no-such-library.dll", "kernel32.dll"}) {
#else
    for (const char* library : {"libveilcase-no-such-library.so.1", "libc.so.6"}) {
#endif
        CCallStack::SetDebugHelpLibrary(library);
        CCallStack stack;
        EXPECT_EQ(stack.ToString(), CString(u"(No stack trace availabe)")) << library;
        EXPECT_EQ(CCallStack::GetInitCount(), 0);
    }
    CCallStack::SetDebugHelpLibrary(nullptr);
    CCallStack again;
    EXPECT_NE(again.ToString().Find(u"CallStackTest.cpp ("), -1);
}

namespace {

// A thread's work in a function of its own: a lambda inlined into the
// thread runner would be attributed to the runner's header by one symbol
// library (Wine's dbghelp) and to this file by the other.
[[gnu::noinline]] void CaptureTwentyTimes(std::atomic<int>& good)
{
    for (int i = 0; i < 20; ++i) {
        CCallStack stack;
        if (stack.ToString().Find(u"CallStackTest.cpp (") >= 0)
            ++good;
        else if (i == 0)
            ADD_FAILURE() << stack.ToString().ToUtf8();
    }
}

} // namespace

TEST(CallStackTest, ThreadsCaptureAndRenderAtOnce)
{
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(CaptureTwentyTimes, std::ref(good));
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(good.load(), 80);
    EXPECT_EQ(CCallStack::GetInitCount(), 0);
}
