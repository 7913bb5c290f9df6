#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Log.h"
#include "platform/MessageBox.h"
#include "OrvException.h"
#include "platform/Resources.h"
#include "TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

struct SBox {
    CString text;
    UINT type;
};

CString String(UINT id)
{
    CString text;
    EXPECT_TRUE(platform::LoadResourceString(id, text)) << id;
    return text;
}

// Records every message box and answers from a queue (the default button
// once the queue is empty); logs into a folder of its own.
class OrvExceptionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = SetMessageBoxHandler([this](const CString& text, UINT type) {
            m_boxes.push_back({text, type});
            if (m_answers.empty())
                return DefaultMessageBoxButton(type);
            int answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        });
        m_appData.emplace(m_dataHome.Path());
        CloseLogFile();
    }
    void TearDown() override
    {
        SetMessageBoxHandler(m_previous);
        CloseLogFile();
        m_appData.reset();
    }
    std::string LogText() const
    {
        for (const auto& entry : fs::recursive_directory_iterator(m_dataHome.Path()))
            if (entry.is_regular_file())
                return testsupport::ReadFile(entry.path());
        return std::string();
    }
    static size_t Count(const std::string& text, const std::string& what)
    {
        size_t n = 0;
        for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
            ++n;
        return n;
    }

    std::vector<SBox> m_boxes;
    std::deque<int> m_answers;
    MessageBoxHandler m_previous;
    testsupport::TempDir m_dataHome{"data"};
    std::optional<testsupport::ScopedAppDataFolder> m_appData;
};

[[gnu::noinline]] COrvException* RaiseIpcError()
{
    return new COrvException(2000, "Common\\Ipc", 57, eDisplayDetails);
}

} // namespace

TEST_F(OrvExceptionTest, CreationLogsOneReportWithMessageAndStackTrace)
{
    COrvException* e = RaiseIpcError();
    std::string log = LogText();
    const std::string expected = "Filename: Common\\Ipc \r\nLine: 57 \r\nStringID: 2000\r\nMessageText: " +
                                 String(2000).ToUtf8() + "\r\n";
    size_t at = log.find(expected);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.substr(at - 2, 2), " \t") << "the report is one stamped entry";
    std::string trace = log.substr(at + expected.size());
    EXPECT_NE(trace.find("OrvExceptionTest.cpp ("), std::string::npos) << trace;
    EXPECT_NE(trace.find("RaiseIpcError"), std::string::npos) << trace;
    EXPECT_EQ(Count(log, "Filename: "), 1u);

    // Copies never log again.
    COrvException copy(*e);
    COrvException* clone = e->Clone();
    COrvException assigned(COrvException::ciNoMessageId, "x", 1);
    assigned = *e;
    EXPECT_EQ(Count(LogText(), "Filename: "), 2u) << "only the object made on purpose above";
    for (const COrvException* c : std::initializer_list<const COrvException*>{&copy, clone, &assigned}) {
        EXPECT_EQ(c->GetMessageId(), 2000u);
        EXPECT_STREQ(c->GetSourceFile(), "Common\\Ipc");
        EXPECT_EQ(c->GetLine(), 57u);
        EXPECT_EQ(c->GetDisplayMode(), eDisplayDetails);
        EXPECT_EQ(c->m_bAutoDelete, e->m_bAutoDelete);
    }
    clone->Delete();
    e->Delete();
}

TEST_F(OrvExceptionTest, ReportMarksMessageInsertsAndIsLoggedLiterally)
{
    COrvException e(COrvException::ciNoMessageId, "src%1%2%1%s%d.cpp", 3, eDisplayNone);
    std::string log = LogText();
    EXPECT_NE(log.find("Filename: srcP1P2%1%s%d.cpp \r\nLine: 3 \r\nStringID: -1\r\nMessageText: \r\n"),
              std::string::npos)
        << log;
}

TEST_F(OrvExceptionTest, MessageTexts)
{
    COrvException known(2000, CString(u"/tmp/x"), "Common\\Ipc", 57, eDisplayError);
    EXPECT_EQ(known.GetMessageText(), String(2000));
    EXPECT_EQ(known.GetMessageDetails(), CString(u"/tmp/x"));
    EXPECT_EQ(known.GetErrorMessageWithoutDebugInfo(), String(2000) + u"\n/tmp/x");
    EXPECT_EQ(COrvException(54321, "a", 1).GetMessageText(), CString(u"Unknown Message ID"));
    EXPECT_EQ(COrvException(COrvException::ciNoMessageId, "a", 1).GetMessageText(), CString(u"No Message Text"));

    char16_t small[5];
    EXPECT_EQ(known.GetMessageText(small, 5), TRUE);
    EXPECT_EQ(CString(small), String(2000).Left(4));
}

TEST_F(OrvExceptionTest, ErrorMessageAddsSourceAndLineAndIsCutToTheBuffer)
{
    COrvException e(2000, "Common\\Ipc", 57, eDisplayDetails);
    char16_t buffer[1024];
    unsigned help = 99;
    EXPECT_TRUE(e.GetErrorMessage(buffer, 1024, &help));
    EXPECT_EQ(help, 0u);
    EXPECT_EQ(CString(buffer), String(2000) + u"\nCommon\\Ipc @ 57");

    COrvException withDetails(2000, CString(u"more"), "Common\\Ipc", 57, eDisplayDetails);
    withDetails.GetErrorMessage(buffer, 1024, nullptr);
    EXPECT_EQ(CString(buffer), String(2000) + u"\nmore\nCommon\\Ipc @ 57");

    buffer[7] = u'#';
    withDetails.GetErrorMessage(buffer, 7, nullptr);
    EXPECT_EQ(CString(buffer), String(2000).Left(6));
    EXPECT_EQ(buffer[7], u'#') << "nothing written past the buffer";

    COrvException noSource(2000, nullptr, 0, eDisplayDetails);
    noSource.GetErrorMessage(buffer, 1024, nullptr);
    EXPECT_EQ(CString(buffer), String(2000));
}

