// Measures a recorded tone: its frequency from zero crossings, its level, and whether it has
// gaps (runs of silence or jumps no sine of that frequency and level can make).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

namespace mirvo::audio::test {

// The tone the playback tests send through a device, and how closely the recording must match.
constexpr double kToneFrequency = 1000.0;
constexpr double kToneAmplitude = 0.5;
constexpr double kFrequencyTolerance = 1.0;
constexpr double kLevelToleranceDb = 1.0;

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
    if (samples.size() < 2) {
        return report;
    }

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
        if (i == 0) {
            continue;
        }
        worstStep = std::max(worstStep, double(std::fabs(samples[i] - samples[i - 1])));
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
            // Linear interpolation between the two samples places the crossing within the frame.
            const double where = double(i - 1) + samples[i - 1] / double(samples[i - 1] - samples[i]);
            if (firstCrossing < 0.0) {
                firstCrossing = where;
            }
            lastCrossing = where;
            ++crossings;
        }
    }
    if (crossings >= 2) {
        report.frequency = double(crossings - 1) * sampleRate / (lastCrossing - firstCrossing);
    }
    report.rms = std::sqrt(sumSquares / double(samples.size()));
    const double cleanStep = 2.0 * std::numbers::pi * expectedFrequency / sampleRate * expectedAmplitude;
    report.worstStepRatio = worstStep / cleanStep;
    return report;
}

// Frequency and level as the medians over windows of `window` samples, so that a few late or
// dropped blocks move the answer little.
inline ToneReport analyseToneByWindows(const std::vector<float>& samples, double sampleRate,
                                       double expectedFrequency, double expectedAmplitude, size_t window)
{
    std::vector<double> frequencies;
    std::vector<double> levels;
    for (size_t start = 0; start + window <= samples.size(); start += window) {
        const std::vector<float> part(samples.begin() + std::ptrdiff_t(start),
                                      samples.begin() + std::ptrdiff_t(start + window));
        const ToneReport report = analyseTone(part, sampleRate, expectedFrequency, expectedAmplitude);
        frequencies.push_back(report.frequency);
        levels.push_back(report.rms);
    }
    ToneReport median;
    if (frequencies.empty()) {
        return median;
    }
    std::nth_element(frequencies.begin(), frequencies.begin() + std::ptrdiff_t(frequencies.size() / 2),
                     frequencies.end());
    std::nth_element(levels.begin(), levels.begin() + std::ptrdiff_t(levels.size() / 2), levels.end());
    median.frequency = frequencies[frequencies.size() / 2];
    median.rms = levels[levels.size() / 2];
    return median;
}

inline double levelDifferenceDb(double rms, double amplitude)
{
    return 20.0 * std::log10(rms / (amplitude / std::numbers::sqrt2));
}

// The stretch between the first and last sample louder than `threshold`, less `margin` samples
// at each end (where playback starts and stops).
inline std::vector<float> trimToSignal(const std::vector<float>& samples, float threshold, size_t margin)
{
    size_t first = 0;
    while (first < samples.size() && std::fabs(samples[first]) < threshold) {
        ++first;
    }
    size_t last = samples.size();
    while (last > first && std::fabs(samples[last - 1]) < threshold) {
        --last;
    }
    if (last - first <= 2 * margin) {
        return {};
    }
    return std::vector<float>(samples.begin() + std::ptrdiff_t(first + margin),
                              samples.begin() + std::ptrdiff_t(last - margin));
}

} // namespace mirvo::audio::test
