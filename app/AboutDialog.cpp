#include "app/AboutDialog.h"

#include "GuiUtils.h"
#include "resources/resource.h"

CAboutDialog::CAboutDialog(CWnd* parent) : COrvDialogEx(IDD_ABOUTBOX, parent)
{
}

BOOL CAboutDialog::OnInitDialog()
{
    COrvDialogEx::OnInitDialog();
    SetDlgItemText(IDC_VERSION, u"Version: " + CGuiUtils::GetProductVersion());
    return TRUE;
}
