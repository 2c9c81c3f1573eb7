#pragma once

#include <array>
#include <string>

namespace battsim {

// The values of one analysis, as the netlist carries them. The duration is
// held in hours; the netlist writer converts it to seconds.
struct AnalysisSettings
{
    static constexpr std::size_t kPointCount = 10;
    static constexpr std::size_t kTitleCapacity = 39;

    double constantCurrent = 0.0;                     // A
    std::array<double, kPointCount> pwlTime{};        // s
    std::array<double, kPointCount> pwlCurrent{};     // A
    double loadResistance = 0.0;                      // ohm
    double switchLevel = 0.0;                         // V: 1.0 connects the load resistor
    double initialVoltage = 0.0;                      // V
    double duration = 0.0;                            // h
    double timeStep = 0.0;                            // s
    std::string title;                                // at most kTitleCapacity characters

    void SetTitle(const std::string& text) { title = text.substr(0, kTitleCapacity); }

    // The values every accepted analysis stores: the battery's initial
    // voltage, the duration and time step, the title; the current sources
    // at zero, the switch open and the resistor at 1e-6 ohm. Each analysis
    // then sets what it drives.
    static AnalysisSettings Accepted(const std::string& title, double initialVoltage, double duration, double timeStep)
    {
        AnalysisSettings settings;
        settings.loadResistance = 0.000001;
        settings.initialVoltage = initialVoltage;
        settings.duration = duration;
        settings.timeStep = timeStep;
        settings.SetTitle(title);
        return settings;
    }

    bool operator==(const AnalysisSettings&) const = default;
};

} // namespace battsim
