#pragma once

#include <string>

namespace battsim {

class CIniFile;

// One catalogue entry: a battery model's name, description, the paths of its
// scrambled circuit and parameter files and of its output file, and its rated
// current and voltage limits.
class CBatteryModel final
{
public:
    CBatteryModel() = default;

    // Fills all eight fields from one section. A missing text key gives
    // "Default"; a missing or unreadable number leaves the field as it was.
    void ReadFromProfile(const CIniFile& file, const std::string& section);

    // Writes the five texts and the three numbers (in a form that reads back
    // to the same double) into one section.
    void WriteToProfile(CIniFile& file, const std::string& section) const;

    double m_dIrat = 0.0;
    double m_dEmin = 0.0;
    double m_dEmax = 0.0;
    std::string m_strName;
    std::string m_strDescr;
    std::string m_strModelFile;
    std::string m_strParamFile;
    std::string m_strOutputFile;
};

} // namespace battsim
