// Resources: string table, dialog templates, icons, bitmaps and the version
// block, looked up by id through a resource chain of modules (searched in
// order, like the framework's resource search: the asking module's own
// resources first when it has any, then the resource module beside it).
#pragma once

#include <vector>

#include "platform/CString.h"
#include "platform/Module.h"
#include "platform/WinTypes.h"

struct VeilResourceTable;

#ifndef _WIN32
// Window style bits the templates use, with their Windows values.
#define WS_POPUP 0x80000000
#define WS_CHILD 0x40000000
#define WS_MINIMIZE 0x20000000
#define WS_VISIBLE 0x10000000
#define WS_DISABLED 0x08000000
#define WS_CAPTION 0x00C00000
#define WS_BORDER 0x00800000
#define WS_VSCROLL 0x00200000
#define WS_HSCROLL 0x00100000
#define WS_SYSMENU 0x00080000
#define WS_THICKFRAME 0x00040000
#define WS_GROUP 0x00020000
#define WS_TABSTOP 0x00010000
#define WS_MINIMIZEBOX 0x00020000
#define WS_MAXIMIZEBOX 0x00010000
#define WS_EX_APPWINDOW 0x00040000
#define DS_MODALFRAME 0x80
#define DS_SETFONT 0x40
#define DS_FIXEDSYS 0x08
#define DS_SHELLFONT 0x48
#define DS_CENTER 0x0800
#define BS_TYPEMASK 0x0F
#define BS_PUSHBUTTON 0x0
#define BS_DEFPUSHBUTTON 0x1
#define BS_CHECKBOX 0x2
#define BS_AUTOCHECKBOX 0x3
#define BS_3STATE 0x5
#define BS_AUTO3STATE 0x6
#define BS_GROUPBOX 0x7
#define SS_TYPEMASK 0x1F
#define SS_LEFT 0x0
#define SS_BITMAP 0xE
#define SS_PATHELLIPSIS 0x8000
#define SS_ENDELLIPSIS 0x4000
#define ES_AUTOHSCROLL 0x80
#define CBS_DROPDOWNLIST 0x3
#define CBS_TYPEMASK 0x3
#define LVS_REPORT 0x1
#define LVS_TYPEMASK 0x3
#endif

