#pragma once

#include "CTemplateDialog.h"

// The About box (template 100).
class CAboutDlg final : public CTemplateDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
