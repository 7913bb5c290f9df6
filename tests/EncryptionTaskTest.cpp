// The task record's byte layout and the task object built from it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "EncryptionTask.h"
#include "platform/Process.h"
#include "TestEnvironment.h"

using namespace platform;

namespace {

// Exposes the shared process handle for the ownership checks.
class CInspectableTask : public CEncryptionTask {
public:
    using CEncryptionTask::CEncryptionTask;
    long HandleOwners() const { return m_process.use_count(); }
    void ForceStatus(int status) { m_status = static_cast<EEncryptionTaskStatus>(status); }
};

template <class T>
T At(const unsigned char* bytes, size_t offset)
{
    T value{};
    for (size_t i = 0; i < sizeof(T); ++i)
        value = static_cast<T>(value | static_cast<T>(static_cast<T>(bytes[offset + i]) << (8 * i)));
    return value;
}

SEncryptionTask EmptyRecord()
{
    SEncryptionTask record;
    std::memset(&record, 0, sizeof record);
    record.version = SEncryptionTask::ciVersion;
    record.size = SEncryptionTask::ciSize;
    return record;
}

void SetPath(char16_t (&field)[SEncryptionTask::ciPathLength], const std::u16string& text)
{
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), size_t(SEncryptionTask::ciPathLength - 1)) * 2);
}

int OpenDescriptors()
{
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count;
}

CProcessHandle StartSleeper()
{
    CString line = u"\"" + CString::FromUtf8((testsupport::BinDir() / "childproc").string()) + u"\" exit 0 60000";
    CProcessHandle child;
    DWORD error = 0;
    EXPECT_TRUE(StartProcess(line, EProcessOutput::eInherit, child, nullptr, error)) << error;
    return child;
}

} // namespace

TEST(EncryptionTaskTest, EveryFieldLiesAtItsOffsetInLittleEndianOrder)
{
    SEncryptionTask record = EmptyRecord();
    record.kind = 0x11223344;
    record.reserved = 0x55667788;
    SetPath(record.filePath, u"/run/user/1000/veilcase/Ä/doc.txt");
    record.processId = 0xA1B2C3D4;
    for (int i = 0; i < 260; ++i)
        record.reserved2[i] = static_cast<BYTE>(i);
    for (int i = 0; i < SEncryptionTask::ciMaxKeyIds; ++i)
        record.keyIds[i] = 0x0102030405060708ull * static_cast<ULONGLONG>(i + 1);
    record.creationTime = -2;
    record.completionTime = 0x7FEEDDCCBBAA9988ll;
    SetPath(record.encryptedFilePath, u"/home/u/doc.txt.gpg");
    record.encryptionScheduled = 1;
    record.deletionScheduled = 0x01020304;
    for (int i = 0; i < 16; ++i)
        record.fileHash[i] = static_cast<BYTE>(0xF0 + i);

    unsigned char bytes[SEncryptionTask::ciSize];
    std::memcpy(bytes, &record, sizeof bytes);
    EXPECT_EQ(At<DWORD>(bytes, 0), 1u);
    EXPECT_EQ(At<DWORD>(bytes, 4), 5456u);
    EXPECT_EQ(At<DWORD>(bytes, 8), 0x11223344u);
    EXPECT_EQ(At<DWORD>(bytes, 12), 0x55667788u);
    EXPECT_EQ(At<char16_t>(bytes, 16), u'/');
    EXPECT_EQ(At<char16_t>(bytes, 16 + 2 * 24), u'Ä');
    EXPECT_EQ(At<char16_t>(bytes, 16 + 2 * 33), 0);
    EXPECT_EQ(At<char16_t>(bytes, 16 + 2 * 259), 0);
    EXPECT_EQ(At<DWORD>(bytes, 536), 0xA1B2C3D4u);
    EXPECT_EQ(bytes[540], 0);
    EXPECT_EQ(bytes[540 + 259], 3); // 259 & 0xFF
    EXPECT_EQ(At<ULONGLONG>(bytes, 800), 0x0102030405060708ull);
    EXPECT_EQ(At<ULONGLONG>(bytes, 800 + 8 * 511), 0x0102030405060708ull * 512);
    EXPECT_EQ(At<LONGLONG>(bytes, 4896), -2);
    EXPECT_EQ(At<LONGLONG>(bytes, 4904), 0x7FEEDDCCBBAA9988ll);
    EXPECT_EQ(At<char16_t>(bytes, 4912), u'/');
    EXPECT_EQ(At<char16_t>(bytes, 4912 + 2 * 18), u'g');
    EXPECT_EQ(At<DWORD>(bytes, 5432), 1u);
    EXPECT_EQ(At<DWORD>(bytes, 5436), 0x01020304u);
    EXPECT_EQ(bytes[5440], 0xF0);
    EXPECT_EQ(bytes[5455], 0xFF);

    // And back: the bytes give the same record.
    SEncryptionTask copy;
    std::memcpy(&copy, bytes, sizeof copy);
    EXPECT_EQ(std::memcmp(&copy, &record, sizeof copy), 0);
}