TEST_F(OrvExceptionTest, SingleBoxModesShowTextAndDetailsWithTheirIcon)
{
    COrvException none(COrvException::ciNoMessageId, "a.cpp", 1, eDisplayError);
    none.Display();
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, CString(u"No Message Text"));
    EXPECT_EQ(m_boxes[0].type, MB_OK | MB_ICONERROR);
    EXPECT_NE(LogText().find("StringID: -1\r\nMessageText: \r\n"), std::string::npos);

    m_boxes.clear();
    COrvException(2000, CString(u"why"), "a.cpp", 1, eDisplayWarning).Display();
    COrvException(2000, "a.cpp", 1, eDisplayInfo).Display();
    COrvException(2000, CString(u"why"), "a.cpp", 1, eDisplayNone).Display();
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[0].text, String(2000) + u"\nwhy");
    EXPECT_EQ(m_boxes[0].type, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(m_boxes[1].text, String(2000));
    EXPECT_EQ(m_boxes[1].type, MB_OK | MB_ICONINFORMATION);
}

TEST_F(OrvExceptionTest, DetailsModeAsksBeforeShowingDetails)
{
    COrvException e(2000, CString(u"the details"), "a.cpp", 1, eDisplayDetails);
    const CString question = String(2000) + u"\n\n" + String(1000);
    EXPECT_EQ(String(1000), CString(u"Show Details"));

    m_answers = {IDNO};
    e.Display();
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, question);
    EXPECT_EQ(m_boxes[0].type, MB_YESNO | MB_ICONERROR | MB_DEFBUTTON2);

    m_boxes.clear();
    m_answers = {IDYES};
    e.Display();
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].text, String(1001) + u"\nthe details");
    EXPECT_EQ(m_boxes[1].type & MB_ICONMASK, MB_ICONWARNING);

    // Without details (and for modes outside the list) one error box with the text.
    m_boxes.clear();
    COrvException(2000, "a.cpp", 1, static_cast<EDisplayMode>(9)).Display();
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, String(2000));
    EXPECT_EQ(m_boxes[0].type, MB_OK | MB_ICONERROR);
}

TEST_F(OrvExceptionTest, UnhandledErrorShowsLocationOnRequestAndLogsNothing)
{
    m_answers = {IDYES};
    COrvException::DisplayUnhandledException(2000, "C:\\src\\Common/Ipc.cpp", 321);
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[0].text, String(2000) + u"\n\n" + String(1000));
    EXPECT_EQ(m_boxes[0].type, MB_YESNO | MB_ICONERROR | MB_DEFBUTTON2);
    EXPECT_EQ(m_boxes[1].text, String(1001) + u"\n" + String(1002) + u"Ipc.cpp\n" + String(1003) + u"321");

    m_boxes.clear();
    COrvException::DisplayUnhandledException(2000, "x.cpp", 1); // default answer: No
    EXPECT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(LogText().find("Filename: "), std::string::npos);
}

TEST_F(OrvExceptionTest, SystemErrorTexts)
{
    // Windows error codes on every system; the texts are the system's own.
#ifdef _WIN32
    // FormatMessage's texts, without their line break; Wine words them its
    // own way.
    const bool wine = testsupport::RunsUnderWine();
    EXPECT_EQ(COrvException::GetLastErrorMessage(ERROR_FILE_NOT_FOUND),
              CString(wine ? u"File not found." : u"The system cannot find the file specified."));
    EXPECT_EQ(COrvException::GetLastErrorMessage(ERROR_ACCESS_DENIED),
              CString(wine ? u"Access denied." : u"Access is denied."));
#else
    EXPECT_EQ(COrvException::GetLastErrorMessage(ERROR_FILE_NOT_FOUND), CString(u"No such file or directory"));
    EXPECT_EQ(COrvException::GetLastErrorMessage(ERROR_ACCESS_DENIED), CString(u"Permission denied"));
#endif
    EXPECT_TRUE(COrvException::GetLastErrorMessage(987654).IsEmpty());
    EXPECT_TRUE(COrvException::GetLastErrorMessage(0xFFFFFFF0u).IsEmpty());
}

TEST(MessageBoxTest, ConsoleHandlerAnswersWithTheDefaultButton)
{
    EXPECT_EQ(DefaultMessageBoxButton(MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(DefaultMessageBoxButton(MB_YESNO), IDYES);
    EXPECT_EQ(DefaultMessageBoxButton(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(DefaultMessageBoxButton(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(DefaultMessageBoxButton(MB_OKCANCEL | MB_DEFBUTTON3), IDOK) << "no third button: the first";
    EXPECT_EQ(DefaultMessageBoxButton(MB_RETRYCANCEL | MB_DEFBUTTON2), IDCANCEL);
    // Without a handler installed the console answers.
    MessageBoxHandler previous = SetMessageBoxHandler(nullptr);
    EXPECT_EQ(AfxMessageBox(CString(u"console box"), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2), IDNO);

    // A box by string id shows the table's text through the installed handler.
    std::vector<SBox> boxes;
    SetMessageBoxHandler([&boxes](const CString& text, UINT type) {
        boxes.push_back({text, type});
        return IDRETRY;
    });
    EXPECT_EQ(AfxMessageBox(2000u, MB_RETRYCANCEL | MB_ICONERROR), IDRETRY);
    SetMessageBoxHandler(previous);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, String(2000));
    EXPECT_EQ(boxes[0].type, MB_RETRYCANCEL | MB_ICONERROR);
}
