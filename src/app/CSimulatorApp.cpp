#include "CSimulatorApp.h"

#include "AppSetup.h"
#include "CSimulatorDlg.h"

#include <QApplication>

bool CSimulatorApp::InitInstance(int& argc, char** argv)
{
    QApplication application(argc, argv);
    ConfigureApplication();
    CSimulatorDlg dialog;
    dialog.DoModal();
    return false;
}
