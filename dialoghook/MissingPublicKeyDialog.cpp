#include "dialoghook/MissingPublicKeyDialog.h"

#include "resources/resource.h"

IMPLEMENT_DYNAMIC(CMissingPublicKeyDialog, CDialog)

CMissingPublicKeyDialog::CMissingPublicKeyDialog(CWnd* pParent) : CDialog(IDD_MISSINGPUBLICKEY, pParent)
{
    MapClicked(IDC_OPENWRITEABLE, &CMissingPublicKeyDialog::OnOpenWriteableButtonClicked);
    MapClicked(IDC_OPENREADONLY, &CMissingPublicKeyDialog::OnOpenReadOnlyButtonClicked);
}

CMissingPublicKeyDialog::~CMissingPublicKeyDialog() = default;

void CMissingPublicKeyDialog::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
}

void CMissingPublicKeyDialog::OnOpenWriteableButtonClicked()
{
    m_nOpenMode = 1;
    EndDialog(IDOK);
}

void CMissingPublicKeyDialog::OnOpenReadOnlyButtonClicked()
{
    EndDialog(IDOK);
}
