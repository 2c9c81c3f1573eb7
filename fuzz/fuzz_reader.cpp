// Fuzzes the result reader: the fast piece parser against sscanf, and the
// file reader against the plain C loop it stands in for:
//
//     while (fgets(buffer, 79, file))
//         if (isdigit(buffer[0]) && sscanf(buffer, " %d %e %e", &i, &t, &v) == 3)
//             add the point (t * 2.7777778e-4f hours, v volts)
//
// with the cut-off: after the first voltage that is not >= the minimum, every
// later voltage is 0 (that point keeps its own value).
//
// Input: the file (an input opening with B1 1B is first expanded into a file
// larger than the reader's read chunk, see FuzzSupport.h).
//
// Properties checked on every input:
//  1. ParseDataPiece(p) == sscanf(p, " %d %e %e") in the C locale, for the
//     whole input and for every fgets piece of the file (of a large file's
//     filler, only the pieces opening with a digit): the same number of
//     conversions and the same two floats bit for bit (or both NaN), read
//     only where a conversion stored them.
//  2. ParseDataPieceWithScanf gives the same as that sscanf call.
//  3. ReadResultFile(file, minimum) gives the loop's points, hours and volts
//     bit for bit (or both NaN), and the same cut-off index. The minimum is
//     one of 3.0, -inf, 0, +inf, NaN, one of the file's own voltages, or the
//     next double above it, picked by the input's size.

#include "FuzzSupport.h"
#include "ResultReader.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool SameFloat(float a, float b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

battsim::CDataPoint ScanPiece(std::string_view piece)
{
    // sscanf reads up to the first NUL, as it would on an fgets buffer.
    const std::string text(piece);
    battsim::CDataPoint point;
    int index = 0;
    const int converted = std::sscanf(text.c_str(), " %d %e %e", &index, &point.seconds, &point.volts);
    point.conversions = converted < 0 ? 0 : converted;
    return point;
}

void CheckPiece(std::string_view piece)
{
    const battsim::CDataPoint expected = ScanPiece(piece);
    const battsim::CDataPoint fast = battsim::ParseDataPiece(piece);
    const battsim::CDataPoint slow = battsim::ParseDataPieceWithScanf(piece);
    for (const battsim::CDataPoint* got : {&fast, &slow}) {
        const char* which = got == &fast ? "ParseDataPiece" : "ParseDataPieceWithScanf";
        FUZZ_CHECK(got->conversions == expected.conversions, "%s: %d conversions, sscanf made %d", which,
                   got->conversions, expected.conversions);
        if (expected.conversions >= 2)
            FUZZ_CHECK(SameFloat(got->seconds, expected.seconds), "%s: time %a, sscanf read %a", which,
                       static_cast<double>(got->seconds), static_cast<double>(expected.seconds));
        if (expected.conversions >= 3)
            FUZZ_CHECK(SameFloat(got->volts, expected.volts), "%s: voltage %a, sscanf read %a", which,
                       static_cast<double>(got->volts), static_cast<double>(expected.volts));
    }
}

struct Point
{
    float seconds;
    float volts;
};

// The points of the file, as the plain loop collects them, before the
// cut-off. Every fgets piece also goes through CheckPiece, except for the
// filler of a large file, where only pieces opening with a digit do.
std::vector<Point> ReadWithStdio(const std::string& path, std::string_view content, bool large)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        fuzzsupport::Fatal("cannot open", path);
    std::vector<Point> points;
    char buffer[79];
    std::size_t at = 0; // where the piece starts in the file
    while (std::fgets(buffer, sizeof buffer, file)) {
        // fgets does not tell how long the piece was when it holds a NUL;
        // the file's own bytes do, and the piece is checked against them.
        const std::size_t length = fuzzsupport::PieceLength(content, at, sizeof buffer - 1);
        FUZZ_CHECK(length > 0 && std::memcmp(buffer, content.data() + at, length) == 0 && buffer[length] == '\0',
                   "fgets and the file disagree at byte %zu", at);
        const std::string_view piece(buffer, length);
        at += length;
        if (!large || IsDigit(buffer[0]))
            CheckPiece(piece);
        if (!IsDigit(buffer[0]))
            continue;
        int index = 0;
        Point point{};
        if (std::sscanf(buffer, " %d %e %e", &index, &point.seconds, &point.volts) == 3)
            points.push_back(point);
    }
    FUZZ_CHECK(!std::ferror(file));
    FUZZ_CHECK(at == content.size(), "fgets stopped at byte %zu of %zu", at, content.size());
    std::fclose(file);
    return points;
}

void CheckFile(const std::string& path, const std::vector<Point>& points, double minimum)
{
    std::optional<std::size_t> cutoff;
    std::vector<float> hours;
    std::vector<float> volts;
    for (const Point& point : points) {
        float voltage = point.volts;
        if (cutoff)
            voltage = 0.0f;
        else if (!(static_cast<double>(voltage) >= minimum))
            cutoff = volts.size();
        hours.push_back(point.seconds * 2.7777778e-4f);
        volts.push_back(voltage);
    }

    const battsim::CResultSeries series = battsim::ReadResultFile(path, minimum);
    FUZZ_CHECK(series.hours.size() == points.size() && series.volts.size() == points.size(),
               "%zu/%zu points read, %zu expected", series.hours.size(), series.volts.size(), points.size());
    FUZZ_CHECK(series.cutoffIndex == cutoff, "minimum %a: cut-off at %zd, expected %zd", minimum,
               series.cutoffIndex ? static_cast<std::ptrdiff_t>(*series.cutoffIndex) : -1,
               cutoff ? static_cast<std::ptrdiff_t>(*cutoff) : -1);
    for (std::size_t i = 0; i < points.size(); ++i) {
        FUZZ_CHECK(SameFloat(series.hours[i], hours[i]), "point %zu: %a h, expected %a", i,
                   static_cast<double>(series.hours[i]), static_cast<double>(hours[i]));
        FUZZ_CHECK(SameFloat(series.volts[i], volts[i]), "minimum %a, point %zu: %a V, expected %a", minimum, i,
                   static_cast<double>(series.volts[i]), static_cast<double>(volts[i]));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckPiece(std::string_view(reinterpret_cast<const char*>(data), size));

    const std::string content = fuzzsupport::FileContent(data, size);
    const std::string path = fuzzsupport::ScratchPath("input");
    fuzzsupport::WriteWholeFile(path, content);
    const std::vector<Point> points = ReadWithStdio(path, content, content.size() != size);

    // One minimum per input (the reader's 1 MiB buffer makes each read cost
    // more than the rest of the run), picked by the input's size so that a
    // saved input replays the same way.
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    double minimum = 3.0;
    switch (size % 7) {
    case 1: minimum = -kInfinity; break;
    case 2: minimum = 0.0; break;
    case 3: minimum = kInfinity; break;
    case 4: minimum = std::numeric_limits<double>::quiet_NaN(); break;
    case 5:
    case 6:
        if (!points.empty()) {
            minimum = static_cast<double>(points[(size / 7) % points.size()].volts);
            if (size % 7 == 6)
                minimum = std::nextafter(minimum, kInfinity);
        }
        break;
    default: break;
    }
    CheckFile(path, points, minimum);
    return 0;
}
