// Task processing with the real gpg: keys of a task, every way through the
// states, files held open or handed on, errors contained per task, the record
// kept beside the working copy and taken up again, the working directory's
// clean-up at the end, and records that arrive from outside.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "Configuration.h"
#include "EncryptionGnuPG.h"
#include "EncryptionTask.h"
#include "EncryptionTaskList.h"
#include "FileUtils.h"
#include "GpgTestHome.h"
#include "Ipc.h"
#include "OrvException.h"
#include "platform/PrivateProfile.h"
#include "TestEnvironment.h"
#include "platform/Process.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

CString U(const fs::path& path)
{
    return CString::FromUtf8(path.string());
}

// Advances the list until `done` holds (true) or `timeoutMs` has passed.
bool RunUntil(CEncryptionTaskList& list, const std::function<bool()>& done, int timeoutMs = 20000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        list.ProcessAll();
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

platform::CProcessHandle StartChild(const std::string& arguments)
{
    platform::CProcessHandle child;
    DWORD error = 0;
    EXPECT_TRUE(platform::StartProcess(u"\"" + U(BinDir() / "childproc") + u"\" " + CString::FromUtf8(arguments),
                                       platform::EProcessOutput::eInherit, child, nullptr, error))
        << error;
    return child;
}

class EncryptionTaskListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        home = &GpgTestHome::Get();
        CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
        CConfiguration::SetGnuPGHomeDir(U(home->Home()));
    }

    void SetUp() override
    {
        fs::permissions(work.Path(), fs::perms::owner_all, fs::perm_options::replace);
        CConfiguration::SetWorkingDir(U(work.Path()));
        CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
    }

    // An encrypted document for `recipients` in the user's folder and its
    // working copy in a fresh folder of the working directory.
    struct Document {
        fs::path encrypted;
        fs::path workingCopy;
        CArrayEx<BYTE, BYTE> hash;
    };
    Document MakeDocument(const std::string& name, const std::string& content,
                          std::initializer_list<const GpgTestKey*> recipients)
    {
        Document doc;
        doc.encrypted = user / (name + ".gpg");
        fs::path plainSource = user / (name + ".source");
        WriteFile(plainSource, content);
        std::vector<std::string> args = {"--trust-model", "always", "--yes", "-o", doc.encrypted.string()};
        for (const GpgTestKey* key : recipients) {
            args.push_back("-r");
            args.push_back(key->keyId);
        }
        args.push_back("-e");
        args.push_back(plainSource.string());
        EXPECT_EQ(0, RunGpg(args));
        fs::remove(plainSource);
        CString folder = CConfiguration::GetWorkingDir(1);
        doc.workingCopy = fs::path(folder.ToUtf8()) / name;
        WriteFile(doc.workingCopy, content);
        CString path = U(doc.workingCopy);
        doc.hash = CFileUtils::ComputeFileHash(path);
        return doc;
    }

    static CArrayEx<ULONGLONG, const ULONGLONG&> Ids(std::initializer_list<ULONGLONG> ids)
    {
        CArrayEx<ULONGLONG, const ULONGLONG&> result;
        for (ULONGLONG id : ids)
            result.Add(id);
        return result;
    }

    std::unique_ptr<CEncryptionTask> MakeTask(const fs::path& workingCopy, const fs::path& encrypted,
                                              CArrayEx<ULONGLONG, const ULONGLONG&> ids, DWORD pid, int encrypt,
                                              int remove, const CArrayEx<BYTE, BYTE>& hash)
    {
        SEncryptionTask record;
        CIpc::FillRecord(record, U(workingCopy), U(encrypted), ids, pid, encrypt, remove, hash);
        return std::make_unique<CEncryptionTask>(record);
    }

    // The recipients gpg names in an encrypted file, as long key ids.
    static std::string RecipientsOf(const fs::path& encrypted)
    {
        std::string output;
        RunGpg({"--list-packets", "--list-only", encrypted.string()}, &output);
        return output;
    }
    static std::string Decrypt(const fs::path& encrypted)
    {
        fs::path out = encrypted.string() + ".out";
        std::string log;
        EXPECT_EQ(0, RunGpg({"--yes", "-o", out.string(), "-d", encrypted.string()}, &log)) << log;
        std::string content = ReadFile(out);
        fs::remove(out);
        return content;
    }

    static const GpgTestHome* home;
    TempDir work{"work"};
    TempDir user{"user"};
    CEncryptionGnuPG engine;
};

