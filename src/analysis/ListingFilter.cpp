#include "ListingFilter.h"

#include "AtomicFile.h"
#include "PieceSplitter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
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

// Buffers output and writes it in large blocks to the descriptor it is
// given once the file is open.
class COutput final
{
public:
    COutput() { m_buffer.reserve(kChunkSize * 2); }

    void SetDescriptor(int fd) { m_fd = fd; }

    bool Append(const char* data, std::size_t length)
    {
        m_buffer.append(data, length);
        return m_buffer.size() < kChunkSize || Flush();
    }

    bool Flush()
    {
        std::size_t written = 0;
        const bool ok = WriteAll(m_fd, m_buffer, &m_errno, &written);
        m_nWritten += written;
        if (ok)
            m_buffer.clear();
        return ok;
    }

    int Errno() const { return m_errno; }
    std::size_t Buffered() const { return m_buffer.size(); }
    std::uint64_t Written() const { return m_nWritten; }

private:
    int m_fd = -1;
    int m_errno = 0;
    std::uint64_t m_nWritten = 0;
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

    // A whole line, newline included, that opens at a piece boundary and
    // fits in one piece: what Feed(line, true, rows) does, without a copy.
    void WholeLine(std::string_view line, std::optional<std::uint64_t>* rows)
    {
        m_line.clear();
        Match(line.substr(0, 128), rows);
    }

    void Finish(std::optional<std::uint64_t>* rows) { Check(rows); }

private:
    void Check(std::optional<std::uint64_t>* rows)
    {
        Match(m_line, rows);
        m_line.clear();
    }

    static void Match(std::string_view line, std::optional<std::uint64_t>* rows)
    {
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
    }

    std::string m_line;
};

// Takes a chunk without NUL bytes line by line. A line that opens at a
// piece boundary, ends in the chunk and fits in one piece is that one piece:
// a data line is copied (runs of consecutive data lines in one copy), any
// other line goes to the row count scan. Every other byte (a line longer
// than a piece, the rest of a line begun in an earlier chunk, a line the
// chunk cuts) goes through the splitter to `sink`, as all bytes would.
template <class Sink>
bool FeedLines(const char* data, std::size_t length, CPieceSplitter& splitter, Sink& sink, COutput& output,
               CRowsMarkerScan& marker, ListingStats& result)
{
    const char* const end = data + length;
    const char* copyStart = data; // the data lines not yet copied: [copyStart, copyEnd)
    const char* copyEnd = data;
    const auto copyPending = [&](const char* next) {
        const bool copied = copyEnd == copyStart || output.Append(copyStart, static_cast<std::size_t>(copyEnd - copyStart));
        copyStart = copyEnd = next;
        return copied;
    };
    // Only the first line can continue one begun in an earlier chunk: a
    // line fed to the splitter ends with its newline, so the next one opens
    // a piece and a line.
    bool atLineStart = splitter.AtLineStart();
    std::uint64_t dataLines = 0;
    const char* const rest = ForEachLine(data, end, [&](const char* start, const char* lineEnd) {
        const std::size_t lineLength = static_cast<std::size_t>(lineEnd - start);
        if (lineLength > kPieceLength || !atLineStart) {
            atLineStart = true;
            result.dataLines += dataLines;
            dataLines = 0;
            return copyPending(lineEnd) && splitter.Feed(start, lineLength, sink);
        }
        if (IsDigit(*start)) {
            ++dataLines;
            if (copyEnd != start && !copyPending(start))
                return false;
            copyEnd = lineEnd;
            // The output is written after the same line as when the lines
            // are appended one by one.
            if (output.Buffered() + static_cast<std::size_t>(copyEnd - copyStart) >= kChunkSize)
                return copyPending(lineEnd);
            return true;
        }
        marker.WholeLine(std::string_view(start, lineLength), &result.declaredRows);
        return true;
    });
    result.dataLines += dataLines;
    if (!rest)
        return false;
    return copyPending(end) && (rest == end || splitter.Feed(rest, static_cast<std::size_t>(end - rest), sink));
}

// Opens the output file for writing without truncating it; -1 with a reason
// when it cannot be opened, or when it is the listing itself (the run
// deletes the listing, so its data would be gone).
int OpenOutput(const std::string& outputPath, int listingFd, bool* regular, std::string* error)
{
    const int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (out < 0) {
        if (error)
            *error = "cannot open the output file " + outputPath + ": " + std::strerror(errno);
        return -1;
    }
    struct stat outputInfo {};
    struct stat listingInfo {};
    if (::fstat(out, &outputInfo) != 0 || ::fstat(listingFd, &listingInfo) != 0) {
        if (error)
            *error = "cannot open the output file " + outputPath + ": " + std::strerror(errno);
        ::close(out);
        return -1;
    }
    if (outputInfo.st_dev == listingInfo.st_dev && outputInfo.st_ino == listingInfo.st_ino) {
        if (error)
            *error = "the output file " + outputPath + " is the simulator's listing";
        ::close(out);
        return -1;
    }
    *regular = S_ISREG(outputInfo.st_mode);
    return out;
}

bool CutToLength(int fd, std::uint64_t length)
{
    while (::ftruncate(fd, static_cast<off_t>(length)) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

bool FilterListing(const std::string& listingPath, const std::string& outputPath,
                   ListingStats* stats, std::string* error)
{
    ListingStats local;
    ListingStats& result = stats ? *stats : local;
    result = ListingStats{};
    COutput output;
    std::vector<char> chunk(kChunkSize);

    const int in = ::open(listingPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (error)
            *error = "cannot open the listing " + listingPath + ": " + std::strerror(errno);
        return false;
    }
    // An existing output file is overwritten in place and cut to the length
    // written at the end rather than truncated on opening: the pages and
    // blocks of the previous output are reused instead of freed and
    // allocated again, which costs more than the filtering itself for a
    // listing of many megabytes. Once the filter returns, the file holds what
    // was written, as if it had been truncated first; only a process killed
    // while it writes leaves the previous output's tail behind the new lines.
    bool regularOutput = false;
    const int out = OpenOutput(outputPath, in, &regularOutput, error);
    if (out < 0) {
        ::close(in);
        return false;
    }
    output.SetDescriptor(out);

    CRowsMarkerScan marker;
    CPieceSplitter splitter(kPieceLength);
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
        const std::size_t length = static_cast<std::size_t>(got);
        // A chunk without NUL bytes goes line by line, one with any through
        // the pieces only.
        const bool fed = std::memchr(chunk.data(), '\0', length) == nullptr
            ? FeedLines(chunk.data(), length, splitter, sink, output, marker, result)
            : splitter.Feed(chunk.data(), length, sink);
        if (!fed) {
            ok = false;
            break;
        }
    }
    marker.Finish(&result.declaredRows);

    if (ok && !output.Flush())
        ok = false;
    const bool cut = !regularOutput || CutToLength(out, output.Written());
    const int cutErrno = cut ? 0 : errno;
    const bool closed = ::close(out) == 0;
    const int closeErrno = closed ? 0 : errno;
    ::close(in);
    if (ok && cut && closed)
        return true;
    if (error) {
        if (readErrno != 0)
            *error = "cannot read the listing " + listingPath + ": " + std::strerror(readErrno);
        else if (!ok)
            *error = "cannot write the output file " + outputPath + ": " + std::strerror(output.Errno());
        else if (!cut)
            *error = "cannot cut the output file " + outputPath + " to its length: " + std::strerror(cutErrno);
        else
            *error = "cannot write the output file " + outputPath + ": " + std::strerror(closeErrno);
    }
    return false;
}

} // namespace battsim
