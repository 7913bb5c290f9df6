// Message boxes: AfxMessageBox with the Windows MB_ styles and ID results,
// shown by a replaceable handler. The default handler prints the text to
// standard error and answers with the box's default button; a GUI installs
// a real dialog, tests install one that records and answers.
#pragma once

#include <functional>

#include "CString.h"
#include "WinTypes.h"

// Button sets.
constexpr UINT MB_OK = 0x00000000u;
constexpr UINT MB_OKCANCEL = 0x00000001u;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002u;
constexpr UINT MB_YESNOCANCEL = 0x00000003u;
constexpr UINT MB_YESNO = 0x00000004u;
constexpr UINT MB_RETRYCANCEL = 0x00000005u;
constexpr UINT MB_TYPEMASK = 0x0000000Fu;
// Icons.
constexpr UINT MB_ICONERROR = 0x00000010u;
constexpr UINT MB_ICONHAND = MB_ICONERROR;
constexpr UINT MB_ICONSTOP = MB_ICONERROR;
constexpr UINT MB_ICONQUESTION = 0x00000020u;
constexpr UINT MB_ICONWARNING = 0x00000030u;
constexpr UINT MB_ICONEXCLAMATION = MB_ICONWARNING;
constexpr UINT MB_ICONINFORMATION = 0x00000040u;
constexpr UINT MB_ICONASTERISK = MB_ICONINFORMATION;
constexpr UINT MB_ICONMASK = 0x000000F0u;
// Default button.
constexpr UINT MB_DEFBUTTON1 = 0x00000000u;
constexpr UINT MB_DEFBUTTON2 = 0x00000100u;
constexpr UINT MB_DEFBUTTON3 = 0x00000200u;
constexpr UINT MB_DEFMASK = 0x00000F00u;

// Results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows one message box and returns the button chosen (an ID value).
using MessageBoxHandler = std::function<int(const CString& text, UINT type)>;

// Installs `handler` for every later AfxMessageBox call and returns the one
// it replaces; an empty handler restores the console handler.
// Pitfall: not meant to be swapped while another thread shows a box.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Shows `text` with the style bits of `type` through the installed handler
// and returns the chosen button.
int AfxMessageBox(const CString& text, UINT type = MB_OK);

// Shows string `promptId` of the string table (an empty box text when the
// table has none) and returns the chosen button.
int AfxMessageBox(UINT promptId, UINT type = MB_OK);

// The button a box of style `type` answers with when the user just confirms
// it: the default button of its set (MB_DEFBUTTONn picks among them).
int DefaultMessageBoxButton(UINT type);

// The console handler: prints the text to standard error and answers with
// the default button.
int ConsoleMessageBox(const CString& text, UINT type);
