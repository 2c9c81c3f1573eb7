#include "ModelCatalog.h"

#include "IniFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace battsim {

namespace {

std::string SectionName(std::size_t index)
{
    return "MODEL_" + std::to_string(index);
}

} // namespace

CModelCatalog::CModelCatalog(std::string path)
    : m_strPath(std::move(path))
{
    Load();
}

void CModelCatalog::Load()
{
    CIniFile file;
    std::string error;
    if (!CIniFile::Load(m_strPath, &file, &error))
        return;
    const int count = std::min(file.GetProfileInt("COMMON", "NUMBER", 0), kMaxEntries);
    for (int i = 0; i < count; ++i) {
        auto entry = std::make_unique<CBatteryModel>();
        entry->ReadFromProfile(file, SectionName(static_cast<std::size_t>(i)));
        m_entries.push_back(std::move(entry));
    }
}

bool CModelCatalog::Save(std::string* error) const
{
    CIniFile file;
    if (!CIniFile::Load(m_strPath, &file, error))
        return false;
    file.SetValue("COMMON", "NUMBER", std::to_string(m_entries.size()));
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        m_entries[i]->WriteToProfile(file, SectionName(i));
    return file.Save(m_strPath, error);
}

CBatteryModel* CModelCatalog::AddTail(std::unique_ptr<CBatteryModel> entry)
{
    m_entries.push_back(std::move(entry));
    return m_entries.back().get();
}

std::unique_ptr<CBatteryModel> CModelCatalog::RemoveAt(std::size_t index)
{
    auto entry = std::move(m_entries.at(index));
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    return entry;
}

} // namespace battsim
