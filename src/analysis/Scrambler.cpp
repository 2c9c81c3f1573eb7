#include "Scrambler.h"

#include "AtomicFile.h"
#include "FileError.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace battsim {

namespace {

class CFd final
{
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;

    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

std::string ReadAll(const std::string& path)
{
    CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        throw CFileError(path, errno, "Opening");
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw CFileError(path, errno, "Reading");
        }
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

void WritePrivate(const std::string& path, const std::string& bytes)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw CFileError(path, errno, "Replacing");
    CFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.Get() < 0)
        throw CFileError(path, errno, "Creating");
    int failure = 0;
    if (::fchmod(fd.Get(), 0600) != 0)
        failure = errno;
    if (failure == 0)
        WriteAll(fd.Get(), bytes, &failure);
    if (::close(fd.Release()) != 0 && failure == 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(path.c_str());
        throw CFileError(path, failure, "Writing");
    }
}

} // namespace

void ScrambleBuffer(unsigned char* data, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        data[i] ^= static_cast<unsigned char>((i & 0xFFu) ^ kScrambleKey);
}

void UnscrambleFile(const std::string& source, const std::string& destination)
{
    std::string bytes = ReadAll(source);
    ScrambleBuffer(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
    WritePrivate(destination, bytes);
}

} // namespace battsim
