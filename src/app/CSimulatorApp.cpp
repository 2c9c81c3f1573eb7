#include "CSimulatorApp.h"

#include "AppSetup.h"
#include "CSimulatorDlg.h"
#include "CTerminationWatcher.h"

#include <QApplication>

bool CSimulatorApp::InitInstance(int& argc, char** argv)
{
    QApplication application(argc, argv);
    ConfigureApplication();
    CSimulatorDlg dialog;
    // Ended from outside, the program closes its window as the user would.
    const CTerminationWatcher watcher([&dialog] { dialog.reject(); });
    dialog.DoModal();
    return false;
}
