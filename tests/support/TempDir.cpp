#include "TempDir.h"

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/mount.h>
#include <unistd.h>

CTestDir::CTestDir()
{
    char pattern[] = "/tmp/battsim-test-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

CTestDir::~CTestDir()
{
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << stream.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream << bytes;
    if (!stream)
        throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

CTinyMount::CTinyMount(const std::string& path, int kilobytes, bool readOnly)
    : m_path(path)
    , m_nKilobytes(kilobytes)
{
    if (geteuid() != 0)
        return;
    std::filesystem::create_directories(path);
    const std::string options = "size=" + std::to_string(kilobytes) + "k";
    m_bMounted = mount("tmpfs", path.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) == 0;
}

void CTinyMount::Remount(bool readOnly)
{
    const std::string options = "size=" + std::to_string(m_nKilobytes) + "k";
    mount("tmpfs", m_path.c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0), options.c_str());
}

CTinyMount::~CTinyMount()
{
    if (m_bMounted)
        umount2(m_path.c_str(), MNT_DETACH);
}

int ProcessesWithMarker(const std::string& marker)
{
    int count = 0;
    DIR* proc = opendir("/proc");
    while (dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        const std::string base = std::string("/proc/") + entry->d_name;
        const std::string environ = ReadFile(base + "/environ");
        if (environ.find("BATTSIM_FAKE_MARKER=" + marker) == std::string::npos)
            continue;
        std::ifstream stat(base + "/stat");
        std::string pid;
        std::string name;
        std::string state;
        stat >> pid >> name >> state;
        if (state != "Z")
            ++count;
    }
    closedir(proc);
    return count;
}

bool NoProcessLeft(const std::string& marker)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (ProcessesWithMarker(marker) == 0)
            return true;
        usleep(20000);
    }
    return false;
}
