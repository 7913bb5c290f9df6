// CAboutDialog: the product banner, the version and the fixed texts of the
// background program.
#pragma once

#include "ui/OrvDialogEx.h"

class CAboutDialog : public COrvDialogEx {
public:
    explicit CAboutDialog(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;
};
