// Resource ids of the text editor: its window and the window's controls.
#ifndef TEXTEDIT_RESOURCE_H
#define TEXTEDIT_RESOURCE_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_TEXTEDIT 200

#define IDC_DOCUMENTS 1001
#define IDC_TEXT 1002
#define IDC_PATH 1003
#define IDC_OPEN 1004
#define IDC_SAVE 1005
#define IDC_SAVEAS 1006
#define IDC_CLOSEDOC 1007
#define IDC_DOCUMENTS_LABEL 1008

#endif
