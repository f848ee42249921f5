#include "SpectrumPlot.h"

#include <cmath>

namespace reso::render
{

namespace
{
const juce::Colour background{ 0xff15171a }, panel{ 0xff1c1f23 }, grid{ 0xff2c3036 }, label{ 0xffaab0b8 };
const juce::Colour inputColour{ 0xff7d8a99 }, outputColour{ 0xfff2a93b }, reductionColour{ 0xffe0604f };

// Maps frequencies onto a horizontal pixel range, logarithmically.
struct FrequencyAxis
{
    double lowHz, highHz;
    float left, right;

    float x (double hz) const
    {
        return left + (right - left) * (float) (std::log (hz / lowHz) / std::log (highHz / lowHz));
    }
    double hz (float px) const { return lowHz * std::pow (highHz / lowHz, (double) ((px - left) / (right - left))); }
};

// Level at a frequency from per-bin dB values: the power average of the bins within [fromHz, toHz), or
// the interpolated level at their middle when no bin falls inside.
float levelBetween (const std::vector<float>& db, double binHz, double fromHz, double toHz, bool powerAverage)
{
    const int last = (int) db.size() - 1;
    const int first = juce::jlimit (0, last, (int) std::ceil (fromHz / binHz));
    const int end = juce::jlimit (0, last + 1, (int) std::ceil (toHz / binHz));
    if (end > first)
    {
        double sum = 0.0;
        for (int k = first; k < end; ++k)
            sum += powerAverage ? std::pow (10.0, db[(size_t) k] / 10.0) : db[(size_t) k];
        sum /= (end - first);
        return powerAverage ? (float) (10.0 * std::log10 (sum + 1.0e-30)) : (float) sum;
    }

    const double position = juce::jlimit (0.0, (double) last, 0.5 * (fromHz + toHz) / binHz);
    const int k = juce::jmin (last - 1, (int) position);
    const double t = position - k;
    return (float) (db[(size_t) k] * (1.0 - t) + db[(size_t) k + 1] * t);
}

juce::Path curve (const std::vector<float>& db, double binHz, const FrequencyAxis& axis, bool powerAverage,
    const std::function<float (float)>& y)
{
    juce::Path path;
    if (db.size() < 2 || binHz <= 0.0)
        return path;

    for (float px = axis.left; px <= axis.right; px += 1.0f)
    {
        const float value = levelBetween (db, binHz, axis.hz (px), axis.hz (px + 1.0f), powerAverage);
        if (px == axis.left)
            path.startNewSubPath (px, y (value));
        else
            path.lineTo (px, y (value));
    }
    return path;
}

juce::String frequencyLabel (double hz)
{
    return hz >= 1000.0 ? juce::String (hz / 1000.0, 0) + "k" : juce::String ((int) hz);
}

void drawFrequencyGrid (juce::Graphics& g, const FrequencyAxis& axis, juce::Rectangle<float> area, bool labels)
{
    for (double decade = 10.0; decade <= 100000.0; decade *= 10.0)
    {
        for (double step : { 1.0, 2.0, 5.0 })
        {
            const double hz = decade * step;
            if (hz < axis.lowHz || hz > axis.highHz)
                continue;
            const float x = axis.x (hz);
            g.setColour (grid);
            g.drawVerticalLine ((int) x, area.getY(), area.getBottom());
            if (labels)
            {
                g.setColour (label);
                g.drawText (frequencyLabel (hz),
                    juce::Rectangle<float> (x - 30.0f, area.getBottom() + 4.0f, 60.0f, 16.0f),
                    juce::Justification::centred);
            }
        }
    }
}

void drawLevelGrid (juce::Graphics& g, juce::Rectangle<float> area, float top, float bottom, float step,
    const std::function<float (float)>& y, const juce::String& unit)
{
    for (float v = top; v >= bottom - 0.001f; v -= step)
    {
        const float py = y (v);
        g.setColour (grid);
        g.drawHorizontalLine ((int) py, area.getX(), area.getRight());
        g.setColour (label);
        g.drawText (juce::String ((int) std::lround (v)) + unit,
            juce::Rectangle<float> (0.0f, py - 8.0f, area.getX() - 6.0f, 16.0f), juce::Justification::centredRight);
    }
}
} // namespace

juce::Image drawSpectrumPlot (const PlotData& data, int width, int height)
{
    juce::Image image (juce::Image::RGB, width, height, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.fillAll (background);
    g.setFont (juce::Font (13.0f));

    const float left = 64.0f, right = (float) width - 20.0f;
    const juce::Rectangle<float> spectra (left, 44.0f, right - left, (float) height * 0.58f);
    const juce::Rectangle<float> reduction (
        left, spectra.getBottom() + 28.0f, right - left, (float) height - spectra.getBottom() - 28.0f - 30.0f);
    const FrequencyAxis axis{ 20.0, juce::jmin (20000.0, data.sampleRate / 2.0), left, right };

    g.setColour (label);
    g.setFont (juce::Font (15.0f, juce::Font::bold));
    g.drawText (data.title, juce::Rectangle<float> (left, 8.0f, right - left, 24.0f), juce::Justification::centredLeft);
    g.setFont (juce::Font (13.0f));

    // spectra: from the rounded-up peak of the two down to 10 dB below their floor, 30 to 90 dB in all
    float peak = -200.0f, floorLevel = 0.0f;
    for (const auto* levels : { &data.inputDb, &data.outputDb })
    {
        for (size_t k = 1; k < levels->size(); ++k)
        {
            if ((double) k * data.spectrumBinHz >= axis.lowHz && (double) k * data.spectrumBinHz <= axis.highHz)
            {
                peak = juce::jmax (peak, (*levels)[k]);
                floorLevel = juce::jmin (floorLevel, (*levels)[k]);
            }
        }
    }
    const float top = peak > -190.0f ? 10.0f * std::ceil (peak / 10.0f) : 0.0f;
    const float bottom = juce::jlimit (top - 90.0f, top - 30.0f, 10.0f * std::floor (floorLevel / 10.0f) - 10.0f);
    const auto spectrumY = [&] (float db)
    { return juce::jmap (juce::jlimit (bottom, top, db), top, bottom, spectra.getY(), spectra.getBottom()); };

    g.setColour (panel);
    g.fillRect (spectra);
    drawFrequencyGrid (g, axis, spectra, false);
    drawLevelGrid (g, spectra, top, bottom, 10.0f, spectrumY, "");
    g.setColour (inputColour);
    g.strokePath (curve (data.inputDb, data.spectrumBinHz, axis, true, spectrumY), juce::PathStrokeType (1.4f));
    g.setColour (outputColour);
    g.strokePath (curve (data.outputDb, data.spectrumBinHz, axis, true, spectrumY), juce::PathStrokeType (1.4f));

    g.setColour (inputColour);
    g.drawText ("input", juce::Rectangle<float> (right - 190.0f, spectra.getY() + 6.0f, 80.0f, 16.0f),
        juce::Justification::centredRight);
    g.setColour (outputColour);
    g.drawText ("output", juce::Rectangle<float> (right - 100.0f, spectra.getY() + 6.0f, 90.0f, 16.0f),
        juce::Justification::centredRight);
    g.setColour (label);
    g.drawText ("dBFS", juce::Rectangle<float> (0.0f, spectra.getY() - 24.0f, left - 6.0f, 16.0f),
        juce::Justification::centredRight);

    // average reduction, down to the next multiple of 3 dB below its deepest point (at least 6 dB)
    float deepest = 0.0f;
    for (float r : data.reductionDb)
        deepest = juce::jmin (deepest, r);
    const float floorDb = -juce::jmax (6.0f, 3.0f * std::ceil (-deepest / 3.0f));
    const auto reductionY = [&] (float db)
    { return juce::jmap (juce::jlimit (floorDb, 0.0f, db), 0.0f, floorDb, reduction.getY(), reduction.getBottom()); };

    g.setColour (panel);
    g.fillRect (reduction);
    drawFrequencyGrid (g, axis, reduction, true);
    drawLevelGrid (g, reduction, 0.0f, floorDb, floorDb < -12.0f ? 6.0f : 3.0f, reductionY, "");

    auto cut = curve (data.reductionDb, data.reductionBinHz, axis, false, reductionY);
    if (! cut.isEmpty())
    {
        auto area = cut;
        area.lineTo (right, reduction.getY());
        area.lineTo (left, reduction.getY());
        area.closeSubPath();
        g.setColour (reductionColour.withAlpha (0.35f));
        g.fillPath (area);
        g.setColour (reductionColour);
        g.strokePath (cut, juce::PathStrokeType (1.4f));
    }
    g.setColour (reductionColour);
    g.drawText ("average reduction (dB)",
        juce::Rectangle<float> (right - 260.0f, reduction.getBottom() - 22.0f, 250.0f, 16.0f),
        juce::Justification::centredRight);

    return image;
}

juce::Result writePng (const juce::Image& image, const juce::File& file)
{
    file.deleteFile();
    juce::FileOutputStream stream (file);
    if (stream.failedToOpen())
        return juce::Result::fail ("cannot create \"" + file.getFullPathName() + "\"");

    juce::PNGImageFormat png;
    if (! png.writeImageToStream (image, stream))
        return juce::Result::fail ("cannot write the plot to \"" + file.getFullPathName() + "\"");

    stream.flush();
    if (stream.getStatus().failed())
        return juce::Result::fail ("cannot write the plot: " + stream.getStatus().getErrorMessage());
    return juce::Result::ok();
}

} // namespace reso::render
