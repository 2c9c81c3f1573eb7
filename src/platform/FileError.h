#pragma once

#include <stdexcept>
#include <string>

namespace battsim {

// A failed file operation: carries the path and the system's reason, and
// formats both into a sentence a user can act on.
class CFileError final : public std::runtime_error
{
public:
    CFileError(std::string path, int errorNumber, const std::string& action);

    const std::string& Path() const noexcept { return m_strPath; }
    int ErrorNumber() const noexcept { return m_nErrno; }

private:
    std::string m_strPath;
    int m_nErrno;
};

} // namespace battsim