const GpgTestHome* EncryptionTaskListTest::home = nullptr;

} // namespace

TEST_F(EncryptionTaskListTest, KeysComeFromTheKeyRingInRecordOrder)
{
    ULONGLONG unknown = 0x0123456789ABCDEFull;
    auto task = MakeTask(work / "x" / "a.txt", user / "a.txt.gpg",
                         Ids({home->Alice().keyIdValue, 0, home->Bob().keyIdValue, unknown}), 0, 1, 1, {});
    CArrayEx<CKey, const CKey&> keys = task->GetKeys(engine);
    ASSERT_EQ(1, keys.GetSize()); // the walk stops at the first 0
    EXPECT_EQ(home->Alice().keyIdValue, keys[0].GetLongKeyID());

    // Ids are written in hexadecimal without leading zeros.
    auto hex = [](ULONGLONG id) {
        char text[20];
        std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(id));
        return CString::FromUtf8(text);
    };
    CString expected = CString::FromUtf8(home->Alice().userId) + u"(0x" + hex(home->Alice().keyIdValue) +
                       u") \r\n" + CString::FromUtf8(home->Bob().userId) + u"(0x" + hex(home->Bob().keyIdValue) +
                       u") \r\n(0x123456789ABCDEF) \r\n";
    EXPECT_EQ(expected, task->GetKeysString(engine));

    auto none = MakeTask(work / "x" / "b.txt", user / "b.txt.gpg", Ids({}), 0, 1, 1, {});
    EXPECT_EQ(0, none->GetKeys(engine).GetSize());
    EXPECT_EQ(CString(), none->GetKeysString(engine));
}

