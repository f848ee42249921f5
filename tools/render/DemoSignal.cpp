#include "DemoSignal.h"

#include "SignalGenerators.h"

#include <cmath>
#include <random>

namespace reso::render::demo
{

namespace
{
constexpr double twoPi = 2.0 * 3.14159265358979323846;

double bandPower (const std::vector<float>& db, double binHz, double lowHz, double highHz)
{
    double sum = 1.0e-30;
    for (size_t k = 0; k < db.size(); ++k)
        if ((double) k * binHz >= lowHz && (double) k * binHz < highHz)
            sum += std::pow (10.0, db[k] / 10.0);
    return sum;
}

juce::String hzText (double hz)
{
    return hz >= 1000.0 ? juce::String (hz / 1000.0, 2) + " kHz" : juce::String ((int) std::lround (hz)) + " Hz";
}
} // namespace

juce::AudioBuffer<float> makeInput()
{
    const int length = (int) (sampleRate * seconds);
    juce::AudioBuffer<float> buffer (2, length);
    for (int c = 0; c < 2; ++c)
    {
        auto x = signals::pinkNoise (length, 7001u + (unsigned) c, 0.1f);
        for (double hz : resonanceHz)
            signals::addResonance (x, sampleRate, hz, resonanceGainDb, resonanceQ);

        for (int i = 0; i < length; ++i)
        {
            double tone = 0.0;
            for (int n = 1; n <= tonePartials; ++n)
                tone += 0.05 / n * std::sin (twoPi * toneHz * n * i / sampleRate + 0.7 * n);
            x[(size_t) i] += (float) tone;
        }
        buffer.copyFrom (c, 0, x.data(), length);
    }
    return buffer;
}

juce::String describeInput()
{
    juce::StringArray resonances;
    for (double hz : resonanceHz)
        resonances.add (hzText (hz));
    return juce::String (seconds, 1) + " s of stereo pink noise at " + juce::String ((int) sampleRate)
           + " Hz with resonances at " + resonances.joinIntoString (", ") + " (+" + juce::String ((int) resonanceGainDb)
           + " dB, Q " + juce::String ((int) resonanceQ) + ") and a steady " + juce::String ((int) toneHz)
           + " Hz tone with " + juce::String (tonePartials) + " partials";
}

double bandChangeDb (
    const std::vector<float>& inputDb, const std::vector<float>& outputDb, double binHz, double lowHz, double highHz)
{
    return 10.0 * std::log10 (bandPower (outputDb, binHz, lowHz, highHz) / bandPower (inputDb, binHz, lowHz, highHz));
}

juce::StringArray summarise (
    const std::vector<float>& inputDb, const std::vector<float>& outputDb, double binHz, const ReductionStats& stats)
{
    juce::StringArray lines;
    const auto found = stats.resonances (20);

    for (double hz : resonanceHz)
    {
        // the resonance's own region: a quarter-tone either side
        const double change =
            bandChangeDb (inputDb, outputDb, binHz, hz * std::pow (2.0, -1.0 / 24.0), hz * std::pow (2.0, 1.0 / 24.0));
        juce::String line = "resonance at " + hzText (hz) + ": level " + juce::String (change, 1) + " dB";

        const ReductionStats::Resonance* match = nullptr;
        for (const auto& r : found)
            if (std::abs (r.hz - hz) < 0.03 * hz && (match == nullptr || r.largestDb < match->largestDb))
                match = &r;
        if (match != nullptr)
            line << " (found at " << hzText (match->hz) << ", largest cut " << juce::String (-match->largestDb, 1)
                 << " dB, cut " << juce::String ((int) std::lround (100.0 * match->cutShare)) << " % of the time)";
        else
            line << " (not among the resonances found)";
        lines.add (line);
    }

    // every other third-octave band from 31.5 Hz to 16 kHz
    double sum = 0.0, largest = 0.0;
    int count = 0;
    for (const auto& band : stats.bands())
    {
        if (band.nominalHz < 30.0f || band.nominalHz > 16500.0f)
            continue;
        bool holdsResonance = false;
        for (double hz : resonanceHz)
            holdsResonance = holdsResonance || (hz >= band.lowHz && hz < band.highHz);
        if (holdsResonance)
            continue;
        const double change = std::abs (bandChangeDb (inputDb, outputDb, binHz, band.lowHz, band.highHz));
        sum += change;
        largest = juce::jmax (largest, change);
        ++count;
    }
    if (count > 0)
        lines.add ("the other " + juce::String (count) + " third-octave bands (31.5 Hz to 16 kHz): level changed by "
                   + juce::String (sum / count, 2) + " dB on average, " + juce::String (largest, 2) + " dB at most");

    double toneLargest = 0.0;
    for (int n = 1; n <= tonePartials; ++n)
    {
        const double hz = toneHz * n;
        toneLargest = juce::jmax (
            toneLargest, std::abs (bandChangeDb (inputDb, outputDb, binHz, hz - 2.0 * binHz, hz + 2.5 * binHz)));
    }
    lines.add ("the tone's " + juce::String (tonePartials) + " partials: level changed by "
               + juce::String (toneLargest, 2) + " dB at most");
    return lines;
}

} // namespace reso::render::demo
