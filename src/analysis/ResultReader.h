#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace battsim {

// The plotted curve of one run: times in hours and voltages in volts, with
// every voltage after the first one below the minimum set to 0.
struct CResultSeries
{
    std::vector<float> hours;
    std::vector<float> volts;
    std::optional<std::size_t> cutoffIndex; // the first point below the minimum, which keeps its value

    std::size_t Size() const { return hours.size(); }
};

// One data piece converted as " %d %e %e" converts it: the number of
// conversions made (0 to 3) and the two reals.
struct CDataPoint
{
    int conversions = 0;
    float seconds = 0.0f;
    float volts = 0.0f;
};

// Converts a piece exactly as sscanf(piece, " %d %e %e", ...) does in the C
// locale, with a fast path for the ordinary number forms.
CDataPoint ParseDataPiece(std::string_view piece);

// The same conversion always done by sscanf: the reference for the fast path.
CDataPoint ParseDataPieceWithScanf(std::string_view piece);

// Seconds to hours as the single-precision product with 2.7777778e-4f.
float SecondsToHours(float seconds);

// Reads an output file: pieces as fgets with a count of 79 yields them; each
// piece starting with a digit that converts to three numbers is a point (one
// that does not is skipped); the voltages are cut off after the first one
// that is not at least `minimumVoltage`, the times converted to hours. A file
// that cannot be opened gives no point.
CResultSeries ReadResultFile(const std::string& path, double minimumVoltage);

} // namespace battsim
