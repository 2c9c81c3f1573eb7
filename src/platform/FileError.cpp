#include "FileError.h"

#include <cstring>

namespace battsim {

namespace {

std::string Describe(const std::string& path, int errorNumber, const std::string& action)
{
    std::string text = action + " \"" + path + "\" failed";
    if (errorNumber != 0) {
        text += ": ";
        text += std::strerror(errorNumber);
    }
    text += '.';
    return text;
}

} // namespace

CFileError::CFileError(std::string path, int errorNumber, const std::string& action)
    : std::runtime_error(Describe(path, errorNumber, action))
    , m_strPath(std::move(path))
    , m_nErrno(errorNumber)
{
}

} // namespace battsim
