// Message boxes: AfxMessageBox with the Windows MB_ styles and ID results,
// shown by a replaceable handler. The default handler prints the text to
// standard error and answers with the box's default button; a GUI installs
// a real dialog, tests install one that records and answers.
#pragma once

#include <functional>

#include "platform/CString.h"
#include "platform/WinTypes.h"

#ifndef _WIN32
// The style bits and results, with their Windows values.
// Button sets.
#define MB_OK 0x00000000
#define MB_OKCANCEL 0x00000001
#define MB_ABORTRETRYIGNORE 0x00000002
#define MB_YESNOCANCEL 0x00000003
#define MB_YESNO 0x00000004
#define MB_RETRYCANCEL 0x00000005
#define MB_TYPEMASK 0x0000000F
// Icons.
#define MB_ICONERROR 0x00000010
#define MB_ICONHAND MB_ICONERROR
#define MB_ICONSTOP MB_ICONERROR
#define MB_ICONQUESTION 0x00000020
#define MB_ICONWARNING 0x00000030
#define MB_ICONEXCLAMATION MB_ICONWARNING
#define MB_ICONINFORMATION 0x00000040
#define MB_ICONASTERISK MB_ICONINFORMATION
#define MB_ICONMASK 0x000000F0
// Default button.
#define MB_DEFBUTTON1 0x00000000
#define MB_DEFBUTTON2 0x00000100
#define MB_DEFBUTTON3 0x00000200
#define MB_DEFMASK 0x00000F00

// Results.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#endif

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
