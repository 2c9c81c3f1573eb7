#include "AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace battsim {

namespace {

std::string Reason(const std::string& what, int errorNumber)
{
    return what + ": " + std::strerror(errorNumber);
}

// Follows symbolic links so that the replacement lands where the link points.
std::string ResolveTarget(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        char target[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), target, sizeof target - 1);
        if (length < 0)
            return current;
        target[length] = '\0';
        if (target[0] == '/') {
            current = target;
        } else {
            const auto slash = current.rfind('/');
            current = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + target;
        }
    }
    return current;
}

} // namespace

bool WriteAll(int fd, std::string_view bytes, int* errorNumber, std::size_t* written)
{
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t count = ::write(fd, data, left);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            *errorNumber = errno;
            ok = false;
            break;
        }
        data += count;
        left -= static_cast<std::size_t>(count);
    }
    if (written)
        *written = bytes.size() - left;
    return ok;
}

namespace {

bool WriteOpened(int fd, std::string_view text, int* errorNumber)
{
    if (fd < 0) {
        *errorNumber = errno;
        return false;
    }
    bool ok = WriteAll(fd, text, errorNumber);
    if (::close(fd) != 0 && ok) {
        *errorNumber = errno;
        ok = false;
    }
    return ok;
}

} // namespace

bool WriteNewTextFile(const std::string& path, std::string_view text, int* errorNumber)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        *errorNumber = errno;
        return false;
    }
    return WriteOpened(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644), text,
                       errorNumber);
}

bool ReadWholeFile(const std::string& path, std::string* bytes, int* errorNumber)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *errorNumber = errno;
        return false;
    }
    bytes->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            *errorNumber = errno;
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        bytes->append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    *errorNumber = 0;
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error)
{
    const std::string target = ResolveTarget(path);
    const auto slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = directory + "." + base + ".XXXXXX";

    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = Reason("cannot create a file in the folder of " + target, errno);
        return false;
    }

    mode_t mode = 0666;
    struct stat old {};
    if (stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }

    int errorNumber = 0;
    bool ok = WriteAll(fd, bytes, &errorNumber);
    if (ok && fchmod(fd, mode) != 0) {
        errorNumber = errno;
        ok = false;
    }
    if (ok && fsync(fd) != 0) {
        errorNumber = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        errorNumber = errno;
        ok = false;
    }
    if (ok && std::rename(temporary.c_str(), target.c_str()) != 0) {
        errorNumber = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        if (error)
            *error = Reason("cannot write " + target, errorNumber);
        return false;
    }
    return true;
}

} // namespace battsim
