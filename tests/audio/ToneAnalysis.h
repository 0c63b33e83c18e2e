// Measures a recorded tone: its frequency from zero crossings, its level, and whether it has
// gaps (runs of silence or jumps no sine of that frequency and level can make).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

namespace mirvo::audio::test {

struct ToneReport {
    double frequency = 0.0;
    double rms = 0.0;
    // Longest run of samples that are all near zero.
    size_t longestSilence = 0;
    // Largest step between neighbouring samples, relative to the largest a clean sine makes.
    double worstStepRatio = 0.0;
};

inline ToneReport analyseTone(const std::vector<float>& samples, double sampleRate, double expectedFrequency,
                              double expectedAmplitude)
{
    ToneReport report;
    if (samples.size() < 2)
        return report;

    double firstCrossing = -1.0;
    double lastCrossing = -1.0;
    size_t crossings = 0;
    double sumSquares = 0.0;
    size_t silentRun = 0;
    double worstStep = 0.0;
    constexpr float kSilence = 1e-4f;
    for (size_t i = 0; i < samples.size(); ++i) {
        sumSquares += double(samples[i]) * samples[i];
        silentRun = std::fabs(samples[i]) < kSilence ? silentRun + 1 : 0;
        report.longestSilence = std::max(report.longestSilence, silentRun);
        if (i == 0)
            continue;
        worstStep = std::max(worstStep, double(std::fabs(samples[i] - samples[i - 1])));
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
            // Linear interpolation between the two samples places the crossing within the frame.
            const double where = double(i - 1) + samples[i - 1] / double(samples[i - 1] - samples[i]);
            if (firstCrossing < 0.0)
                firstCrossing = where;
            lastCrossing = where;
            ++crossings;
        }
    }
    if (crossings >= 2)
        report.frequency = double(crossings - 1) * sampleRate / (lastCrossing - firstCrossing);
    report.rms = std::sqrt(sumSquares / double(samples.size()));
    const double cleanStep = 2.0 * std::numbers::pi * expectedFrequency / sampleRate * expectedAmplitude;
    report.worstStepRatio = worstStep / cleanStep;
    return report;
}

inline double levelDifferenceDb(double rms, double amplitude)
{
    return 20.0 * std::log10(rms / (amplitude / std::numbers::sqrt2));
}

} // namespace mirvo::audio::test
