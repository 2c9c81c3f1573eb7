#pragma once

#include <string>
#include <vector>

namespace battsim {

// Exclusive advisory locks (flock) on folders, held while the object lives:
// a run holds the working folder (its work files) and the private
// temporary folder (the unscrambled copies), so that a second instance
// cannot overwrite the files of a run under way.
class CRunLock final
{
public:
    CRunLock() = default;
    ~CRunLock();
    CRunLock(CRunLock&& other) noexcept;
    CRunLock& operator=(CRunLock&& other) noexcept;
    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;

    // Locks every folder without waiting; on failure holds none and says why.
    bool Acquire(const std::vector<std::string>& folders, std::string* error);
    void Release();
    bool Held() const { return !m_fds.empty(); }

private:
    std::vector<int> m_fds;
};

} // namespace battsim
