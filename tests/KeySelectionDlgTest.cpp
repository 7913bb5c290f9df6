// The key selection dialog with the keys of a real GnuPG key ring and the
// key groups of the registry store, driven on its real widgets.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>

#include "Configuration.h"
#include "Encryption.h"
#include "GpgTestHome.h"
#include "TestEnvironment.h"
#include "dialoghook/KeySelectionDlg.h"
#include "platform/Registry.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Gui.h"
#include "resources/resource.h"

using platform::gui::Automation;
using platform::gui::ModalDriver;
using testsupport::GpgTestHome;
using testsupport::GpgTestKey;

namespace {

using Keys = CArrayEx<CKey, const CKey&>;

// A user id that tries everything: format directives, markup, letters of a
// right-to-left script, a direction override, a control character, and
// sheer length.
const char* const kTrickyName =
    "Eve %s %n 100% <b>bold</b> \xD7\x90\xD7\x91\xD7\x92 \xE2\x80\xAEgpj.exe\xE2\x80\xAC ring\x07";
const char* const kTrickyMail = "eve-with-a-rather-long-address-that-goes-on-and-on@example.org";

class KeySelectionDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(platform::gui::InitGui());
        home = &GpgTestHome::Get();
        CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
        CConfiguration::SetGnuPGHomeDir(testsupport::ToCString(home->Home()));
        // One more key, whose user id must be shown safely.
        const std::string userId = std::string(kTrickyName) + " " + std::string(200, 'W') + " <" + kTrickyMail + ">";
        std::string output;
        ASSERT_EQ(testsupport::RunGpg({"--pinentry-mode", "loopback", "--passphrase", "", "--quick-gen-key", userId,
                                       "ed25519", "default", "never"},
                                      &output),
                  0)
            << output;
        CEncryption::GetDefault().RefreshKeys();
    }
    void SetUp() override
    {
        platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Orvelin\\veilcase\\Configuration\\Keygroups");
        CConfiguration::m_keyGroups.clear();
        CConfiguration::m_bKeyGroupsLoaded = 0;
    }
    void TearDown() override { EXPECT_TRUE(automation.Unexpected().empty()) << automation.Unexpected()[0]; }

    static CKey Key(const GpgTestKey& k)
    {
        CKey key;
        EXPECT_TRUE(CEncryption::GetDefault().FindKey(k.keyIdValue, key)) << k.userId;
        return key;
    }
    static Keys KeysOf(std::initializer_list<const GpgTestKey*> list)
    {
        Keys keys;
        for (const GpgTestKey* k : list)
            keys.Add(Key(*k));
        return keys;
    }
    static void SaveGroup(const CString& name, std::initializer_list<const GpgTestKey*> list)
    {
        CArrayEx<CString, const CString&> pieces;
        for (const GpgTestKey* k : list)
            pieces.Add(Key(*k).GetShortKeyIDString() + (pieces.GetSize() + 1 < static_cast<int>(list.size()) ? u"," : u""));
        ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(pieces, name));
    }
    // The row of a key, by its user id column, or -1.
    static int RowOf(ModalDriver& d, const GpgTestKey& k)
    {
        for (int row = 0; row < d.ListRowCount(IDC_KEYLIST); ++row) {
            if (d.ListText(IDC_KEYLIST, row, 1) == CString::FromUtf8(k.userId))
                return row;
        }
        return -1;
    }
    static std::vector<CString> Ticked(CKeySelectionDlg& dlg, ModalDriver& d)
    {
        auto* list = static_cast<CXListCtrl*>(dlg.GetDlgItem(IDC_KEYLIST));
        std::vector<CString> names;
        for (int row = 0; row < d.ListRowCount(IDC_KEYLIST); ++row) {
            if (list->GetCheckbox(row, 0) == 1)
                names.push_back(d.ListText(IDC_KEYLIST, row, 1));
        }
        return names;
    }
    static std::vector<CString> Names(std::initializer_list<const GpgTestKey*> list)
    {
        std::vector<CString> names;
        for (const GpgTestKey* k : list)
            names.push_back(CString::FromUtf8(k->userId));
        return names;
    }

    static const GpgTestHome* home;
    Automation automation;
};
const GpgTestHome* KeySelectionDlgTest::home = nullptr;

} // namespace