TEST_F(EncryptionTaskListTest, EveryKindOfTaskEndsAsItShould)
{
    // The using process lives long enough not to count as handing the file on.
    platform::CProcessHandle app = StartChild("exit 0 3600");
    DWORD pid = app.GetId();
    auto both = Ids({home->Alice().keyIdValue, home->Bob().keyIdValue});

    Document unchanged = MakeDocument("unchanged.txt", "same text", {&home->Alice(), &home->Bob()});
    std::string unchangedBytes = ReadFile(unchanged.encrypted);
    Document modified = MakeDocument("modified.txt", "old text", {&home->Alice(), &home->Bob()});
    Document readOnly = MakeDocument("readonly.txt", "look only", {&home->Alice()});
    std::string readOnlyBytes = ReadFile(readOnly.encrypted);
    // A plain file beside an opened one is the user's and stays.
    WriteFile(user / "modified.txt", "an unrelated plain file");

    // A newly saved file: no hash, the file appears later, and the plain file
    // the user saved over goes after the encryption.
    fs::path saveFolder = CConfiguration::GetWorkingDir(1).ToUtf8();
    fs::path saved = saveFolder / "report.txt";
    WriteFile(user / "report.txt", "the plain file saved over");

    CEncryptionTaskList list(&engine);
    CEncryptionTask& t1 = list.Add(MakeTask(unchanged.workingCopy, unchanged.encrypted, both, pid, 1, 1, unchanged.hash));
    CEncryptionTask& t2 = list.Add(MakeTask(modified.workingCopy, modified.encrypted, both, pid, 1, 1, modified.hash));
    CEncryptionTask& t3 = list.Add(
        MakeTask(readOnly.workingCopy, readOnly.encrypted, Ids({home->Alice().keyIdValue}), pid, 0, 1, readOnly.hash));
    CEncryptionTask& t4 =
        list.Add(MakeTask(saved, user / "report.txt.gpg", Ids({home->Bob().keyIdValue}), pid, 1, 1, {}));

    // The side file names the keys the task will use.
    CString used;
    GetPrivateProfileStringW(u"veilcase", u"UsedKeys", u"", used, U(modified.workingCopy) + u".veilcase");
    EXPECT_EQ(CString::FromUtf8(home->Alice().keyId + "," + home->Bob().keyId), used);

    list.ProcessAll();
    EXPECT_EQ(eTaskFileInUse, t1.GetStatus());
    EXPECT_EQ(eTaskWaitingForFile, t4.GetStatus());
    WriteFile(modified.workingCopy, "new text, edited");
    WriteFile(saved, "saved by the application");
    // While the application runs, nothing moves past "File in use".
    RunUntil(list, [] { return false; }, 1500);
    EXPECT_EQ(eTaskFileInUse, t1.GetStatus());
    EXPECT_EQ(eTaskFileInUse, t4.GetStatus());

    ASSERT_TRUE(RunUntil(list, [&] { return !list.HasPending(); }, 30000))
        << t1.GetStatusDisplayText().ToUtf8() << " / " << t2.GetStatusDisplayText().ToUtf8() << " / "
        << t3.GetStatusDisplayText().ToUtf8() << " / " << t4.GetStatusDisplayText().ToUtf8();
    EXPECT_EQ(eTaskNotModified, t1.GetStatus());
    EXPECT_EQ(eTaskEncrypted, t2.GetStatus());
    EXPECT_EQ(eTaskNotModified, t3.GetStatus());
    EXPECT_EQ(eTaskEncrypted, t4.GetStatus());
    for (CEncryptionTask* t : {&t1, &t2, &t3, &t4}) {
        EXPECT_NE(0, t->GetCompletionTime().GetTime());
        EXPECT_FALSE(fs::exists(fs::path(t->GetFilePath().ToUtf8()).parent_path())) << t->GetFilePath().ToUtf8();
    }

    EXPECT_EQ(unchangedBytes, ReadFile(unchanged.encrypted)); // gpg never ran
    EXPECT_EQ(readOnlyBytes, ReadFile(readOnly.encrypted));
    EXPECT_EQ("new text, edited", Decrypt(modified.encrypted));
    std::string recipients = RecipientsOf(modified.encrypted);
    // GnuPG encrypts to a key's newest encryption subkey; Bob has two made in
    // the same second, so either may be the one chosen.
    auto namesOneSubkeyOf = [&](const GpgTestKey& key) {
        for (const std::string& id : key.subkeyIds)
            if (recipients.find(id) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(namesOneSubkeyOf(home->Alice())) << recipients;
    EXPECT_TRUE(namesOneSubkeyOf(home->Bob())) << recipients;
    EXPECT_EQ("an unrelated plain file", ReadFile(user / "modified.txt"));
    EXPECT_EQ("saved by the application", Decrypt(user / "report.txt.gpg"));
    EXPECT_FALSE(fs::exists(user / "report.txt"));
}

TEST_F(EncryptionTaskListTest, AFileHeldOpenOrHandedOnIsNeverTakenAway)
{
    auto ids = Ids({home->Alice().keyIdValue});
    // A: its application ends, but another process still holds the file.
    platform::CProcessHandle app = StartChild("exit 0 3200");
    Document held = MakeDocument("held.txt", "text", {&home->Alice()});
    platform::CProcessHandle holder = StartChild("hold " + held.workingCopy.string() + " 60000");
    // B: a launcher that hands the file to a running instance and ends at once.
    platform::CProcessHandle launcher = StartChild("exit 0 100");
    Document handed = MakeDocument("handed.txt", "text", {&home->Alice()});
    // C: a task whose process is not known at all.
    Document unknown = MakeDocument("unknown.txt", "text", {&home->Alice()});

    CEncryptionTaskList list(&engine);
    CEncryptionTask& a = list.Add(MakeTask(held.workingCopy, held.encrypted, ids, app.GetId(), 1, 1, held.hash));
    CEncryptionTask& b =
        list.Add(MakeTask(handed.workingCopy, handed.encrypted, ids, launcher.GetId(), 1, 1, handed.hash));
    CEncryptionTask& c = list.Add(MakeTask(unknown.workingCopy, unknown.encrypted, ids, 0, 1, 1, unknown.hash));
    EXPECT_TRUE(c.IsHandedOn());

    ASSERT_TRUE(RunUntil(list, [&] { return app.Wait(0) == WAIT_OBJECT_0; }, 10000));
    RunUntil(list, [] { return false; }, 1500);
    EXPECT_EQ(eTaskFileInUse, a.GetStatus());
    EXPECT_EQ(CString(u"childproc"), a.GetUsingProcess());
    EXPECT_EQ(eTaskFileInUse, b.GetStatus());
    EXPECT_TRUE(b.IsHandedOn());
    EXPECT_NE(-1, b.GetStatusDisplayText().Find(u"handed on"));
    EXPECT_EQ(eTaskFileInUse, c.GetStatus());
    EXPECT_TRUE(fs::exists(held.workingCopy));
    EXPECT_TRUE(fs::exists(handed.workingCopy));

    // The holder lets go; the user says the handed-on file is finished.
    holder.Terminate(9);
    holder.Wait(5000);
    list.Finish(list.IndexOf(&b));
    ASSERT_TRUE(RunUntil(list, [&] { return a.IsFinished() && b.IsFinished(); }));
    EXPECT_EQ(eTaskNotModified, a.GetStatus());
    EXPECT_EQ(eTaskNotModified, b.GetStatus());
    EXPECT_FALSE(fs::exists(held.workingCopy));
    EXPECT_EQ(eTaskFileInUse, c.GetStatus());
    EXPECT_TRUE(fs::exists(unknown.workingCopy));
}

TEST_F(EncryptionTaskListTest, AFailingTaskEndsAloneAndAFailingCleanUpBacksOff)
{
    // Every recipient unusable: starting the encryption throws.
    Document doomed = MakeDocument("doomed.txt", "text", {&home->Alice()});
    WriteFile(doomed.workingCopy, "changed");
    Document fine = MakeDocument("fine.txt", "text", {&home->Alice()});
    WriteFile(fine.workingCopy, "changed too");
    // A saved file whose plain predecessor can't be deleted (read-only).
    fs::path saveFolder = CConfiguration::GetWorkingDir(1).ToUtf8();
    WriteFile(saveFolder / "locked.txt", "saved");
    WriteFile(user / "locked.txt", "plain");
    fs::permissions(user / "locked.txt", fs::perms::owner_read, fs::perm_options::replace);

    CEncryptionTaskList list(&engine);
    CEncryptionTask& d = list.Add(MakeTask(doomed.workingCopy, doomed.encrypted,
                                           Ids({home->Revoked().keyIdValue}), 0, 1, 1, doomed.hash));
    CEncryptionTask& f = list.Add(
        MakeTask(fine.workingCopy, fine.encrypted, Ids({home->Alice().keyIdValue}), 0, 1, 1, fine.hash));
    CEncryptionTask& s = list.Add(MakeTask(saveFolder / "locked.txt", user / "locked.txt.gpg",
                                           Ids({home->Alice().keyIdValue}), 0, 1, 1, {}));
    for (int i = 0; i < list.GetCount(); ++i)
        list.Finish(i); // no process to wait for

    ASSERT_TRUE(RunUntil(list, [&] {
        return d.IsFinished() && f.IsFinished() && s.GetStatus() == eTaskCleaningUp && !s.GetLastError().IsEmpty();
    }));
    EXPECT_EQ(eTaskEncryptionFailed, d.GetStatus());
    EXPECT_NE(-1, d.GetLastError().Find(u"None of the recipient keys can be used")) << d.GetLastError().ToUtf8();
    EXPECT_NE(-1, d.GetStatusDisplayText().Find(u"Encrytion failed: "));
    EXPECT_TRUE(fs::exists(doomed.workingCopy)); // kept for the user
    EXPECT_EQ(eTaskEncrypted, f.GetStatus());

    // The failed clean-up waits before it is tried again.
    fs::permissions(user / "locked.txt", fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
    list.ProcessAll();
    EXPECT_EQ(eTaskCleaningUp, s.GetStatus());
    ASSERT_TRUE(RunUntil(list, [&] { return s.IsFinished(); }, 5000));
    EXPECT_EQ(eTaskEncrypted, s.GetStatus());
    EXPECT_FALSE(fs::exists(user / "locked.txt"));
    EXPECT_TRUE(s.GetLastError().IsEmpty());
}

TEST_F(EncryptionTaskListTest, AFailedEncryptionKeepsTheWorkingCopyAndItsRecord)
{
    Document doc = MakeDocument("failing.txt", "text", {&home->Alice()});
    WriteFile(doc.workingCopy, "edited");
    std::string before = ReadFile(doc.encrypted);
    CEncryptionTaskList list(&engine);
    CEncryptionTask& t =
        list.Add(MakeTask(doc.workingCopy, doc.encrypted, Ids({home->Alice().keyIdValue}), 0, 1, 1, doc.hash));
    list.Finish(0);
    CConfiguration::SetGnuPGPath(u"/bin/false");
    ASSERT_TRUE(RunUntil(list, [&] { return t.IsFinished(); }, 10000));
    EXPECT_EQ(eTaskEncryptionFailed, t.GetStatus());
    EXPECT_EQ(CString(u"Unknown GnuPG Error"), t.GetLastError());
    EXPECT_EQ("edited", ReadFile(doc.workingCopy));
    EXPECT_EQ(before, ReadFile(doc.encrypted));
    EXPECT_TRUE(fs::exists(U(doc.workingCopy).ToUtf8() + ".veilcase-task"));
    EXPECT_TRUE(list.HasPending() == false);
}

TEST_F(EncryptionTaskListTest, UnfinishedTasksAreTakenUpAgainAfterARestart)
{
    Document doc = MakeDocument("resume.txt", "text", {&home->Alice()});
    platform::CProcessHandle app = StartChild("exit 0 60000");
    std::string recordPath = doc.workingCopy.string() + ".veilcase-task";
    {
        CEncryptionTaskList first(&engine);
        first.Add(MakeTask(doc.workingCopy, doc.encrypted, Ids({home->Alice().keyIdValue}), app.GetId(), 1, 1,
                           doc.hash));
        first.ProcessAll();
        // The program goes away without any clean-up (as after kill -9).
    }
    struct stat st {};
    ASSERT_EQ(0, stat(recordPath.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);

    CEncryptionTaskList second(&engine);
    ASSERT_EQ(1, second.Resume());
    EXPECT_EQ(0, second.Resume()); // once only
    CEncryptionTask& t = second.GetAt(0);
    EXPECT_EQ(U(doc.workingCopy), t.GetFilePath());
    EXPECT_EQ(app.GetId(), t.GetProcess().GetId()); // the same process, still running
    RunUntil(second, [] { return false; }, 3200);
    EXPECT_EQ(eTaskFileInUse, t.GetStatus());

    WriteFile(doc.workingCopy, "edited while the program was down");
    app.Terminate(9);
    app.Wait(5000);
    ASSERT_TRUE(RunUntil(second, [&] { return t.IsFinished(); })) << t.GetStatusDisplayText().ToUtf8();
    EXPECT_EQ(eTaskEncrypted, t.GetStatus());
    EXPECT_EQ("edited while the program was down", Decrypt(doc.encrypted));
    EXPECT_FALSE(fs::exists(recordPath));
}

TEST_F(EncryptionTaskListTest, RecordFilesAreCheckedBeforeTheyAreTakenUp)
{
    Document doc = MakeDocument("check.txt", "text", {&home->Alice()});
    CEncryptionTaskList list(&engine);
    CEncryptionTask& t = list.Add(MakeTask(doc.workingCopy, doc.encrypted, Ids({}), 0, 1, 1, doc.hash));
    std::string recordPath = U(doc.workingCopy).ToUtf8() + ".veilcase-task";
    std::string good = ReadFile(recordPath);
    ASSERT_EQ(5456u + 24u, good.size());
    CString reason;
    EXPECT_NE(nullptr, CEncryptionTask::LoadRecordFile(CString::FromUtf8(recordPath), U(work.Path()), reason));

    // Cut, of another kind, or moved away from its working copy: refused.
    WriteFile(recordPath, good.substr(0, 5000));
    EXPECT_EQ(nullptr, CEncryptionTask::LoadRecordFile(CString::FromUtf8(recordPath), U(work.Path()), reason));
    std::string kind = good;
    kind[8] = 1;
    WriteFile(recordPath, kind);
    EXPECT_EQ(nullptr, CEncryptionTask::LoadRecordFile(CString::FromUtf8(recordPath), U(work.Path()), reason));
    WriteFile(recordPath + ".copy" + ".veilcase-task", good);
    EXPECT_EQ(nullptr, CEncryptionTask::LoadRecordFile(
                           CString::FromUtf8(recordPath + ".copy" + ".veilcase-task"), U(work.Path()), reason));
    EXPECT_NE(-1, reason.Find(u"beside"));
    // Removing the task from the list removes its record, so it stays gone.
    WriteFile(recordPath, good);
    list.RemoveAt(list.IndexOf(&t));
    EXPECT_FALSE(fs::exists(recordPath));
}

TEST_F(EncryptionTaskListTest, TheEndKeepsUnfinishedWorkAndRemovesTheRest)
{
    Document pending = MakeDocument("pending.txt", "text", {&home->Alice()});
    Document done = MakeDocument("done.txt", "text", {&home->Alice()});
    CEncryptionTaskList list(&engine);
    list.Add(MakeTask(pending.workingCopy, pending.encrypted, Ids({}), 0, 1, 1, pending.hash));
    CEncryptionTask& d =
        list.Add(MakeTask(done.workingCopy, done.encrypted, Ids({}), 0, 1, 0, done.hash)); // keeps its folder
    list.Finish(1);
    ASSERT_TRUE(RunUntil(list, [&] { return d.IsFinished(); }));
    ASSERT_TRUE(fs::exists(done.workingCopy));

    // Folders without any task: an old one and one just made.
    fs::path oldOrphan = work / "OLD-ORPHAN";
    fs::create_directory(oldOrphan);
    WriteFile(oldOrphan / "left.txt", "left behind");
    auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(oldOrphan, longAgo);
    fs::path freshOrphan = work / "FRESH-ORPHAN";
    fs::create_directory(freshOrphan);
    // An old orphan that a process still holds a file of.
    fs::path heldOrphan = work / "HELD-ORPHAN";
    fs::create_directory(heldOrphan);
    WriteFile(heldOrphan / "open.txt", "open");
    platform::CProcessHandle holder = StartChild("hold " + (heldOrphan / "open.txt").string() + " 60000");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    fs::last_write_time(heldOrphan, longAgo);

    list.CleanWorkingDirectory();
    EXPECT_TRUE(fs::exists(pending.workingCopy));
    EXPECT_TRUE(fs::exists(pending.workingCopy.string() + ".veilcase-task"));
    EXPECT_FALSE(fs::exists(done.workingCopy.parent_path()));
    EXPECT_FALSE(fs::exists(oldOrphan));
    EXPECT_TRUE(fs::exists(freshOrphan));
    EXPECT_TRUE(fs::exists(heldOrphan));
    holder.Terminate(9);
    holder.Wait(5000);
}

TEST_F(EncryptionTaskListTest, ARecordFromOutsideIsCheckedBeforeItBecomesATask)
{
    CString workingDir = U(work.Path());
    fs::path folder = work / "F1";
    fs::create_directory(folder);
    SEncryptionTask good;
    CIpc::FillRecord(good, U(folder / "doc.txt"), U(user / "doc.txt.gpg"), Ids({1, 2}), 0, 5, 7, {});
    SEncryptionTask record;
    CString reason;
    ASSERT_TRUE(CEncryptionTask::ReadRecord(&good, sizeof good, workingDir, record, reason)) << reason.ToUtf8();
    EXPECT_EQ(1, record.encryptionScheduled);
    EXPECT_EQ(1, record.deletionScheduled);

    // Sizes other than the record's.
    std::vector<char> longer(sizeof good + 1);
    std::memcpy(longer.data(), &good, sizeof good);
    for (size_t size : {size_t(0), size_t(16), size_t(5455)})
        EXPECT_FALSE(CEncryptionTask::ReadRecord(&good, size, workingDir, record, reason)) << size;
    EXPECT_FALSE(CEncryptionTask::ReadRecord(longer.data(), longer.size(), workingDir, record, reason));
    EXPECT_FALSE(CEncryptionTask::ReadRecord(nullptr, sizeof good, workingDir, record, reason));

    auto refused = [&](const std::function<void(SEncryptionTask&)>& damage) {
        SEncryptionTask bad = good;
        damage(bad);
        return !CEncryptionTask::ReadRecord(&bad, sizeof bad, workingDir, record, reason);
    };
    EXPECT_TRUE(refused([](SEncryptionTask& r) { r.kind = 1; }));
    EXPECT_TRUE(refused([](SEncryptionTask& r) {
        for (char16_t& c : r.filePath)
            c = u'a';
    }));
    EXPECT_TRUE(refused([](SEncryptionTask& r) {
        for (char16_t& c : r.encryptedFilePath)
            c = u'/';
    }));
    auto withPath = [&](const fs::path& path) {
        return [path](SEncryptionTask& r) {
            std::u16string text = CString::FromUtf8(path.string()).Str();
            std::memset(r.filePath, 0, sizeof r.filePath);
            std::memcpy(r.filePath, text.data(), text.size() * 2);
        };
    };
    EXPECT_TRUE(refused(withPath(user / "F1" / "doc.txt")));               // outside
    EXPECT_TRUE(refused(withPath(work / "doc.txt")));                      // no folder of its own
    EXPECT_TRUE(refused(withPath(work / "F1" / "sub" / "doc.txt")));       // too deep
    EXPECT_TRUE(refused(withPath(work / "F1" / ".." / "F2" / "doc.txt"))); // not plain
    EXPECT_TRUE(refused(withPath("relative/doc.txt")));
    fs::create_directory_symlink(user.Path(), work / "LINK");
    EXPECT_TRUE(refused(withPath(work / "LINK" / "doc.txt")));

    // The list refuses what ReadRecord refuses and takes the rest.
    CEncryptionTaskList list(&engine);
    SEncryptionTask bad = good;
    bad.kind = 2;
    EXPECT_FALSE(list.Receive(&bad, sizeof bad, &reason));
    EXPECT_EQ(0, list.GetCount());
    EXPECT_TRUE(list.Receive(&good, sizeof good));
    EXPECT_EQ(1, list.GetCount());
}

TEST_F(EncryptionTaskListTest, TheSenderRefusesPathsTheRecordCannotHold)
{
    CString longPath = U(work / "F") + u"/" + CString(u'x', 300);
    SEncryptionTask record;
    UINT id = 0;
    try {
        CIpc::FillRecord(record, longPath, U(user / "a.gpg"), Ids({}), 0, 1, 1, {});
    } catch (COrvException* e) {
        id = e->GetMessageId();
        e->Delete();
    }
    EXPECT_EQ(2007u, id);
    try {
        CIpc::SendEncryptionTask(U(work / "F" / "a.txt"), longPath, Ids({}), 0, 1, 1, {});
        id = 0;
    } catch (COrvException* e) {
        id = e->GetMessageId();
        e->Delete();
    }
    EXPECT_EQ(2007u, id);

    // 259 units fit; 513 ids are cut to 512; a hash of another length is left out.
    CString fits = CString(u"/") + CString(u'y', 258);
    CArrayEx<ULONGLONG, const ULONGLONG&> many;
    for (int i = 1; i <= 513; ++i)
        many.Add(static_cast<ULONGLONG>(i));
    CArrayEx<BYTE, BYTE> shortHash;
    shortHash.Add(1);
    CIpc::FillRecord(record, fits, fits, many, 42, 1, 0, shortHash);
    EXPECT_EQ(0, record.filePath[258 + 1]);
    EXPECT_EQ(u'y', record.filePath[258]);
    EXPECT_EQ(512u, record.keyIds[511]);
    EXPECT_EQ(5456u, record.size);
    EXPECT_EQ(1u, record.version);
    for (BYTE b : record.fileHash)
        EXPECT_EQ(0, b);
}
