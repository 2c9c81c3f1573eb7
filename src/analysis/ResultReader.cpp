#include "ResultReader.h"

#include "PieceSplitter.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

namespace battsim {

namespace {

constexpr std::size_t kPieceLength = 78;
constexpr std::size_t kChunkSize = 1 << 20;
constexpr float kHoursPerSecond = 2.7777778e-4f;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Parses one real of the plain decimal form [+-]digits[.digits][e[+-]digits]
// that ends at white space or at the end of the piece, into a normal float
// (or an exact zero). Anything else is left to scanf.
bool ParsePlainReal(const char*& position, const char* end, float* value)
{
    const char* cursor = position;
    bool negative = false;
    if (cursor < end && (*cursor == '+' || *cursor == '-')) {
        negative = *cursor == '-';
        ++cursor;
    }
    const char* const numberStart = cursor;
    std::size_t digits = 0;
    bool nonZeroDigit = false;
    while (cursor < end && IsDigit(*cursor)) {
        nonZeroDigit |= *cursor != '0';
        ++cursor;
        ++digits;
    }
    if (cursor < end && *cursor == '.') {
        ++cursor;
        while (cursor < end && IsDigit(*cursor)) {
            nonZeroDigit |= *cursor != '0';
            ++cursor;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (cursor < end && (*cursor == 'e' || *cursor == 'E')) {
        ++cursor;
        if (cursor < end && (*cursor == '+' || *cursor == '-'))
            ++cursor;
        const char* const exponentStart = cursor;
        while (cursor < end && IsDigit(*cursor))
            ++cursor;
        if (cursor == exponentStart)
            return false;
    }
    if (cursor < end && !IsSpace(*cursor))
        return false;

    float parsed = 0.0f;
    const auto result = std::from_chars(numberStart, cursor, parsed, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != cursor)
        return false;
    if (nonZeroDigit ? !std::isnormal(parsed) : parsed != 0.0f)
        return false;
    *value = negative ? -parsed : parsed;
    position = cursor;
    return true;
}

const char* SkipSpace(const char* position, const char* end)
{
    while (position < end && IsSpace(*position))
        ++position;
    return position;
}

locale_t CLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// The two steps every point goes through: the cut-off and the collection.
class CCollector final
{
public:
    CCollector(double minimumVoltage, CResultSeries* series)
        : m_dMinimum(minimumVoltage)
        , m_pSeries(series)
    {
    }

    void Piece(std::string_view piece)
    {
        if (piece.empty() || !IsDigit(piece.front()))
            return;
        const CDataPoint point = ParseDataPiece(piece);
        if (point.conversions != 3)
            return;
        float volts = point.volts;
        if (m_pSeries->cutoffIndex) {
            volts = 0.0f;
        } else if (!(static_cast<double>(volts) >= m_dMinimum)) {
            m_pSeries->cutoffIndex = m_pSeries->volts.size();
        }
        m_pSeries->hours.push_back(point.seconds);
        m_pSeries->volts.push_back(volts);
    }

private:
    double m_dMinimum;
    CResultSeries* m_pSeries;
};

} // namespace

CDataPoint ParseDataPieceWithScanf(std::string_view piece)
{
    // The C library stops at a NUL byte, as it does on the piece fgets returned.
    const std::string buffer(piece);
    int ignored = 0;
    CDataPoint point;
    const locale_t previous = uselocale(CLocale());
    const int converted = std::sscanf(buffer.c_str(), " %d %e %e", &ignored, &point.seconds, &point.volts);
    uselocale(previous);
    point.conversions = converted < 0 ? 0 : converted;
    return point;
}

CDataPoint ParseDataPiece(std::string_view piece)
{
    const char* position = piece.data();
    const char* const end = position + piece.size();
    if (std::memchr(position, '\0', piece.size()) != nullptr)
        return ParseDataPieceWithScanf(piece);

    position = SkipSpace(position, end);
    const char* const integerStart = position;
    if (position < end && (*position == '+' || *position == '-'))
        ++position;
    const char* const digitsStart = position;
    while (position < end && IsDigit(*position))
        ++position;
    if (position == digitsStart || integerStart != piece.data())
        return ParseDataPieceWithScanf(piece);

    CDataPoint point;
    position = SkipSpace(position, end);
    if (!ParsePlainReal(position, end, &point.seconds))
        return ParseDataPieceWithScanf(piece);
    position = SkipSpace(position, end);
    if (!ParsePlainReal(position, end, &point.volts))
        return ParseDataPieceWithScanf(piece);
    point.conversions = 3;
    return point;
}

float SecondsToHours(float seconds)
{
    return seconds * kHoursPerSecond;
}

CResultSeries ReadResultFile(const std::string& path, double minimumVoltage)
{
    CResultSeries series;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return series;

    CCollector collector(minimumVoltage, &series);
    CPieceSplitter splitter(kPieceLength);
    std::string partial; // a piece cut by the end of a chunk
    std::vector<char> chunk(kChunkSize);
    const auto sink = [&](const CPieceSplitter::Run& run) {
        if (run.pieceStart && run.pieceEnd) {
            collector.Piece(std::string_view(run.data, run.length));
            return true;
        }
        if (run.pieceStart)
            partial.clear();
        partial.append(run.data, run.length);
        if (run.pieceEnd)
            collector.Piece(partial);
        return true;
    };

    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (got == 0)
            break;
        splitter.Feed(chunk.data(), static_cast<std::size_t>(got), sink);
    }
    ::close(fd);
    // A last line without a newline is still a piece.
    if (splitter.PieceOpen())
        collector.Piece(partial);
    for (float& time : series.hours)
        time = SecondsToHours(time);
    return series;
}

} // namespace battsim
