#include "ListingFilter.h"

#include "PieceSplitter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace battsim {

namespace {

constexpr std::size_t kPieceLength = 254;
constexpr std::size_t kChunkSize = 1 << 20;
constexpr std::string_view kRowsMarker = "No. of Data Rows :";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Buffers output and writes it in large blocks.
class COutput final
{
public:
    explicit COutput(int fd) : m_fd(fd) { m_buffer.reserve(kChunkSize * 2); }

    bool Append(const char* data, std::size_t length)
    {
        m_buffer.append(data, length);
        return m_buffer.size() < kChunkSize || Flush();
    }

    bool Flush()
    {
        const char* data = m_buffer.data();
        std::size_t left = m_buffer.size();
        while (left > 0) {
            const ssize_t written = ::write(m_fd, data, left);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                m_errno = errno;
                return false;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        m_buffer.clear();
        return true;
    }

    int Errno() const { return m_errno; }

private:
    int m_fd;
    int m_errno = 0;
    std::string m_buffer;
};

// Tracks the line being scanned for the row count marker.
class CRowsMarkerScan final
{
public:
    void Feed(std::string_view piece, bool lineStart, std::optional<std::uint64_t>* rows)
    {
        if (lineStart)
            m_line.clear();
        if (m_line.size() < 128)
            m_line.append(piece.substr(0, 128 - m_line.size()));
        if (!piece.empty() && piece.back() == '\n')
            Check(rows);
    }

    void Finish(std::optional<std::uint64_t>* rows) { Check(rows); }

private:
    void Check(std::optional<std::uint64_t>* rows)
    {
        std::string_view line = m_line;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.substr(0, kRowsMarker.size()) == kRowsMarker) {
            line.remove_prefix(kRowsMarker.size());
            while (!line.empty() && line.front() == ' ')
                line.remove_prefix(1);
            std::uint64_t value = 0;
            bool any = false;
            while (!line.empty() && IsDigit(line.front())) {
                value = value * 10 + static_cast<std::uint64_t>(line.front() - '0');
                line.remove_prefix(1);
                any = true;
            }
            if (any)
                *rows = value;
        }
        m_line.clear();
    }

    std::string m_line;
};

} // namespace

bool FilterListing(const std::string& listingPath, const std::string& outputPath,
                   ListingStats* stats, std::string* error)
{
    ListingStats local;
    ListingStats& result = stats ? *stats : local;
    result = ListingStats{};

    const int in = ::open(listingPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (error)
            *error = "cannot open the listing " + listingPath + ": " + std::strerror(errno);
        return false;
    }
    const int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        if (error)
            *error = "cannot open the output file " + outputPath + ": " + std::strerror(errno);
        ::close(in);
        return false;
    }

    COutput output(out);
    CRowsMarkerScan marker;
    CPieceSplitter splitter(kPieceLength);
    std::vector<char> chunk(kChunkSize);
    bool keepPiece = false;  // the current piece starts with a digit
    bool pastNul = false;    // a NUL byte ended what fputs writes of this piece
    bool lineIsData = false; // the current line starts with a digit
    bool ok = true;
    int readErrno = 0;

    const auto sink = [&](const CPieceSplitter::Run& run) {
        if (run.pieceStart) {
            keepPiece = IsDigit(run.data[0]);
            pastNul = false;
            if (run.lineStart) {
                lineIsData = keepPiece;
                if (lineIsData)
                    ++result.dataLines;
            }
        }
        if (keepPiece && !pastNul) {
            const char* nul = static_cast<const char*>(std::memchr(run.data, '\0', run.length));
            const std::size_t keep = nul ? static_cast<std::size_t>(nul - run.data) : run.length;
            pastNul = nul != nullptr;
            if (keep > 0 && !output.Append(run.data, keep))
                return false;
        }
        if (!lineIsData)
            marker.Feed(std::string_view(run.data, run.length), run.pieceStart && run.lineStart, &result.declaredRows);
        return true;
    };

    for (;;) {
        const ssize_t got = ::read(in, chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            readErrno = errno;
            ok = false;
            break;
        }
        if (got == 0)
            break;
        result.bytesRead += static_cast<std::uint64_t>(got);
        if (!splitter.Feed(chunk.data(), static_cast<std::size_t>(got), sink)) {
            ok = false;
            break;
        }
    }
    marker.Finish(&result.declaredRows);

    if (ok && !output.Flush())
        ok = false;
    const int writeErrno = output.Errno();
    if (::close(out) != 0 && ok) {
        ok = false;
    }
    ::close(in);
    if (!ok && error) {
        if (readErrno != 0)
            *error = "cannot read the listing " + listingPath + ": " + std::strerror(readErrno);
        else
            *error = "cannot write the output file " + outputPath + ": " + std::strerror(writeErrno != 0 ? writeErrno : errno);
    }
    return ok;
}

} // namespace battsim
