#include "SpectrumAverager.h"

#include <algorithm>
#include <cmath>

namespace reso::render
{

int SpectrumAverager::frameSizeFor (double sampleRate)
{
    int size = 2048;
    while (size < 16384 && sampleRate / size > 12.0)
        size *= 2;
    return size;
}

void SpectrumAverager::prepare (double sampleRate, int channels)
{
    rate = sampleRate;
    numChannels = std::max (1, channels);
    const int n = frameSizeFor (sampleRate);
    fft.prepare (n);

    pending.assign ((size_t) numChannels, std::vector<float> ((size_t) n, 0.0f));
    window.resize ((size_t) n);
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
    {
        window[(size_t) i] = (float) (0.5 - 0.5 * std::cos (2.0 * 3.14159265358979323846 * i / n));
        sum += window[(size_t) i];
    }
    windowGain = 0.5 * sum;

    frame.assign ((size_t) n, 0.0f);
    re.assign ((size_t) n / 2 + 1, 0.0f);
    im.assign ((size_t) n / 2 + 1, 0.0f);
    powerSum.assign ((size_t) n / 2 + 1, 0.0);
    filled = 0;
    frameCount = 0;
}

void SpectrumAverager::add (const float* const* channels, int numSamples)
{
    const int n = fft.size();
    int done = 0;
    while (done < numSamples)
    {
        const int count = std::min (numSamples - done, n - filled);
        for (int c = 0; c < numChannels; ++c)
            std::copy (channels[c] + done, channels[c] + done + count, pending[(size_t) c].begin() + filled);
        filled += count;
        done += count;

        if (filled == n)
        {
            analyseFrame();
            for (auto& p : pending)
                std::copy (p.begin() + n / 2, p.end(), p.begin());
            filled = n / 2;
        }
    }
}

void SpectrumAverager::analyseFrame()
{
    for (const auto& p : pending)
    {
        for (size_t i = 0; i < frame.size(); ++i)
            frame[i] = p[i] * window[i];
        fft.forward (frame.data(), re.data(), im.data());
        for (size_t k = 0; k < powerSum.size(); ++k)
            powerSum[k] += (double) re[k] * re[k] + (double) im[k] * im[k];
    }
    ++frameCount;
}

void SpectrumAverager::finish()
{
    if (frameCount > 0 || filled == 0)
        return;

    for (auto& p : pending)
        std::fill (p.begin() + filled, p.end(), 0.0f);
    analyseFrame();
    filled = 0;
}

std::vector<float> SpectrumAverager::levelsDb() const
{
    std::vector<float> levels (powerSum.size(), -200.0f);
    if (frameCount == 0)
        return levels;

    const double norm = 1.0 / ((double) frameCount * numChannels * windowGain * windowGain);
    for (size_t k = 0; k < levels.size(); ++k)
        levels[k] = (float) std::max (-200.0, 10.0 * std::log10 (powerSum[k] * norm + 1.0e-30));
    return levels;
}

} // namespace reso::render
