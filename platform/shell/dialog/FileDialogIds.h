// The ids of the Open and Save dialog's window: its template (what the test
// automation of the dialog framework waits for) and its controls, with the
// numbers the Windows common dialogs give them. A control an application
// adds (IFileDialogCustomize) carries the application's own id, unless that
// id is one of these or above kLastAddedControlId; it then gets a free one.
#pragma once

namespace platform::filedialog {

constexpr unsigned kTemplateId = 1536;     // FILEOPENORD

constexpr int kOkButton = 1;               // IDOK: "Open", "Save" or the application's label
constexpr int kCancelButton = 2;           // IDCANCEL
constexpr int kFileList = 1120;            // lst1: the folder's entries (name, date, type, size)
constexpr int kTypeCombo = 1136;           // cmb1: the file types
constexpr int kFolderCombo = 1137;         // cmb2: the folder shown, its parents and the places
constexpr int kFileNameEdit = 1152;        // edt1: the file name box
constexpr int kTypeLabel = 1089;           // stc2
constexpr int kFileNameLabel = 1090;       // stc3
constexpr int kFolderLabel = 1091;         // stc4
constexpr int kUpButton = 1124;            // "Up": the parent folder
constexpr int kOpenDropDown = 1125;        // the OK button's drop-down, when the application asks for one

constexpr int kLastAddedControlId = 0xEFFF;
// Ids given to added controls that need one of their own (items of radio
// button lists, labels of edit and combo boxes, colliding ids), counted up.
constexpr int kFirstSpareId = 0xF000;

// Columns of the file list.
constexpr int kNameColumn = 0;
constexpr int kDateColumn = 1;
constexpr int kTypeColumn = 2;
constexpr int kSizeColumn = 3;

} // namespace platform::filedialog
