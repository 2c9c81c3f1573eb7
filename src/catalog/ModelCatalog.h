#pragma once

#include "BatteryModel.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace battsim {

// The ordered list of battery models, bound to the catalogue file. Index i is
// section "MODEL_i" when loading and when saving. Owns its entries.
class CModelCatalog final
{
public:
    // More entries than this are not loaded, whatever NUMBER says.
    static constexpr int kMaxEntries = 10000;

    explicit CModelCatalog(std::string path);

    CModelCatalog(const CModelCatalog&) = delete;
    CModelCatalog& operator=(const CModelCatalog&) = delete;

    // Writes NUMBER and every entry into the file, keeping every other line.
    // The file is replaced atomically; false with a reason on failure, when
    // the old file is left as it was.
    bool Save(std::string* error = nullptr) const;

    std::size_t GetCount() const { return m_entries.size(); }
    CBatteryModel* GetAt(std::size_t index) const { return m_entries.at(index).get(); }
    CBatteryModel* AddTail(std::unique_ptr<CBatteryModel> entry);
    std::unique_ptr<CBatteryModel> RemoveAt(std::size_t index);

    const std::string& Path() const { return m_strPath; }

private:
    void Load();

    std::string m_strPath;
    std::vector<std::unique_ptr<CBatteryModel>> m_entries;
};

} // namespace battsim
