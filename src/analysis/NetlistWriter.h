#pragma once

#include "AnalysisSettings.h"

#include <string>

namespace battsim {

// The netlist "Analyz.cir": includes the two unscrambled model files, places
// the battery in the test circuit with the analysis values and asks for a
// transient analysis that prints v(aa). 37 lines, each ending in "\n".
std::string BuildNetlist(const AnalysisSettings& settings,
                         const std::string& circuitPath,
                         const std::string& paramPath);

// An include line's path: as it stands, or in double quotes when it holds
// white space (ngspice would end the name at the first blank).
std::string IncludePath(const std::string& path);

} // namespace battsim

namespace battsim {

class CBatteryModel;

// The outcome of preparing a run's input files.
struct NetlistOutcome
{
    bool ok = false;
    std::string message; // what to tell the user when !ok
};

// Tests that both model files can be opened (the circuit file first),
// unscrambles them into the two temporary paths and writes the netlist.
// Model files that cannot be opened and a netlist that cannot be written
// come back as messages; a file error while unscrambling throws CFileError.
NetlistOutcome PrepareNetlist(const CBatteryModel& model,
                              const AnalysisSettings& settings,
                              const std::string& circuitTempPath,
                              const std::string& paramTempPath,
                              const std::string& netlistPath);

} // namespace battsim