namespace platform {

// Resource types, numbered as Windows numbers them.
enum class ResourceType : WORD {
    Bitmap = 2,
    Icon = 3,
    Dialog = 5,
    String = 6,
    GroupIcon = 14,
    Version = 16,
    Manifest = 24,
};

// Language ids used by the resources.
constexpr WORD LANG_ID_NEUTRAL = 0x0000;
constexpr WORD LANG_ID_GERMAN = 0x0407;     // 1031
constexpr WORD LANG_ID_ENGLISH_US = 0x0409; // 1033

// One set of resources, opaque: where the system has resource sections, a
// module; elsewhere the table a resource module exports (VeilResourceTable,
// also one built in memory). Null means "none".
using ResourceSource = const void*;

// The resources a loaded module carries; null when it exports no table (or
// a table of an unknown layout).
ResourceSource ResourcesOfModule(ModuleHandle module);

// Loads a resource module by its Windows name ("veilcaseRes64.dll") from the
// folder of the module holding `askingAddress`. Returns null (and the
// loader's message in `error`) when it is missing or carries no resources.
// Pitfall: the module stays loaded; it is released only by FreeModule.
ModuleHandle LoadResourceModule(const CString& name, const void* askingAddress, CString* error = nullptr);

// The resource chain. On first use it holds the resources of the module
// that contains this code (when it has any) followed by the resource module
// "veilcaseRes64.dll" from the same folder (when it is there).
// AddResourceSource appends (or, with `first`, puts in front) a source;
// a source already in the chain is not added twice.
void AddResourceSource(ResourceSource source, bool first = false);
void RemoveResourceSource(ResourceSource source);
// The chain in search order (after the first-use set-up).
std::vector<ResourceSource> ResourceChain();

// The first source in the chain holding a resource of this type and id (the
// string table: the block holding string `id`), or null.
ResourceSource FindResourceSource(ResourceType type, UINT id);

// Every id (ids are 16-bit numbers) under which some source of the chain
// holds a resource of this type, ascending.
std::vector<UINT> ResourceIds(ResourceType type);

// The bytes of one resource of a source. The language is chosen as
// Windows chooses it: `language` when given (non-zero), then the user's
// default language, then neutral, then whichever language the source has.
// Returns false when the source has no resource of that type and id.
// Pitfall: `data` points into the module and is valid while it stays loaded.
struct ResourceBytes {
    const BYTE* data = nullptr;
    size_t size = 0;
    WORD language = 0;
};
bool FindResourceBytes(ResourceSource source, ResourceType type, UINT id, ResourceBytes& out, WORD language = 0);

// String `id` of the string table, searched along the chain. Returns true
// with the text when found, false (and `out` emptied) when no source has
// it. Pitfall: the table cannot tell an empty text from a missing one, so an
// empty string counts as missing and the search goes on down the chain.
bool LoadResourceString(UINT id, CString& out);
// The same for one source only.
bool LoadResourceString(ResourceSource source, UINT id, CString& out);

// A dialog template, decoded. Positions and sizes are in dialog units.
struct DialogControl {
    int id = 0;             // -1 (IDC_STATIC) for labels without an id of their own
    CString className;      // "Button", "Edit", "Static", "ComboBox", "SysListView32", ...
    CString text;           // empty when the control has none
    UINT textResourceId = 0; // non-zero when the text is a resource id (a picture's bitmap)
    DWORD style = 0;        // window style bits (WS_*, BS_*, SS_*, ...)
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
};
struct DialogTemplate {
    UINT id = 0;
    WORD language = 0;
    CString caption;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    CString fontName;       // "MS Shell Dlg"; empty when the template sets no font
    int fontPointSize = 0;
    int fontWeight = 0;
    bool fontItalic = false;
    std::vector<DialogControl> controls; // in tab order
};


// Dialog template `id`, searched along the chain. Returns false when no
// source has it or its bytes are not a valid extended dialog template.
bool LoadDialogTemplate(UINT id, DialogTemplate& out);
// Decodes an extended dialog template (DLGTEMPLATEEX) from its bytes.
// Returns false on a truncated or malformed template; never reads past size.
bool DecodeDialogTemplate(const BYTE* data, size_t size, DialogTemplate& out);

// Icon group `id` as a complete .ico file (all its images), ready for an
// image reader. Returns false when the group or one of its images is missing.
bool LoadIconFile(UINT id, std::vector<BYTE>& icoFile);
// Bitmap `id` as a complete .bmp file (the file header put back in front).
bool LoadBitmapFile(UINT id, std::vector<BYTE>& bmpFile);

// The version block (resource 1 of the version type) of the first source
// in the chain that has one, copied. Returns false when none has.
bool LoadVersionBlock(std::vector<BYTE>& block);

// Looks a value up in a version block (VS_VERSIONINFO layout) the way
// VerQueryValueW does: "\" gives the fixed file information,
// "\VarFileInfo\Translation" the translation table (length in bytes),
// "\StringFileInfo\040704B0\ProductVersion" a UTF-16 string (length in
// characters, terminator included). Keys compare without regard to case.
// Returns false when the path is absent or the block is malformed.
// Pitfall: `value` points into `block`; it is not a copy.
bool VerQueryValue(const std::vector<BYTE>& block, const CString& subBlock, const BYTE** value, UINT* length);

// The user's default language as a Windows language id, taken from the
// locale settings (LC_ALL, LC_MESSAGES, LANG): "de_DE" -> 0x0407. The C
// locale and unknown languages give English US, 0x0409.
WORD GetUserDefaultLangID();

} // namespace platform