TEST_F(KeySelectionDlgTest, ListsTheUsableKeysSortedWithTheirTicksColoursAndIds)
{
    // Revoked, expired and disabled keys stay out, also when preselected.
    CKeySelectionDlg dlg(nullptr, KeysOf({&home->Alice(), &home->Revoked(), &home->Expired(), &home->Disabled()}));
    automation.OnDialog(IDD_KEYSELECTION, [&](ModalDriver& d) {
        EXPECT_EQ(d.Caption(), CString(u"veilcase 1.0.0.145"));
        EXPECT_EQ(RowOf(d, home->Revoked()), -1);
        EXPECT_EQ(RowOf(d, home->Expired()), -1);
        EXPECT_EQ(RowOf(d, home->Disabled()), -1);
        ASSERT_EQ(d.ListRowCount(IDC_KEYLIST), 7); // Alice, Anna, Bob, Eve, Jürgen, public-only, protected
        for (int row = 1; row < d.ListRowCount(IDC_KEYLIST); ++row)
            EXPECT_LE(d.ListText(IDC_KEYLIST, row - 1, 1).CompareNoCase(d.ListText(IDC_KEYLIST, row, 1)), 0);
        EXPECT_EQ(Ticked(dlg, d), Names({&home->Alice()}));

        auto* list = static_cast<CXListCtrl*>(dlg.GetDlgItem(IDC_KEYLIST));
        const int alice = RowOf(d, home->Alice()), publicOnly = RowOf(d, home->PublicOnly());
        EXPECT_EQ(list->GetItemTextColor(alice, 1), RGB(28, 81, 203)); // has a secret part
        EXPECT_EQ(list->GetItemTextColor(alice, 1), 0xCB511Cu);
        EXPECT_EQ(list->GetItemTextColor(publicOnly, 1), GetSysColor(COLOR_WINDOWTEXT));
        EXPECT_EQ(d.ListText(IDC_KEYLIST, alice, 2), CString::FromUtf8(home->Alice().email));
        const CString id = CString::FromUtf8(home->Alice().keyId);
        EXPECT_EQ(d.ListText(IDC_KEYLIST, alice, 3), id.Left(8) + u"." + id.Mid(8));
        EXPECT_EQ(d.ListHeading(IDC_KEYLIST, 1), CString(u"User name"));

        EXPECT_EQ(d.FocusedId(), IDC_KEYLIST);
        EXPECT_FALSE(d.IsEnabled(IDC_REMOVEGROUP));
        EXPECT_FALSE(d.IsEnabled(IDC_GROUPNAME));
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(KeySelectionDlgTest, GroupsAreShownForTheTicksAndTickTheirKeys)
{
    SaveGroup(u"Pair", {&home->Alice(), &home->Bob()});
    SaveGroup(u"Solo", {&home->Juergen()});
    CKeySelectionDlg dlg(nullptr, KeysOf({&home->Alice(), &home->Bob()}));
    automation.OnDialog(IDD_KEYSELECTION, [&](ModalDriver& d) {
        // The preselection matches "Pair", but the box starts on the empty
        // entry; the group shows once the user toggles a box.
        EXPECT_EQ(d.ComboCount(IDC_KEYGROUPS), 3);
        EXPECT_EQ(d.ComboEntry(IDC_KEYGROUPS, 0), CString());
        EXPECT_EQ(d.ComboSelection(IDC_KEYGROUPS), 0);
        d.ListClick(IDC_KEYLIST, RowOf(d, home->Bob()), 0);
        EXPECT_EQ(d.Text(IDC_KEYGROUPS), CString()); // Alice alone is no group
        d.ListClick(IDC_KEYLIST, RowOf(d, home->Alice()), 0);
        d.ListClick(IDC_KEYLIST, RowOf(d, home->Bob()), 0);
        d.ListClick(IDC_KEYLIST, RowOf(d, home->Alice()), 0); // ticked Bob, then Alice
        EXPECT_EQ(d.Text(IDC_KEYGROUPS), CString(u"Pair"));
        EXPECT_EQ(dlg.GetSelectedKeys().GetSize(), 2);

        d.ChooseCombo(IDC_KEYGROUPS, u"Solo");
        EXPECT_EQ(Ticked(dlg, d), Names({&home->Juergen()}));
        EXPECT_TRUE(d.IsEnabled(IDC_REMOVEGROUP));
        EXPECT_EQ(d.FocusedId(), IDC_KEYLIST);
        d.ChooseCombo(IDC_KEYGROUPS, u"");
        EXPECT_TRUE(Ticked(dlg, d).empty());
        EXPECT_FALSE(d.IsEnabled(IDC_REMOVEGROUP));
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(KeySelectionDlgTest, SavingAGroupNeedsANameAndHappensBeforeTheKeysAreChecked)
{
    CKeySelectionDlg dlg(nullptr, KeysOf({&home->PublicOnly()}));
    const CString name = u"100% team %s %1!s!";
    automation.OnDialog(IDD_KEYSELECTION, [&](ModalDriver& d) {
        d.Click(IDC_SAVESELECTION);
        EXPECT_TRUE(d.IsEnabled(IDC_GROUPNAME));
        EXPECT_EQ(d.Text(IDC_GROUPNAME), CString()); // the box's text: the empty entry
        d.Click(IDOK);                                // no name: message 1028, nothing saved
        EXPECT_TRUE(CConfiguration::GetKeyGroupNames().GetSize() == 0);
        d.Type(IDC_GROUPNAME, name);
        d.Click(IDOK); // saved (1009), then only public keys: 1004, answered No
        EXPECT_EQ(CConfiguration::GetKeyGroupKey(name).GetSize(), 1);
        EXPECT_EQ(Ticked(dlg, d), Names({&home->PublicOnly()})); // the ticks stay
        EXPECT_EQ(d.Text(IDC_KEYGROUPS), name);
        d.Click(IDC_SAVESELECTION); // off: the name goes
        d.Click(IDOK);              // 1004 again, now Yes
    });
    automation.OnMessageBox([](ModalDriver& d) {
        EXPECT_EQ(d.MessageText(), CString(u"You have to enter a group name"));
        EXPECT_EQ(d.MessageType() & MB_ICONMASK, MB_ICONEXCLAMATION);
        d.Answer(IDOK);
    });
    automation.OnMessageBox([&](ModalDriver& d) {
        // The name is shown as written, and "%!" stays.
        EXPECT_EQ(d.MessageText(), CString(u"The config of ") + name + u" has been saved successfully%!");
        d.Answer(IDOK);
    });
    automation.OnMessageBox([](ModalDriver& d) {
        EXPECT_EQ(d.MessageType() & MB_TYPEMASK, MB_YESNO);
        d.Answer(IDNO);
    });
    automation.OnMessageBox([](ModalDriver& d) { d.Answer(IDYES); });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_EQ(dlg.GetSelectedKeys().GetSize(), 1);
    EXPECT_EQ(dlg.GetSelectedKeys()[0].GetLongKeyID(), home->PublicOnly().keyIdValue);
    EXPECT_EQ(automation.MessageBoxTexts().size(), 4u);
}

TEST_F(KeySelectionDlgTest, AKeyWithASecretPartClosesWithoutAQuestion)
{
    CKeySelectionDlg dlg(nullptr, KeysOf({&home->PublicOnly(), &home->Bob()}));
    automation.OnDialog(IDD_KEYSELECTION, [](ModalDriver& d) { d.PressKey(VK_RETURN); });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetSelectedKeys().GetSize(), 2);
    EXPECT_TRUE(automation.MessageBoxTexts().empty());

    CKeySelectionDlg none(nullptr);
    automation.OnDialog(IDD_KEYSELECTION, [](ModalDriver& d) { d.Click(IDOK); });
    EXPECT_EQ(none.DoModal(), IDOK); // an empty selection asks nothing either
    EXPECT_EQ(none.GetSelectedKeys().GetSize(), 0);
}

TEST_F(KeySelectionDlgTest, RemovingAGroupUnticksEverything)
{
    SaveGroup(u"Pair", {&home->Alice(), &home->Bob()});
    CKeySelectionDlg dlg(nullptr);
    automation.OnDialog(IDD_KEYSELECTION, [&](ModalDriver& d) {
        d.ChooseCombo(IDC_KEYGROUPS, u"Pair");
        EXPECT_EQ(Ticked(dlg, d).size(), 2u);
        d.Click(IDC_REMOVEGROUP);
        EXPECT_EQ(CConfiguration::GetKeyGroupNames().GetSize(), 0);
        EXPECT_EQ(d.ComboCount(IDC_KEYGROUPS), 1);
        EXPECT_EQ(d.ComboSelection(IDC_KEYGROUPS), 0);
        EXPECT_TRUE(Ticked(dlg, d).empty());
        EXPECT_FALSE(d.IsEnabled(IDC_REMOVEGROUP));
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(KeySelectionDlgTest, AGroupThatCannotBeSavedIsReportedAndNotHalfWritten)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(platform::RegistryStorePath().ToUtf8().c_str(), &db), SQLITE_OK);
    // Every "Keys" value write fails inside the store (a full disk, say).
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER refuse_keys BEFORE INSERT ON vals WHEN NEW.name = 'Keys'"
                           " BEGIN SELECT RAISE(ABORT, 'refused'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    CKeySelectionDlg dlg(nullptr, KeysOf({&home->Alice()}));
    automation.OnDialog(IDD_KEYSELECTION, [&](ModalDriver& d) {
        d.Click(IDC_SAVESELECTION);
        d.Type(IDC_GROUPNAME, u"Lost");
        d.Click(IDOK);
    });
    automation.OnMessageBox([](ModalDriver& d) {
        EXPECT_EQ(d.MessageText(), CString(u"It was not possible to save the group configuration"));
        EXPECT_EQ(d.MessageType() & MB_ICONMASK, MB_ICONERROR);
        d.Answer(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK); // the keys were fine: the dialog closes
    sqlite3_exec(db, "DROP TRIGGER refuse_keys", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(automation.MessageBoxTexts().size(), 1u); // no "saved successfully"
    EXPECT_EQ(CConfiguration::GetKeyGroupNames().GetSize(), 0);
    EXPECT_EQ(CConfiguration::GetKeyGroupByKeyList(CArrayEx<DWORD, const DWORD&>()), CString());
}

TEST_F(KeySelectionDlgTest, UserIdsFromOutsideAreShownSafelyAndAsWritten)
{
    CKeySelectionDlg dlg(nullptr);
    automation.OnDialog(IDD_KEYSELECTION, [&](ModalDriver& d) {
        int eve = -1;
        for (int row = 0; row < d.ListRowCount(IDC_KEYLIST); ++row) {
            if (d.ListText(IDC_KEYLIST, row, 1).Find(u"Eve %s") == 0)
                eve = row;
        }
        ASSERT_GE(eve, 0);
        const CString shown = d.ListShownText(IDC_KEYLIST, eve, 1);
        EXPECT_NE(shown.Find(u"Eve %s %n 100% <b>bold</b> "), -1) << shown.ToUtf8();
        EXPECT_NE(shown.Find(u"\u05D0\u05D1\u05D2 "), -1); // right-to-left letters kept
        EXPECT_EQ(shown.Find(u'\u202E'), -1);                 // no override reaches the screen
        for (int i = 0; i < shown.GetLength(); ++i)
            EXPECT_GE(shown[i], 0x20) << "control character at " << i;
        // The other columns keep their places whatever the name holds.
        EXPECT_EQ(d.ListCellRect(IDC_KEYLIST, eve, 2).left, d.ListCellRect(IDC_KEYLIST, 0, 2).left);
        EXPECT_EQ(d.ListCellRect(IDC_KEYLIST, eve, 1).Height(), d.ListCellRect(IDC_KEYLIST, 0, 1).Height());
        const std::filesystem::path folder = testsupport::BinDir().parent_path() / "test-images";
        std::filesystem::create_directories(folder);
        d.ListClick(IDC_KEYLIST, RowOf(d, home->Bob()), 0);
        EXPECT_TRUE(d.SavePng(CString::FromUtf8((folder / "key-selection.png").string())));
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}
