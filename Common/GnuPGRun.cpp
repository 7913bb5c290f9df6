#include "GnuPGRun.h"

#include <cstdlib>

#include "Directory.h"
#include "GnuPGStatus.h"
#include "OrvException.h"
#include "platform/CommandLine.h"
#include "platform/TempFile.h"
#include "resources/resource.h"

namespace {

const char* const kSource = "Common\\EncryptionGnuPG";

// At most this much of a status file is read for the failure's message.
constexpr DWORD ciMaxStatusBytes = 5000;
// Status text read for progress per call; GnuPG writes a PROGRESS line about
// once a second, so this is far more than one call ever finds.
constexpr DWORD ciProgressChunk = 64 * 1024;
// A line longer than this is no status line worth keeping.
constexpr size_t ciMaxLineBytes = 4096;

CString ErrorText(DWORD error)
{
    CString result;
    result.Format(u"%s (error %u)", COrvException::GetLastErrorMessage(error).GetString(),
                  static_cast<unsigned>(error));
    return result;
}

// The percentage of one "[GNUPG:] PROGRESS <what> <char> <cur> <total> ..."
// line; -1 when the line is not one or says nothing usable.
int ProgressOfLine(const std::string& line)
{
    static const std::string prefix = "[GNUPG:] PROGRESS ";
    if (line.compare(0, prefix.size(), prefix) != 0)
        return -1;
    // Skip <what> and <char>, then read two numbers.
    size_t pos = prefix.size();
    for (int skip = 0; skip < 2; ++skip) {
        pos = line.find(' ', pos);
        if (pos == std::string::npos)
            return -1;
        ++pos;
    }
    char* end = nullptr;
    unsigned long long current = std::strtoull(line.c_str() + pos, &end, 10);
    if (end == line.c_str() + pos || *end != ' ')
        return -1;
    const char* totalStart = end + 1;
    unsigned long long total = std::strtoull(totalStart, &end, 10);
    if (end == totalStart || total == 0 || current > total)
        return -1;
    return static_cast<int>(current * 100 / total);
}

} // namespace

CGnuPGRun::~CGnuPGRun()
{
    DeleteStatusFile();
}

void CGnuPGRun::DeleteStatusFile()
{
    if (!m_statusPath.IsEmpty())
        platform::DeleteTempFile(m_statusPath);
    m_statusPath.Empty();
}

std::unique_ptr<CGnuPGRun> CGnuPGRun::Start(const CString& gnupgPath, const CString& homeOption,
                                            const CString& arguments)
{
    std::unique_ptr<CGnuPGRun> run(new CGnuPGRun());
    CString folder = CDirectory::GetTempPathW();
    DWORD error =
        folder.IsEmpty() ? ERROR_PATH_NOT_FOUND : platform::CreatePrivateTempFile(folder, u"gpg", run->m_statusPath);
    if (error != ERROR_SUCCESS) {
        CString details;
        details.Format(u"The GnuPG status file could not be created in the temporary folder: %s",
                       ErrorText(error).GetString());
        throw new COrvException(IDS_ERR_UNKNOWN_GNUPG, details, kSource, __LINE__);
    }

    CString commandLine;
    commandLine.Format(u"\"%s\" %s --status-file %s %s", gnupgPath.GetString(), homeOption.GetString(),
                       platform::QuoteArgument(run->m_statusPath, true).GetString(), arguments.GetString());
    run->m_process = std::make_shared<platform::CProcessHandle>();
    if (!platform::StartProcess(commandLine, platform::EProcessOutput::eInherit, *run->m_process, nullptr, error)) {
        CString details;
        details.Format(u"GnuPG could not be started (%s): %s", gnupgPath.GetString(), ErrorText(error).GetString());
        run->DeleteStatusFile();
        throw new COrvException(IDS_ERR_UNKNOWN_GNUPG, details, kSource, __LINE__);
    }
    return run;
}

bool CGnuPGRun::IsRunning() const
{
    return m_process && m_process->Wait(0) == WAIT_TIMEOUT;
}

void CGnuPGRun::Wait() const
{
    if (m_process)
        m_process->Wait(INFINITE);
}

int CGnuPGRun::GetProgress()
{
    if (m_statusPath.IsEmpty())
        return m_progress;
    std::string bytes;
    if (platform::ReadFileRange(m_statusPath, m_statusOffset, ciProgressChunk, bytes) != ERROR_SUCCESS)
        return m_progress;
    m_statusOffset += bytes.size();
    for (char c : bytes) {
        if (c != '\n') {
            if (m_partialLine.size() < ciMaxLineBytes)
                m_partialLine += c;
            continue;
        }
        if (!m_partialLine.empty() && m_partialLine.back() == '\r')
            m_partialLine.pop_back();
        int percent = ProgressOfLine(m_partialLine);
        if (percent >= 0)
            m_progress = percent;
        m_partialLine.clear();
    }
    return m_progress;
}

UINT CGnuPGRun::Finish()
{
    if (m_finished)
        return m_result;
    if (IsRunning())
        return IDS_ERR_UNKNOWN_GNUPG;
    GetProgress();
    m_finished = true;
    DWORD exitCode = 0;
    if (m_process && m_process->GetExitCode(exitCode) && exitCode == 0) {
        m_result = 0;
    } else {
        std::string bytes;
        platform::ReadFileStart(m_statusPath, ciMaxStatusBytes, bytes);
        m_result = GnuPGStatusMessageId(CString::FromUtf8(bytes));
    }
    DeleteStatusFile();
    return m_result;
}
