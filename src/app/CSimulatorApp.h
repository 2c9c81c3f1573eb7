#pragma once

// The application: sets up Qt, runs the main window modally and ends the
// program when it closes.
class CSimulatorApp final
{
public:
    // Returns false in every case: the program ends once the main window
    // has closed, whatever its result.
    bool InitInstance(int& argc, char** argv);
};
