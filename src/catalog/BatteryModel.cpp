#include "BatteryModel.h"

#include "IniFile.h"
#include "NumberText.h"
#include "StringTable.h"

#include <array>
#include <utility>

namespace battsim {

namespace {

constexpr std::size_t kValueBufferSize = 256;

// The text fields by the string-table entry of their key, in file order.
constexpr std::array<std::pair<int, std::string CBatteryModel::*>, 5> kTextFields{{
    {IDS_KEY_MODEL_NAME, &CBatteryModel::m_strName},
    {IDS_KEY_MODEL_DESCR, &CBatteryModel::m_strDescr},
    {IDS_KEY_MODEL_FILE, &CBatteryModel::m_strModelFile},
    {IDS_KEY_PARAM_FILE, &CBatteryModel::m_strParamFile},
    {IDS_KEY_OUTPUT_FILE, &CBatteryModel::m_strOutputFile},
}};

} // namespace

void CBatteryModel::ReadFromProfile(const CIniFile& file, const std::string& section)
{
    for (const auto& [key, field] : kTextFields)
        this->*field = file.GetProfileString(section, LoadResString(key), "Default", kValueBufferSize);

    const std::array<std::pair<int, double*>, 3> numbers{{
        {IDS_KEY_EMAX, &m_dEmax},
        {IDS_KEY_EMIN, &m_dEmin},
        {IDS_KEY_IRAT, &m_dIrat},
    }};
    for (const auto& [key, field] : numbers) {
        const std::string scratch = file.GetProfileString(section, LoadResString(key), "Default", kValueBufferSize);
        if (const auto value = ScanNumberPrefix(scratch))
            *field = *value;
    }
}

void CBatteryModel::WriteToProfile(CIniFile& file, const std::string& section) const
{
    for (const auto& [key, field] : kTextFields)
        file.SetValue(section, LoadResString(key), this->*field);

    const std::array<std::pair<int, double>, 3> numbers{{
        {IDS_KEY_IRAT, m_dIrat},
        {IDS_KEY_EMAX, m_dEmax},
        {IDS_KEY_EMIN, m_dEmin},
    }};
    for (const auto& [key, value] : numbers)
        file.SetValue(section, LoadResString(key), FormatExact(value));
}

} // namespace battsim
