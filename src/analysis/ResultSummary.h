#pragma once

#include "AnalysisSettings.h"
#include "ResultReader.h"

#include <optional>
#include <string>

namespace battsim {

// The figures of a discharge up to the cut-off (or over the whole run when
// the cut-off is not reached).
struct CResultSummary
{
    std::optional<double> runtimeHours; // time of the first point below the minimum
    double chargeAh = 0.0;              // delivered charge, A h
    double energyWh = 0.0;              // delivered energy, W h
    double meanVolts = 0.0;             // time-weighted mean voltage
    std::size_t points = 0;
};

// The current the test circuit draws from the battery at `seconds` when the
// battery shows `volts`: the ramped constant source, the ten-point profile
// (held flat before the first and after the last point) and, with the
// switch closed, the load resistor.
double CircuitCurrent(const AnalysisSettings& settings, double seconds, double volts);

CResultSummary Summarize(const CResultSeries& series, const AnalysisSettings& settings);

// "1.23 mA", "850 mAh", "3.42 V", "12.5 kΩ" style: three significant digits
// with an SI prefix; the decimal point never depends on the locale.
std::string FormatEngineering(double value, const std::string& unit);

// "1 h 58 min" (rounded to the minute), "45 min", "12.3 s" below a minute.
std::string FormatRuntime(double hours);

} // namespace battsim
