#include "ResultSummary.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "NumberText.h"

namespace battsim {

namespace {

double ProfileCurrent(const AnalysisSettings& settings, double seconds)
{
    const auto& times = settings.pwlTime;
    const auto& currents = settings.pwlCurrent;
    const std::size_t count = AnalysisSettings::kPointCount;
    if (seconds <= times[0])
        return currents[0];
    for (std::size_t k = 1; k < count; ++k) {
        if (seconds < times[k]) {
            const double span = times[k] - times[k - 1];
            if (span <= 0.0)
                return currents[k];
            const double fraction = (seconds - times[k - 1]) / span;
            return currents[k - 1] + fraction * (currents[k] - currents[k - 1]);
        }
    }
    return currents[count - 1];
}

} // namespace

double CircuitCurrent(const AnalysisSettings& settings, double seconds, double volts)
{
    const double ramp = std::clamp(seconds, 0.0, 1.0);
    double current = settings.constantCurrent * ramp + ProfileCurrent(settings, seconds);
    if (settings.switchLevel >= 0.5 && settings.loadResistance > 0.0)
        current += volts / settings.loadResistance;
    return current;
}

CResultSummary Summarize(const CResultSeries& series, const AnalysisSettings& settings)
{
    CResultSummary summary;
    const std::size_t size = series.Size();
    summary.points = size;
    if (series.cutoffIndex)
        summary.runtimeHours = series.hours[*series.cutoffIndex];
    if (size == 0)
        return summary;
    const std::size_t last = series.cutoffIndex ? *series.cutoffIndex : size - 1;

    // Where the circuit's current has a corner: the end of the ramp and the
    // profile's points. Between corners and samples the voltage is taken as
    // linear, so current and power are at most quadratic: Simpson is exact.
    std::vector<double> corners(settings.pwlTime.begin(), settings.pwlTime.end());
    corners.push_back(1.0);
    std::sort(corners.begin(), corners.end());

    double chargeAs = 0.0;
    double energyWs = 0.0;
    double voltSeconds = 0.0;
    for (std::size_t i = 1; i <= last; ++i) {
        const double t0 = series.hours[i - 1] * 3600.0;
        const double t1 = series.hours[i] * 3600.0;
        const double v0 = series.volts[i - 1];
        const double v1 = series.volts[i];
        if (!(t1 > t0) || !std::isfinite(v0) || !std::isfinite(v1))
            continue;
        const auto voltsAt = [&](double t) { return v0 + (v1 - v0) * (t - t0) / (t1 - t0); };
        double start = t0;
        auto corner = std::upper_bound(corners.begin(), corners.end(), t0);
        while (start < t1) {
            const double end = (corner != corners.end() && *corner < t1) ? *corner++ : t1;
            const double middle = 0.5 * (start + end);
            const double vs = voltsAt(start);
            const double vm = voltsAt(middle);
            const double ve = voltsAt(end);
            const double is = CircuitCurrent(settings, start, vs);
            const double im = CircuitCurrent(settings, middle, vm);
            const double ie = CircuitCurrent(settings, end, ve);
            const double width = end - start;
            chargeAs += width / 6.0 * (is + 4.0 * im + ie);
            energyWs += width / 6.0 * (vs * is + 4.0 * vm * im + ve * ie);
            voltSeconds += width * vm;
            start = end;
        }
    }
    summary.chargeAh = chargeAs / 3600.0;
    summary.energyWh = energyWs / 3600.0;
    const double span = (series.hours[last] - series.hours[0]) * 3600.0;
    summary.meanVolts = span > 0.0 ? voltSeconds / span : series.volts[0];
    return summary;
}

std::string FormatEngineering(double value, const std::string& unit)
{
    if (!std::isfinite(value))
        return FormatG15(value) + " " + unit;
    static constexpr std::array<const char*, 9> kPrefixes{"p", "n", "µ", "m", "", "k", "M", "G", "T"};
    int exponent = 0;
    if (value != 0.0)
        exponent = static_cast<int>(std::floor(std::log10(std::fabs(value)) / 3.0));
    exponent = std::clamp(exponent, -4, 4);
    double scaled = value / std::pow(1000.0, exponent);
    const auto digitsAfterPoint = [](double magnitude) { return magnitude >= 100.0 ? 0 : magnitude >= 10.0 ? 1 : 2; };
    std::string text = FormatFixed(scaled, digitsAfterPoint(std::fabs(scaled)));
    // Too small to show even with the smallest prefix: nothing, not "0.00 p".
    if (StrtodC(text.c_str(), nullptr) == 0.0)
        return FormatFixed(0.0, 2) + " " + unit;
    // Rounding to three digits may carry into the next prefix (999.7 -> 1000).
    if (std::fabs(StrtodC(text.c_str(), nullptr)) >= 1000.0 && exponent < 4) {
        ++exponent;
        scaled = value / std::pow(1000.0, exponent);
        text = FormatFixed(scaled, digitsAfterPoint(std::fabs(scaled)));
    }
    return text + " " + kPrefixes[static_cast<std::size_t>(exponent + 4)] + unit;
}

std::string FormatRuntime(double hours)
{
    const double seconds = hours * 3600.0;
    if (seconds < 59.95)
        return FormatFixed(seconds, 1) + " s";
    const long long minutes = std::llround(seconds / 60.0);
    const long long wholeHours = minutes / 60;
    const long long restMinutes = minutes % 60;
    if (wholeHours == 0)
        return std::to_string(restMinutes) + " min";
    return std::to_string(wholeHours) + " h " + std::to_string(restMinutes) + " min";
}

} // namespace battsim
