#include "RunLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace battsim {

CRunLock::~CRunLock()
{
    Release();
}

CRunLock::CRunLock(CRunLock&& other) noexcept
    : m_fds(std::move(other.m_fds))
{
    other.m_fds.clear();
}

CRunLock& CRunLock::operator=(CRunLock&& other) noexcept
{
    if (this != &other) {
        Release();
        m_fds = std::move(other.m_fds);
        other.m_fds.clear();
    }
    return *this;
}

bool CRunLock::Acquire(const std::vector<std::string>& folders, std::string* error)
{
    Release();
    for (const std::string& folder : folders) {
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            if (error)
                *error = "The folder " + folder + " cannot be opened: " + std::strerror(errno) + ".";
            Release();
            return false;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int reason = errno;
            close(fd);
            Release();
            if (error) {
                *error = reason == EWOULDBLOCK
                    ? "Another battsim run is using the work files in " + folder + ". Please wait until it has finished."
                    : "The folder " + folder + " cannot be locked: " + std::strerror(reason) + ".";
            }
            return false;
        }
        m_fds.push_back(fd);
    }
    return true;
}

void CRunLock::Release()
{
    for (const int fd : m_fds)
        close(fd);
    m_fds.clear();
}

} // namespace battsim
