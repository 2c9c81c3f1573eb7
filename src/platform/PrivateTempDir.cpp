#include "PrivateTempDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace battsim {

namespace {

bool IsPrivateDirectoryOfUser(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid()
        && (info.st_mode & 077) == 0;
}

// Makes `path` a 0700 directory of ours, or says why it cannot be one.
bool EnsurePrivateDirectory(const std::string& path, std::string* error)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "The temporary folder " + path + " cannot be created: " + std::strerror(errno) + ".";
        return false;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *error = "The temporary folder " + path + " is not a usable folder (" + std::strerror(errno) + ").";
        return false;
    }
    struct stat info {};
    bool ok = fstat(fd, &info) == 0;
    if (ok && info.st_uid != getuid()) {
        *error = "The temporary folder " + path + " belongs to another user.";
        ok = false;
    }
    if (ok && (info.st_mode & 07777) != 0700 && fchmod(fd, 0700) != 0) {
        *error = "The temporary folder " + path + " cannot be made private: " + std::strerror(errno) + ".";
        ok = false;
    }
    close(fd);
    return ok;
}

} // namespace

bool PrivateTempDirectory(std::string* path, std::string* error)
{
    std::string candidate;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && IsPrivateDirectoryOfUser(runtime)) {
        candidate = std::string(runtime) + "/battsim";
    } else {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = tmp && tmp[0] == '/' ? tmp : "/tmp";
        while (base.size() > 1 && base.back() == '/')
            base.pop_back();
        candidate = base + "/battsim-" + std::to_string(getuid());
    }
    std::string reason;
    if (!EnsurePrivateDirectory(candidate, &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    *path = candidate + "/";
    return true;
}

} // namespace battsim
