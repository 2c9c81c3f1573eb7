#include "CSimulatorApp.h"

int main(int argc, char** argv)
{
    CSimulatorApp application;
    application.InitInstance(argc, argv);
    return 0;
}
