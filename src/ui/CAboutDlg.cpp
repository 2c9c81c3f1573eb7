#include "CAboutDlg.h"

CAboutDlg::CAboutDlg(QWidget* parent)
    : CTemplateDialog(battsim::IDD_ABOUTBOX, parent)
{
}
