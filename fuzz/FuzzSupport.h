#pragma once

// Helpers shared by the fuzz harnesses: a private scratch folder for the
// files the readers under test open, whole-file I/O that aborts on failure
// (a harness that cannot write its input must not report "no difference"),
// a check macro that stops the run with a message, and the expansion of an
// input into a file larger than the readers' 1 MiB read chunk.

#include "AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzzsupport {

// Aborts (so libFuzzer saves the input as a crash) when `condition` is false.
#define FUZZ_CHECK(condition, ...)                                                   \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "\nproperty failed at %s:%d: %s\n", __FILE__,      \
                         __LINE__, #condition);                                      \
            std::fprintf(stderr, "" __VA_ARGS__);                                    \
            std::fprintf(stderr, "\n");                                              \
            std::abort();                                                            \
        }                                                                            \
    } while (false)

[[noreturn]] inline void Fatal(const char* what, const std::string& path)
{
    std::fprintf(stderr, "fuzz harness: %s %s: %s\n", what, path.c_str(), std::strerror(errno));
    std::abort();
}

inline void RemoveScratch();

// The folder, created once per process (mode 0700) and removed at exit:
// $BATTSIM_FUZZ_TMPDIR, else /dev/shm, else $TMPDIR, else /tmp.
inline const std::string& ScratchDir()
{
    static const std::string dir = [] {
        // A RAM disk when there is one: the harnesses rewrite their files on
        // every input, and a disk file system would flush each rewrite.
        const char* base = std::getenv("BATTSIM_FUZZ_TMPDIR");
        if (!base || !*base)
            base = ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/battsim-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            Fatal("cannot create a scratch folder from", pattern);
        return pattern;
    }();
    static const bool registered = [] { return std::atexit(RemoveScratch) == 0; }();
    (void)registered;
    return dir;
}

inline std::string ScratchPath(const char* name)
{
    return ScratchDir() + "/" + name;
}

inline void RemoveScratch()
{
    const std::string& dir = ScratchDir();
    if (DIR* folder = ::opendir(dir.c_str())) {
        while (const dirent* entry = ::readdir(folder)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                ::unlink((dir + "/" + entry->d_name).c_str());
        }
        ::closedir(folder);
    }
    ::rmdir(dir.c_str());
}

inline void WriteWholeFile(const std::string& path, std::string_view bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        Fatal("cannot create", path);
    int errorNumber = 0;
    if (!battsim::WriteAll(fd, bytes, &errorNumber)) {
        errno = errorNumber;
        Fatal("cannot write", path);
    }
    if (::close(fd) != 0)
        Fatal("cannot close", path);
}

inline std::string ReadWholeFileOrDie(const std::string& path)
{
    std::string bytes;
    int errorNumber = 0;
    if (!battsim::ReadWholeFile(path, &bytes, &errorNumber)) {
        errno = errorNumber;
        Fatal("cannot read", path);
    }
    return bytes;
}

// The length of the piece that fgets with room for `limit` characters reads
// at `at`: up to and with the next newline, `limit` characters at most.
inline std::size_t PieceLength(std::string_view content, std::size_t at, std::size_t limit)
{
    const std::size_t room = std::min(limit, content.size() - at);
    const void* newline = std::memchr(content.data() + at, '\n', room);
    return newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - (content.data() + at)) + 1 : room;
}

// The readers take the file in chunks of this size.
constexpr std::size_t kReadChunk = std::size_t{1} << 20;

// An input that opens with the two bytes B1 1B is a large file:
//   B1 1B s0 s1 n rest...
// Filler lines of n bytes each ('x' characters and a newline; n = 0 means
// 80) fill the first kReadChunk - (s0 + 256 * s1) % 8192 bytes exactly (the
// last one shorter, still ending in a newline), and `rest` follows, so that
// what the fuzzer writes in `rest` straddles the first chunk boundary at a
// point it chooses. The filler holds no data, which keeps such runs fast.
// Any other input is the file as it is.
inline std::string FileContent(const std::uint8_t* data, std::size_t size)
{
    if (size < 5 || data[0] != 0xB1 || data[1] != 0x1B)
        return std::string(reinterpret_cast<const char*>(data), size);
    const std::size_t shift = (data[2] | (std::size_t{data[3]} << 8)) % 8192;
    const std::size_t lineLength = data[4] == 0 ? 80 : data[4];
    const std::size_t fill = kReadChunk - shift;
    std::string content;
    content.reserve(fill + (size - 5));
    while (content.size() < fill) {
        const std::size_t length = std::min(lineLength, fill - content.size());
        content.append(length - 1, 'x');
        content.push_back('\n');
    }
    content.append(reinterpret_cast<const char*>(data + 5), size - 5);
    return content;
}

} // namespace fuzzsupport
