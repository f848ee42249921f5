#include "DemoSignal.h"

#include <cmath>
#include <random>

namespace reso::render::demo
{

namespace
{
constexpr double twoPi = 2.0 * 3.14159265358979323846;

// White noise through a fixed set of one-pole filters: about -3 dB per octave. Scaled to the given RMS.
std::vector<float> pinkNoise (int length, unsigned seed, double rms)
{
    std::mt19937 rng (seed);
    std::normal_distribution<double> white (0.0, 1.0);
    std::vector<float> out ((size_t) length);
    double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0, power = 0;
    for (auto& v : out)
    {
        const double w = white (rng);
        b0 = 0.99886 * b0 + w * 0.0555179;
        b1 = 0.99332 * b1 + w * 0.0750759;
        b2 = 0.96900 * b2 + w * 0.1538520;
        b3 = 0.86650 * b3 + w * 0.3104856;
        b4 = 0.55000 * b4 + w * 0.5329522;
        b5 = -0.7616 * b5 - w * 0.0168980;
        const double y = b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362;
        b6 = w * 0.115926;
        v = (float) y;
        power += y * y;
    }
    const double scale = rms / std::sqrt (power / juce::jmax (1, length));
    for (auto& v : out)
        v = (float) (v * scale);
    return out;
}

// A peaking biquad (gain in dB, centre Hz, Q) applied in place: a narrow resonance.
void addResonance (std::vector<float>& x, double hz, double gainDb, double q)
{
    const double a = std::pow (10.0, gainDb / 40.0), w0 = twoPi * hz / sampleRate, alpha = std::sin (w0) / (2.0 * q);
    const double a0 = 1.0 + alpha / a;
    const double b0 = (1.0 + alpha * a) / a0, b1 = -2.0 * std::cos (w0) / a0, b2 = (1.0 - alpha * a) / a0;
    const double a1 = b1, a2 = (1.0 - alpha / a) / a0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (auto& v : x)
    {
        const double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        v = (float) y;
    }
}

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
        auto x = pinkNoise (length, 7001u + (unsigned) c, 0.1);
        for (double hz : resonanceHz)
            addResonance (x, hz, resonanceGainDb, resonanceQ);

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