TEST(EncryptionTaskTest, ATaskTakesTheRecordTheUsingProcessAndTheHash)
{
    CProcessHandle child = StartSleeper();
    SEncryptionTask record = EmptyRecord();
    SetPath(record.filePath, u"/tmp/work/Jürgen.odt");
    SetPath(record.encryptedFilePath, u"/home/u/Jürgen.odt.gpg");
    record.processId = child.GetId();
    record.keyIds[0] = 0x1234567890ABCDEFull;
    record.creationTime = 1700000000;
    record.completionTime = 0;
    record.encryptionScheduled = 1;
    record.deletionScheduled = 0;
    for (int i = 0; i < 16; ++i)
        record.fileHash[i] = static_cast<BYTE>(i * 3);

    ULONGLONG before = GetTickCount64();
    CEncryptionTask task(record);
    ULONGLONG after = GetTickCount64();

    EXPECT_EQ(task.GetStatus(), eTaskWaitingForFile);
    EXPECT_EQ(task.GetStatusString(), CString(u"Waiting for file"));
    EXPECT_GE(task.GetCreatedTick(), before);
    EXPECT_LE(task.GetCreatedTick(), after);
    EXPECT_EQ(task.GetUsingProcess(), CString(u"childproc"));
    EXPECT_EQ(task.GetProcess().GetId(), child.GetId());
    EXPECT_EQ(task.GetFilePath(), CString(u"/tmp/work/Jürgen.odt"));
    EXPECT_EQ(task.GetEncryptedFilePath(), CString(u"/home/u/Jürgen.odt.gpg"));
    EXPECT_EQ(task.GetCreationTime().GetTime(), 1700000000);
    EXPECT_EQ(task.GetCompletionTime().GetTime(), 0);
    EXPECT_EQ(task.IsEncryptionScheduled(), 1);
    EXPECT_EQ(task.IsDeletionScheduled(), 0);
    EXPECT_FALSE(task.IsNotModified());
    EXPECT_EQ(task.keyIds[0], 0x1234567890ABCDEFull);
    CArrayEx<BYTE, BYTE> hash = task.GetFileHash();
    ASSERT_EQ(hash.GetSize(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(hash[i], i * 3);

    // The task follows the process it was given, not whatever takes its id.
    child.Terminate(0);
    EXPECT_EQ(task.GetProcess().Wait(INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(task.GetProcess().GetExitCode(code));
    EXPECT_NE(code, STILL_ACTIVE);
}

TEST(EncryptionTaskTest, AnEndedOrMissingProcessGivesANullHandleAndNoName)
{
    SEncryptionTask record = EmptyRecord();
    record.processId = 0;
    CEncryptionTask none(record);
    EXPECT_TRUE(none.GetProcess().IsNull());
    EXPECT_TRUE(none.GetUsingProcess().IsEmpty());

    CProcessHandle child = StartSleeper();
    record.processId = child.GetId();
    child.Terminate(0);
    child.Wait(INFINITE);
    child.Close(); // reaped: the id names nothing now
    CEncryptionTask ended(record);
    EXPECT_TRUE(ended.GetUsingProcess().IsEmpty());
}

TEST(EncryptionTaskTest, CopiesShareOneHandleThatIsClosedWithTheLastCopy)
{
    // A process that is not our child, so that every task opens a handle of
    // its own (handles to a child of ours all share one descriptor).
    SEncryptionTask record = EmptyRecord();
    record.processId = static_cast<DWORD>(getppid());
    int baseline = OpenDescriptors();
    {
        auto original = std::make_unique<CInspectableTask>(record);
        EXPECT_EQ(OpenDescriptors(), baseline + 1);
        original->ForceStatus(eTaskCleaningUp);
        CInspectableTask copy(*original);
        CInspectableTask assigned(record);
        EXPECT_EQ(OpenDescriptors(), baseline + 2);
        assigned = copy; // drops its own handle, takes the shared one
        EXPECT_EQ(OpenDescriptors(), baseline + 1);
        EXPECT_EQ(original->HandleOwners(), 3);
        EXPECT_EQ(&copy.GetProcess(), &original->GetProcess());
        EXPECT_EQ(assigned.GetStatus(), eTaskCleaningUp);
        EXPECT_EQ(assigned.GetUsingProcess(), copy.GetUsingProcess());
        EXPECT_FALSE(assigned.GetUsingProcess().IsEmpty());

        original.reset();
        EXPECT_EQ(OpenDescriptors(), baseline + 1);
        EXPECT_EQ(copy.HandleOwners(), 2);
        EXPECT_EQ(copy.GetProcess().Wait(0), WAIT_TIMEOUT);
    }
    EXPECT_EQ(OpenDescriptors(), baseline);
}

TEST(EncryptionTaskTest, StatusTexts)
{
    const char16_t* texts[] = {u"Waiting for file", u"File missing",     u"File in use",
                               u"Start encryption", u"Encrypting...",    u"Encryption complete",
                               u"Encrytion failed", u"Encrypted",        u"Cleaning up",
                               u"Encrypted(Not modified)"};
    SEncryptionTask record = EmptyRecord();
    CInspectableTask task(record);
    for (int status = 0; status < 10; ++status) {
        task.ForceStatus(status);
        EXPECT_EQ(task.GetStatusString(), CString(texts[status])) << status;
    }
    for (int status : {-1, 10, 1000}) {
        task.ForceStatus(status);
        EXPECT_EQ(task.GetStatusString(), CString(u"?")) << status;
    }
}

TEST(EncryptionTaskTest, PathsAreNeverReadPastTheirField)
{
    SEncryptionTask record = EmptyRecord();
    // No terminator anywhere in either path field, and non-zero bytes right
    // behind each of them.
    for (int i = 0; i < SEncryptionTask::ciPathLength; ++i) {
        record.filePath[i] = u'x';
        record.encryptedFilePath[i] = u'y';
    }
    record.processId = 0x00410041; // would read as "AA" if the field were overrun
    record.encryptionScheduled = 0x00420042;
    CEncryptionTask task(record);
    EXPECT_EQ(task.GetFilePath(), CString(std::u16string(260, u'x')));
    EXPECT_EQ(task.GetEncryptedFilePath(), CString(std::u16string(260, u'y')));

    // The terminator ends the path even with stray units behind it.
    record.filePath[5] = 0;
    EXPECT_EQ(CEncryptionTask(record).GetFilePath(), CString(u"xxxxx"));
}
