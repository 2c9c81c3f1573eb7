#include "ResultReader.h"

#include "PieceSplitter.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace battsim {

namespace {

constexpr std::size_t kPieceLength = 78;
constexpr std::size_t kChunkSize = 1 << 20;
constexpr float kHoursPerSecond = 2.7777778e-4f;
constexpr std::size_t kBytesPerPoint = 32;
constexpr std::size_t kMostReserved = std::size_t{1} << 24;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsSpace(char c)
{
    // A blank, or one of \t \n \v \f \r, which are 9 to 13.
    return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// Eight bytes at once: a byte of the result is not zero where the byte is
// not an ASCII digit (a carry out of a byte above 0xF9 only reaches bytes
// after the first one that is not a digit).
inline std::uint64_t NonDigitBytes(std::uint64_t bytes)
{
    return ((bytes & 0xF0F0F0F0F0F0F0F0) | (((bytes + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4))
        ^ 0x3333333333333333;
}
#endif

// The end of the run of ASCII digits that [position, end) starts with.
inline const char* SkipDigits(const char* position, const char* end)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (end - position >= 8) {
        std::uint64_t bytes = 0;
        std::memcpy(&bytes, position, sizeof bytes);
        const std::uint64_t other = NonDigitBytes(bytes);
        if (other != 0)
            return position + (__builtin_ctzll(other) >> 3);
        position += 8;
    }
#endif
    while (position < end && IsDigit(*position))
        ++position;
    return position;
}

// Powers of ten that a float holds exactly.
constexpr float kExactPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 24;

// Parses one real of the plain decimal form [+-]digits[.digits][e[+-]digits]
// that ends at white space or at the end of the piece, into a normal float
// (or an exact zero). Anything else is left to scanf.
//
// When the digits, read as an integer, fit in a float's 24-bit significand
// and the power of ten is within 10 of 1, the value is that integer
// multiplied or divided by the power in one float operation, which rounds
// exactly as a correctly rounded conversion does (the simulator's
// "4.100000e+00" and "1.799998e+04" are all of this kind); other values go
// through from_chars.
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
    std::uint64_t mantissa = 0; // the first 19 digits as an integer
    int fractionDigits = 0;     // how many of them follow the point
    while (cursor < end && IsDigit(*cursor)) {
        nonZeroDigit |= *cursor != '0';
        if (digits < 19)
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*cursor - '0');
        ++cursor;
        ++digits;
    }
    if (cursor < end && *cursor == '.') {
        ++cursor;
        while (cursor < end && IsDigit(*cursor)) {
            nonZeroDigit |= *cursor != '0';
            if (digits < 19) {
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(*cursor - '0');
                ++fractionDigits;
            }
            ++cursor;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    int exponent = 0;
    bool exponentSmall = true;
    if (cursor < end && (*cursor == 'e' || *cursor == 'E')) {
        ++cursor;
        bool exponentNegative = false;
        if (cursor < end && (*cursor == '+' || *cursor == '-')) {
            exponentNegative = *cursor == '-';
            ++cursor;
        }
        const char* const exponentStart = cursor;
        while (cursor < end && IsDigit(*cursor)) {
            if (exponent < 10000)
                exponent = exponent * 10 + (*cursor - '0');
            else
                exponentSmall = false;
            ++cursor;
        }
        if (cursor == exponentStart)
            return false;
        if (exponentNegative)
            exponent = -exponent;
    }
    if (cursor < end && !IsSpace(*cursor))
        return false;

#if FLT_EVAL_METHOD == 0
    if (digits <= 19 && mantissa <= kExactMantissa && exponentSmall) {
        const int power = exponent - fractionDigits;
        if (power >= -10 && power <= 10) {
            const float integer = static_cast<float>(mantissa);
            const float parsed = power < 0 ? integer / kExactPowers[-power] : integer * kExactPowers[power];
            *value = negative ? -parsed : parsed;
            position = cursor;
            return true;
        }
    }
#endif

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

#if FLT_EVAL_METHOD == 0 && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__

// True when each of the eight bytes is an ASCII digit.
inline bool EightDigits(std::uint64_t bytes)
{
    return NonDigitBytes(bytes) == 0;
}

// The value of eight ASCII digits, the first one in the lowest byte.
inline std::uint32_t EightDigitsValue(std::uint64_t bytes)
{
    bytes -= 0x3030303030303030;
    bytes = bytes * 10 + (bytes >> 8);
    bytes = (((bytes & 0x000000FF000000FF) * 0x000F424000000064)
             + (((bytes >> 16) & 0x000000FF000000FF) * 0x0000271000000001)) >> 32;
    return static_cast<std::uint32_t>(bytes);
}

// The twelve bytes at `text` as the simulator prints a real without a
// sign, "d.dddddde+dd" (e or E, either exponent sign), with all the tests
// made at once: seven digits make an exact float significand, so the value
// is exact as in ParsePlainReal whenever the power of ten is within 10 of 1.
// False, with nothing stored, for anything else.
[[gnu::always_inline]] inline bool DecodeSimulatorReal(const char* text, float* value)
{
    std::uint64_t significand = 0;
    std::uint32_t exponentText = 0;
    std::memcpy(&significand, text, sizeof significand);
    std::memcpy(&exponentText, text + 8, sizeof exponentText);
    // All eight with the point read as a zero digit.
    const std::uint64_t digits = (significand & ~std::uint64_t{0xFF00}) | 0x3000;
    const unsigned marker = exponentText & 0xFF;
    const unsigned sign = (exponentText >> 8) & 0xFF;
    const unsigned tens = ((exponentText >> 16) & 0xFF) - '0';
    const unsigned ones = (exponentText >> 24) - '0';
    const int exponent = static_cast<int>(tens * 10 + ones);
    const int power = (sign == '-' ? -exponent : exponent) - 6;
    const bool shaped = (((significand >> 8) & 0xFF) == '.') & EightDigits(digits) & ((marker | 0x20) == 'e')
        & ((sign == '+') | (sign == '-')) & (tens <= 9) & (ones <= 9) & (power >= -10) & (power <= 10);
    if (!shaped)
        return false;
    // d0 0 d2..d7 read as eight digits is 10 d0 000000 + d2..d7.
    const std::uint32_t mantissa = EightDigitsValue(digits) - (static_cast<std::uint32_t>(significand & 0xFF) - '0') * 9000000u;
    const float integer = static_cast<float>(mantissa);
    *value = power < 0 ? integer / kExactPowers[-power] : integer * kExactPowers[power];
    return true;
}

// The form the simulator prints, with an optional sign and followed by
// white space or the end of the piece: one case of ParsePlainReal's, read
// twelve bytes at once. Returns false, having read nothing, for anything
// else.
[[gnu::always_inline]] inline bool ParseSimulatorReal(const char*& position, const char* end, float* value)
{
    const char* cursor = position;
    const bool negative = cursor < end && *cursor == '-';
    if (cursor < end && (*cursor == '+' || *cursor == '-'))
        ++cursor;
    if (end - cursor < 12 || (end - cursor > 12 && !IsSpace(cursor[12])))
        return false;
    float parsed = 0.0f;
    if (!DecodeSimulatorReal(cursor, &parsed))
        return false;
    *value = negative ? -parsed : parsed;
    position = cursor + 12;
    return true;
}

// The simulator's line as it prints it, "i\td.dddddde+dd\td.dddddde+dd"
// (the integer already passed at `position`) followed by white space or
// the end: both reals without a sign. False, with nothing stored, otherwise.
[[gnu::always_inline]] inline bool ParseSimulatorFields(const char* position, const char* end, float* seconds,
                                                        float* volts)
{
    if (end - position < 26 || position[0] != '\t' || position[13] != '\t' || (end - position > 26 && !IsSpace(position[26])))
        return false;
    float values[2];
    if (!DecodeSimulatorReal(position + 1, &values[0]) || !DecodeSimulatorReal(position + 14, &values[1]))
        return false;
    *seconds = values[0];
    *volts = values[1];
    return true;
}
#else
inline bool ParseSimulatorReal(const char*&, const char*, float*)
{
    return false;
}

inline bool ParseSimulatorFields(const char*, const char*, float*, float*)
{
    return false;
}
#endif

const char* SkipSpace(const char* position, const char* end)
{
    while (position < end && IsSpace(*position))
        ++position;
    return position;
}

// The ordinary piece: an unsigned integer right at the start, then two plain
// reals, each after optional white space and each ending at white space or
// at the end of the piece. A NUL byte never passes for part of it, so the
// fields are all before the first NUL, where sscanf sees them too.
[[gnu::always_inline]] inline bool ParseOrdinaryPiece(std::string_view piece, float* seconds, float* volts)
{
    const char* position = piece.data();
    const char* const end = position + piece.size();
    const char* const digitsStart = position;
    position = SkipDigits(position, end);
    if (position == digitsStart)
        return false;
    if (ParseSimulatorFields(position, end, seconds, volts))
        return true;
    position = SkipSpace(position, end);
    if (!ParseSimulatorReal(position, end, seconds) && !ParsePlainReal(position, end, seconds))
        return false;
    position = SkipSpace(position, end);
    if (!ParseSimulatorReal(position, end, volts) && !ParsePlainReal(position, end, volts))
        return false;
    return true;
}

locale_t CLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// A piece that is not of the ordinary form: what sscanf makes of it, read
// here where the forms allow it.
CDataPoint ParseUnusualPiece(std::string_view piece)
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

// The two steps every point goes through: the cut-off and the collection.
class CCollector final
{
public:
    CCollector(double minimumVoltage, CResultSeries* series)
        : m_dMinimum(minimumVoltage)
        , m_pSeries(series)
    {
    }

    [[gnu::always_inline]] void Piece(std::string_view piece)
    {
        if (piece.empty() || !IsDigit(piece.front()))
            return;
        float seconds = 0.0f;
        float volts = 0.0f;
        if (!ParseOrdinaryPiece(piece, &seconds, &volts)) {
            const CDataPoint point = ParseUnusualPiece(piece);
            if (point.conversions != 3)
                return;
            seconds = point.seconds;
            volts = point.volts;
        }
        if (m_pSeries->cutoffIndex) {
            volts = 0.0f;
        } else if (!(static_cast<double>(volts) >= m_dMinimum)) {
            m_pSeries->cutoffIndex = m_pSeries->volts.size();
        }
        m_pSeries->hours.push_back(SecondsToHours(seconds));
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
    CDataPoint ordinary;
    if (ParseOrdinaryPiece(piece, &ordinary.seconds, &ordinary.volts)) {
        ordinary.conversions = 3;
        return ordinary;
    }
    return ParseUnusualPiece(piece);
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

    // Room for a point every kBytesPerPoint bytes, as the simulator's lines
    // are about that long; the vectors still grow when the lines are shorter.
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        const std::size_t expected = std::min<std::size_t>(static_cast<std::size_t>(info.st_size) / kBytesPerPoint + 1,
                                                           kMostReserved);
        series.hours.reserve(expected);
        series.volts.reserve(expected);
    }

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
        const char* const data = chunk.data();
        const char* const end = data + got;
        // A line that opens a piece and ends in the chunk within a piece's
        // length is that one piece; all other bytes (a longer line, the rest
        // of a line begun in an earlier chunk, a line the chunk cuts) go
        // through the splitter. Only the first line can continue an earlier
        // one: a line fed to the splitter ends with its newline.
        bool atLineStart = splitter.AtLineStart();
        const char* const rest = ForEachLine(data, end, [&](const char* start, const char* lineEnd) {
            const std::size_t lineLength = static_cast<std::size_t>(lineEnd - start);
            if (lineLength > kPieceLength || !atLineStart) {
                atLineStart = true;
                return splitter.Feed(start, lineLength, sink);
            }
            collector.Piece(std::string_view(start, lineLength));
            return true;
        });
        if (rest != end)
            splitter.Feed(rest, static_cast<std::size_t>(end - rest), sink);
    }
    ::close(fd);
    // A last line without a newline is still a piece.
    if (splitter.PieceOpen())
        collector.Piece(partial);
    return series;
}

} // namespace battsim
