// The resource module built from the resource script: every string and
// dialog is found by id, texts and layouts are exact, icons, the banner
// and the version block are complete; the resource-script tool rejects
// malformed scripts with the line at fault.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
// The kind of a combo box: Windows' headers name no mask for it.
#define CBS_TYPEMASK 0x3
#endif

#include "platform/ResourceTable.h"
#include "platform/Resources.h"
#include "TestEnvironment.h"
#include "resources/resource.h"

using namespace platform;

namespace {

// An address inside this program, for lookups relative to its module.
void Marker() {}

#ifndef _WIN32
// The resource-script tool is a build tool of the host: its suites and the
// ones comparing the module with its listing run on Linux.
const std::filesystem::path kSourceRoot = std::filesystem::path(__FILE__).parent_path().parent_path();

struct RunResult {
    int status = -1;
    std::string output;
};

RunResult RunCommand(const std::string& command)
{
    RunResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The text as the tool lists it: UTF-8 with \\, \", \r, \n and \t escaped.
std::string Escaped(const CString& text)
{
    std::string out;
    for (char ch : text.ToUtf8()) {
        switch (ch) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += ch;
        }
    }
    return out;
}

std::string Rcgen() { return (testsupport::BinDir() / "rcgen").string(); }
#endif

WORD Le16(const std::vector<BYTE>& b, size_t at) { return static_cast<WORD>(b.at(at) | (b.at(at + 1) << 8)); }
DWORD Le32(const std::vector<BYTE>& b, size_t at) { return Le16(b, at) | (static_cast<DWORD>(Le16(b, at + 2)) << 16); }

const DialogControl* Control(const DialogTemplate& t, int id)
{
    for (const auto& c : t.controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

void ExpectRect(const DialogControl* c, int x, int y, int cx, int cy)
{
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->x, x);
    EXPECT_EQ(c->y, y);
    EXPECT_EQ(c->cx, cx);
    EXPECT_EQ(c->cy, cy);
}

} // namespace

TEST(ResourceModule, HoldsEveryStringAndNothingElse)
{
    std::set<UINT> expected;
    for (UINT id = 1000; id <= 1029; ++id)
        if (id != 1021)
            expected.insert(id);
    for (UINT id = 2000; id <= 2007; ++id)
        expected.insert(id);
    for (UINT id : expected) {
        CString text;
        EXPECT_TRUE(LoadResourceString(id, text)) << id;
        EXPECT_FALSE(text.IsEmpty()) << id;
    }
    CString text = u"stale";
    for (UINT id : {999u, 1021u, 1030u, 1999u, 2008u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(LoadResourceString(id, text)) << id;
        EXPECT_TRUE(text.IsEmpty()) << id;
    }
}

#ifndef _WIN32
TEST(ResourceModule, FindsEverythingTheScriptDefines)
{
    RunResult list = RunCommand(Rcgen() + " --list " + (kSourceRoot / "resources" / "veilcase.rc").string());
    ASSERT_EQ(list.status, 0) << list.output;
    std::istringstream lines(list.output);
    std::string kind;
    int strings = 0, dialogs = 0;
    while (lines >> kind) {
        if (kind == "string") {
            UINT id, language;
            std::string quoted;
            lines >> id >> language;
            std::getline(lines, quoted);
            CString text;
            EXPECT_TRUE(LoadResourceString(id, text)) << id;
            EXPECT_EQ(" \"" + Escaped(text) + "\"", quoted) << id;
            ++strings;
        } else {
            UINT type, id, language;
            size_t size;
            lines >> type >> id >> language >> size;
            auto t = static_cast<ResourceType>(type);
            ResourceBytes bytes;
            ASSERT_TRUE(FindResourceBytes(FindResourceSource(t, type == 6 ? (id - 1) << 4 : id), t, id, bytes, language))
                << type << " " << id;
            EXPECT_EQ(bytes.size, size);
            EXPECT_EQ(bytes.language, language);
            if (t == ResourceType::Dialog) {
                DialogTemplate dialog;
                EXPECT_TRUE(LoadDialogTemplate(id, dialog)) << id;
                ++dialogs;
            }
        }
    }
    EXPECT_EQ(strings, 37);
    EXPECT_EQ(dialogs, 7);
}
#endif

TEST(ResourceModule, TextsAreExact)
{
    CString text;
    ASSERT_TRUE(LoadResourceString(IDS_GROUP_SAVED, text));
    EXPECT_EQ(text, u"The config of %1!s! has been saved successfully%!");
    ASSERT_TRUE(LoadResourceString(IDS_UNUSUAL_DIALOG_CONFIG, text));
    EXPECT_EQ(text, u"An unusual File Dialog configuration has been detected on your system. veilcase can try to "
                    u"register the File Dialog mod . But maybe other applications will not work anymore! Do you "
                    u"want to proceed?");
    ASSERT_TRUE(LoadResourceString(IDS_SHOW_DETAILS, text));
    EXPECT_EQ(text, u"Show Details");
    ASSERT_TRUE(LoadResourceString(IDS_ERR_NO_VEILCASE_PROCESS, text));
    EXPECT_EQ(text, u"Cannot find veilcase.exe process. Cannot start encryption");
    ASSERT_TRUE(LoadResourceString(IDS_ERR_NO_SECRET_KEY, text));
    EXPECT_EQ(text, u"Cannot decrypt file because a suitable secret key is missing!");
    ASSERT_TRUE(LoadResourceString(IDS_ORIGINAL_WILL_BE_DELETED, text));
    EXPECT_EQ(text, u"The original file will be deleted after encryption. Do you want to proceed?");
}

TEST(ResourceModule, PendingTasksWindowIsFindableAndResizable)
{
    DialogTemplate t;
    ASSERT_TRUE(LoadDialogTemplate(IDD_VEILCASE_DIALOG, t));
    EXPECT_EQ(t.language, LANG_ID_ENGLISH_US);
    EXPECT_EQ(t.caption, u"veilcase");
    EXPECT_EQ(t.cx, 511);
    EXPECT_EQ(t.cy, 199);
    EXPECT_EQ(t.fontName, u"MS Shell Dlg");
    EXPECT_EQ(t.fontPointSize, 8);
    for (DWORD bit : std::initializer_list<DWORD>{WS_VISIBLE, WS_THICKFRAME, WS_SYSMENU, WS_MINIMIZEBOX,
                      WS_CAPTION, DS_SETFONT})
        EXPECT_EQ(t.style & bit, bit) << std::hex << bit;
    EXPECT_TRUE(t.exStyle & WS_EX_APPWINDOW);
    ASSERT_EQ(t.controls.size(), 4u);
    const DialogControl* list = Control(t, IDC_TASKLIST);
    ExpectRect(list, 7, 21, 497, 171);
    // Class names ignore case (the resource compiler may change it).
    EXPECT_EQ(list->className.CompareNoCase(u"SysListView32"), 0) << list->className.ToUtf8();
    EXPECT_EQ(list->style & LVS_TYPEMASK, LVS_REPORT);
    const DialogControl& label = t.controls[1];
    EXPECT_EQ(label.id, IDC_STATIC);
    EXPECT_EQ(label.className, u"Static");
    EXPECT_EQ(label.text, u"Pending encryption tasks");
    ExpectRect(&label, 7, 7, 105, 10);
    ExpectRect(Control(t, IDC_ABOUT), 435, 7, 69, 14);
    EXPECT_EQ(Control(t, IDC_ABOUT)->text, u"About...");
}

TEST(ResourceModule, DialogControlsCarryTheirKindsAndStates)
{
    DialogTemplate keys;
    ASSERT_TRUE(LoadDialogTemplate(IDD_KEYSELECTION, keys));
    EXPECT_EQ(keys.language, LANG_ID_GERMAN);
    EXPECT_EQ(keys.caption, u"Key Selection");
    EXPECT_TRUE(keys.style & WS_THICKFRAME);
    EXPECT_EQ(Control(keys, IDC_KEYGROUPS)->className, u"ComboBox");
    EXPECT_EQ(Control(keys, IDC_KEYGROUPS)->style & CBS_TYPEMASK, CBS_DROPDOWNLIST);
    EXPECT_TRUE(Control(keys, IDC_GROUPNAME)->style & WS_DISABLED);
    EXPECT_EQ(Control(keys, IDC_SAVESELECTION)->style & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_EQ(Control(keys, 1)->style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    ExpectRect(Control(keys, 2), 394, 185, 50, 14);

    DialogTemplate settings;
    ASSERT_TRUE(LoadDialogTemplate(IDD_SETTINGS, settings));
    EXPECT_FALSE(settings.style & WS_THICKFRAME);
    EXPECT_EQ(Control(settings, IDC_REPLACEDIALOG)->style & BS_TYPEMASK, BS_AUTO3STATE);
    EXPECT_EQ(Control(settings, IDC_ASSOCIATEFILES)->text,
              u"Set veilcase as default application for *.gpg and *.pgp files");
    ExpectRect(Control(settings, IDC_DECRYPTDIR), 14, 172, 272, 14);
    EXPECT_EQ(settings.controls.size(), 17u);

    DialogTemplate decrypt;
    ASSERT_TRUE(LoadDialogTemplate(IDD_DECRYPTFILE, decrypt));
    EXPECT_FALSE(Control(decrypt, IDC_KEEPUNENCRYPTED)->style & WS_VISIBLE);
    EXPECT_FALSE(Control(decrypt, IDC_NOPRIVATEKEY)->style & WS_VISIBLE);
    EXPECT_TRUE(Control(decrypt, IDC_RECIPIENTS)->style & WS_VISIBLE);
    EXPECT_TRUE(Control(decrypt, IDC_ORIGINALFILENAME)->style & SS_PATHELLIPSIS);
    // A label given a style of its own keeps only the label's base style;
    // a plain one starts a group.
    EXPECT_FALSE(Control(decrypt, IDC_ORIGINALFILENAME)->style & WS_GROUP);
    EXPECT_TRUE(Control(decrypt, IDC_ENCRYPTIONDATE)->style & WS_GROUP);
    EXPECT_EQ(Control(decrypt, 1)->text, u"Open File");

    DialogTemplate about;
    ASSERT_TRUE(LoadDialogTemplate(IDD_ABOUTBOX, about));
    EXPECT_EQ(about.caption, u"About veilcase");
    const DialogControl& picture = about.controls.at(0);
    EXPECT_EQ(picture.style & SS_TYPEMASK, SS_BITMAP);
    EXPECT_EQ(picture.textResourceId, static_cast<UINT>(IDB_BANNER));
    EXPECT_EQ(Control(about, IDC_VERSION)->text, u"Version: Unknown");

    DialogTemplate missing;
    ASSERT_TRUE(LoadDialogTemplate(IDD_MISSINGPUBLICKEY, missing));
    EXPECT_EQ(missing.controls.back().text,
              u"You have not all public keys for this document.\nIf you are going to modify this document not "
              u"every recipient will be able to to decrypt it again.");
    EXPECT_EQ(Control(missing, IDC_OPENREADONLY)->text, u"Open Read Only");

    DialogTemplate details;
    ASSERT_TRUE(LoadDialogTemplate(IDD_DETAILS, details));
    EXPECT_EQ(details.caption, u"Details");
    ExpectRect(Control(details, IDC_DETAILS_KEYS), 6, 95, 303, 76);

    EXPECT_FALSE(LoadDialogTemplate(103, details));
}

TEST(ResourceModule, IconHoldsAllFourteenImages)
{
    std::vector<BYTE> ico;
    ASSERT_TRUE(LoadIconFile(IDI_VEILCASE, ico));
    ASSERT_GE(ico.size(), 6u);
    ASSERT_EQ(Le16(ico, 4), 14);
    std::multiset<std::pair<int, int>> images;
    for (size_t i = 0; i < 14; ++i) {
        size_t entry = 6 + 16 * i;
        int size = ico.at(entry) == 0 ? 256 : ico.at(entry);
        images.insert({size, Le16(ico, entry + 6)});
        DWORD bytes = Le32(ico, entry + 8), offset = Le32(ico, entry + 12);
        ASSERT_LE(static_cast<size_t>(offset) + bytes, ico.size());
        if (size == 256)
            EXPECT_EQ(ico.at(offset + 1), 'P'); // PNG signature
        else
            EXPECT_EQ(Le32(ico, offset + 4), static_cast<DWORD>(size)); // DIB width
    }
    std::multiset<std::pair<int, int>> expected;
    for (int size : {16, 24, 32, 48})
        for (int bpp : {4, 8, 32})
            expected.insert({size, bpp});
    expected.insert({64, 32});
    expected.insert({256, 32});
    EXPECT_EQ(images, expected);
    EXPECT_FALSE(LoadIconFile(128, ico));
}

TEST(ResourceModule, BannerIsA333By50TrueColourBitmap)
{
    std::vector<BYTE> bmp;
    ASSERT_TRUE(LoadBitmapFile(IDB_BANNER, bmp));
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(Le32(bmp, 2), bmp.size());
    EXPECT_EQ(Le32(bmp, 10), 54u);
    EXPECT_EQ(Le32(bmp, 18), 333u);
    EXPECT_EQ(Le32(bmp, 22), 50u);
    EXPECT_EQ(Le16(bmp, 28), 32);
    EXPECT_EQ(bmp.size(), 54u + 333u * 50u * 4u);
}

TEST(ResourceModule, VersionBlockAnswersQueries)
{
    std::vector<BYTE> block;
    ASSERT_TRUE(LoadVersionBlock(block));
    const BYTE* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValue(block, u"\\", &value, &length));
    ASSERT_EQ(length, 52u);
    std::vector<BYTE> fixed(value, value + 52);
    EXPECT_EQ(Le32(fixed, 0), 0xFEEF04BDu);
    EXPECT_EQ(Le32(fixed, 16), 0x00010000u); // product version 1.0 ...
    EXPECT_EQ(Le32(fixed, 20), 145u);        // ... .0.145

    ASSERT_TRUE(VerQueryValue(block, u"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(value[0] | (value[1] << 8), 0x0407);
    EXPECT_EQ(value[2] | (value[3] << 8), 1200);

    // Keys compare without regard to case.
    ASSERT_TRUE(VerQueryValue(block, u"\\stringfileinfo\\040704B0\\ProductVersion", &value, &length));
    EXPECT_EQ(length, 10u); // "1.0.0.145" and its terminator
    EXPECT_EQ(CString(reinterpret_cast<const char16_t*>(value)), u"1.0.0.145");
    EXPECT_FALSE(VerQueryValue(block, u"\\StringFileInfo\\040904B0\\ProductVersion", &value, &length));
    EXPECT_FALSE(VerQueryValue(block, u"\\StringFileInfo\\040704B0\\NoSuchValue", &value, &length));
}

TEST(ResourceModule, CutVersionBlocksAreRefusedNotOverrun)
{
    std::vector<BYTE> block;
    ASSERT_TRUE(LoadVersionBlock(block));
    const BYTE* value = nullptr;
    UINT length = 0;
    // Every cut (with the length fields left claiming the full size) must be
    // refused or answered from inside the cut bytes.
    for (size_t size = 0; size < block.size(); ++size) {
        std::vector<BYTE> cut(block.begin(), block.begin() + static_cast<long>(size));
        if (VerQueryValue(cut, u"\\StringFileInfo\\040704b0\\ProductVersion", &value, &length)) {
            EXPECT_LE(value + length * 2, cut.data() + cut.size()) << size;
        }
    }
    DialogTemplate t;
    ResourceBytes bytes;
    ASSERT_TRUE(FindResourceBytes(FindResourceSource(ResourceType::Dialog, IDD_SETTINGS), ResourceType::Dialog,
                                  IDD_SETTINGS, bytes));
    for (size_t size = 0; size < bytes.size; ++size)
        EXPECT_FALSE(DecodeDialogTemplate(bytes.data, size, t)) << size;
    EXPECT_TRUE(DecodeDialogTemplate(bytes.data, bytes.size, t));
}

#ifndef _WIN32
// Resource tables built in memory are the stand-in's own kind of resource
// source (on Windows a source is a module), and the user's language comes
// from the locale variables here (from the system settings there).
namespace {

// A string block holding `text` as string `id`, every other slot empty.
std::vector<BYTE> StringBlock(UINT id, const std::u16string& text)
{
    std::vector<BYTE> block;
    for (UINT i = 0; i < 16; ++i) {
        std::u16string s = (i == (id & 15)) ? text : std::u16string();
        block.push_back(static_cast<BYTE>(s.size()));
        block.push_back(static_cast<BYTE>(s.size() >> 8));
        for (char16_t c : s) {
            block.push_back(static_cast<BYTE>(c));
            block.push_back(static_cast<BYTE>(c >> 8));
        }
    }
    return block;
}

using testsupport::ScopedEnv;

} // namespace

TEST(ResourceChain, EarlierSourcesWinAndLanguagesFallBack)
{
    ScopedEnv all("LC_ALL", "de_DE.UTF-8");
    std::vector<BYTE> german = StringBlock(IDS_SHOW_DETAILS, u"Details anzeigen");
    std::vector<BYTE> english = StringBlock(IDS_SHOW_DETAILS, u"Show the details");
    std::vector<BYTE> french = StringBlock(5000, u"Seulement");
    VeilResourceEntry entries[] = {
        {6, LANG_ID_ENGLISH_US, (IDS_SHOW_DETAILS >> 4) + 1, english.data(), static_cast<uint32_t>(english.size())},
        {6, LANG_ID_GERMAN, (IDS_SHOW_DETAILS >> 4) + 1, german.data(), static_cast<uint32_t>(german.size())},
        {6, 0x040C, (5000 >> 4) + 1, french.data(), static_cast<uint32_t>(french.size())},
    };
    const VeilResourceTable table{VEILCASE_RESOURCE_TABLE_MAGIC, VEILCASE_RESOURCE_TABLE_VERSION, 3, entries};

    size_t before = ResourceChain().size();
    ASSERT_GE(before, 1u);
    AddResourceSource(&table, true);
    AddResourceSource(&table); // already there: not added twice
    EXPECT_EQ(ResourceChain().size(), before + 1);
    EXPECT_EQ(ResourceChain().front(), &table);

    CString text;
    EXPECT_TRUE(LoadResourceString(IDS_SHOW_DETAILS, text));
    EXPECT_EQ(text, u"Details anzeigen"); // the user's language first
    {
        ScopedEnv english("LC_ALL", "en_US.UTF-8");
        EXPECT_TRUE(LoadResourceString(IDS_SHOW_DETAILS, text));
        EXPECT_EQ(text, u"Show the details");
    }
    EXPECT_TRUE(LoadResourceString(5000, text)); // whatever language there is
    EXPECT_EQ(text, u"Seulement");
    EXPECT_TRUE(LoadResourceString(IDS_ERROR_DETAILS, text)); // further down the chain
    EXPECT_EQ(text, u"Error Details");
    EXPECT_EQ(FindResourceSource(ResourceType::String, IDS_SHOW_DETAILS), &table);
    EXPECT_NE(FindResourceSource(ResourceType::String, IDS_ERR_UNKNOWN_GNUPG), &table);

    RemoveResourceSource(&table);
    EXPECT_EQ(ResourceChain().size(), before);
    EXPECT_TRUE(LoadResourceString(IDS_SHOW_DETAILS, text));
    EXPECT_EQ(text, u"Show Details");
}

#endif

TEST(ResourceChain, ModulesWithoutResourcesAreNotResourceModules)
{
    CString error;
    EXPECT_EQ(LoadResourceModule(u"veilcaseRes99.dll", reinterpret_cast<const void*>(&Marker), &error), nullptr);
    EXPECT_FALSE(error.IsEmpty());
    // The core library is loaded but carries no resources of its own.
    EXPECT_EQ(ResourcesOfModule(FindLoadedModule(u"veilshim64.dll")), nullptr);
    ModuleHandle module = LoadResourceModule(u"veilcaseRes64.dll", reinterpret_cast<const void*>(&Marker), &error);
    ASSERT_NE(module, nullptr) << error.ToUtf8();
    ResourceSource resources = ResourcesOfModule(module);
    ASSERT_NE(resources, nullptr);
    // Its dialogs are found through it.
    ResourceBytes bytes;
    EXPECT_TRUE(FindResourceBytes(resources, ResourceType::Dialog, IDD_SETTINGS, bytes));
    EXPECT_GT(bytes.size, 0u);
    EXPECT_FALSE(FindResourceBytes(resources, ResourceType::Dialog, 103, bytes));
    FreeModule(module);
}

#ifndef _WIN32
TEST(UserLanguage, FollowsTheLocaleSettings)
{
    ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", "de_DE.UTF-8");
    EXPECT_EQ(GetUserDefaultLangID(), 0x0407);
    setenv("LANG", "de_AT.UTF-8", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0C07);
    setenv("LANG", "fr_CA", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0C0C);
    setenv("LANG", "C.UTF-8", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0409);
    setenv("LC_MESSAGES", "nl_NL.UTF-8", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0413);
    setenv("LC_ALL", "en_GB.UTF-8", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0809);
}

TEST(ResourceScriptTool, RejectsMalformedScriptsWithTheLine)
{
    testsupport::TempDir dir("rcgen");
    testsupport::WriteFile(dir / "ids.h", "#define IDD_A 100\n#define IDC_X 1001\n");
    struct Case {
        const char* script;
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"STRINGTABLE\nBEGIN\n  1 \"never closed\nEND\n", 3, "unterminated string"},
        {"#include \"ids.h\"\nSTRINGTABLE\nBEGIN\n  IDS_NOT_DEFINED \"x\"\nEND\n", 4, "undefined symbol"},
        {"STRINGTABLE\nBEGIN\n 1 \"a\"\n 1 \"b\"\nEND\n", 4, "defined twice"},
        {"\n\n#frobnicate\n", 3, "unknown preprocessor directive"},
        {"#ifdef X\n1 BITMAP \"a.bmp\"\n", 1, "#if without #endif"},
        {"#include \"missing.h\"\n", 1, "cannot find include file"},
        {"#include <windows.h>\n#include \"ids.h\"\nIDD_A DIALOGEX 0, 0, 10, 10\nCAPTION \"x\"\n"
         "BEGIN\n  LTEXT \"a\", -1, 1, 1, 5, 5\n  FROB \"b\", 2, 1, 1, 5, 5\nEND\n",
         7, "unknown control statement"},
        {"#include <windows.h>\n1 DIALOGEX 0, 0, 10, 10\nSTYLE WS_POPUP\nLTEXT \"a\", -1, 1, 1, 5, 5\n", 4,
         "DIALOGEX header"},
        {"#include <windows.h>\n1 DIALOGEX 0, 0, 10, 10\nBEGIN\n  PUSHBUTTON \"a\" 1, 1, 1, 5, 5\nEND\n", 4,
         "expected ','"},
        {"#include <windows.h>\n1 DIALOGEX 0, 0, 10, 70000\nBEGIN\nEND\n", 2, "out of range"},
        {"\n2 ICON \"nothere.ico\"\n", 2, "cannot open file"},
        {"1 VERSIONINFO\nBEGIN\n  VALUE \"Translation\", 0x407, \"x\"\nEND\n", 3, "mix text and numbers"},
        {"/* open\ncomment\n", 1, "unterminated comment"},
        {"STRINGTABLE\nBEGIN\n 7 \"\xff\xfe\"\nEND\n", 3, "not valid UTF-8"},
        {"1 MENU\nBEGIN\nEND\n", 1, "unsupported resource statement"},
    };
    for (const Case& c : cases) {
        testsupport::WriteFile(dir / "bad.rc", c.script);
        std::filesystem::path output = dir / "out.cpp";
        RunResult r = RunCommand(Rcgen() + " " + (dir / "bad.rc").string() + " -o " + output.string());
        EXPECT_EQ(r.status, 1) << c.script;
        std::string where = "bad.rc(" + std::to_string(c.line) + "): error: ";
        EXPECT_NE(r.output.find(where), std::string::npos) << c.script << "\n" << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.script << "\n" << r.output;
        EXPECT_FALSE(std::filesystem::exists(output)) << "half-written output after: " << c.script;
    }
}

TEST(ResourceScriptTool, PreprocessesConditionsAndStyles)
{
    testsupport::TempDir dir("rcgen");
    testsupport::WriteFile(dir / "ok.rc",
                           "#include <windows.h>\n"
                           "#define BASE 10\n"
                           "#define NEXT (BASE + 1)\n"
                           "#if defined(BASE) && BASE == 10\n"
                           "STRINGTABLE { NEXT, \"eleven\" }\n"
                           "#else\n"
                           "STRINGTABLE { 99, \"wrong branch\" }\n"
                           "#endif\n"
                           "#ifndef BASE\n#error not reached\n#endif\n"
                           "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK\n"
                           "STRINGTABLE BEGIN 12 \"say \"\"hi\"\"\\t// not a comment\" END\n");
    RunResult r = RunCommand(Rcgen() + " --list " + (dir / "ok.rc").string());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("string 11 0 \"eleven\"\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("string 12 2057 \"say \\\"hi\\\"\\t// not a comment\"\n"), std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("string 99"), std::string::npos) << r.output;
}

TEST(ResourceChain, IconsAndBitmapsAreRebuiltAsFiles)
{
    // An 8-bit bitmap with a 4-colour palette: the pixels start after the
    // file header, the info header and the palette.
    std::vector<BYTE> dib(40 + 4 * 4 + 4, 0);
    dib[0] = 40;                // header size
    dib[4] = 1;                 // width
    dib[8] = 1;                 // height
    dib[12] = 1;                // planes
    dib[14] = 8;                // bits per pixel
    dib[32] = 4;                // colours used
    // An icon group naming image 7, which exists, and image 8, which does not.
    std::vector<BYTE> image = {1, 2, 3, 4, 5};
    std::vector<BYTE> goodGroup = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 5, 0, 0, 0, 7, 0};
    std::vector<BYTE> badGroup = goodGroup;
    badGroup[18] = 8;
    VeilResourceEntry entries[] = {
        {2, 0x0409, 4001, dib.data(), static_cast<uint32_t>(dib.size())},
        {3, 0x0409, 7, image.data(), static_cast<uint32_t>(image.size())},
        {14, 0x0409, 4002, goodGroup.data(), static_cast<uint32_t>(goodGroup.size())},
        {14, 0x0409, 4003, badGroup.data(), static_cast<uint32_t>(badGroup.size())},
        {14, 0x0409, 4004, badGroup.data(), 3}, // cut short
    };
    const VeilResourceTable table{VEILCASE_RESOURCE_TABLE_MAGIC, VEILCASE_RESOURCE_TABLE_VERSION, 5, entries};
    AddResourceSource(&table);

    std::vector<BYTE> bmp;
    ASSERT_TRUE(LoadBitmapFile(4001, bmp));
    EXPECT_EQ(Le32(bmp, 10), 14u + 40u + 16u);
    EXPECT_EQ(bmp.size(), 14u + dib.size());

    std::vector<BYTE> ico;
    ASSERT_TRUE(LoadIconFile(4002, ico));
    ASSERT_EQ(ico.size(), 6u + 16u + image.size());
    EXPECT_EQ(Le32(ico, 6 + 8), 5u);       // image size
    EXPECT_EQ(Le32(ico, 6 + 12), 22u);     // image offset
    EXPECT_EQ(std::vector<BYTE>(ico.begin() + 22, ico.end()), image);
    EXPECT_FALSE(LoadIconFile(4003, ico));
    EXPECT_TRUE(ico.empty());
    EXPECT_FALSE(LoadIconFile(4004, ico));
    RemoveResourceSource(&table);
}
#endif
