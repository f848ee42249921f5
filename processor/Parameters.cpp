#include "Parameters.h"

#include <cmath>
#include <cstdio>

namespace reso
{

juce::String ids::band (int bandNumber, const char* suffix)
{
    return "b" + juce::String (bandNumber) + "_" + suffix;
}

namespace
{
juce::String formatted (const char* format, double value)
{
    char buffer[64];
    std::snprintf (buffer, sizeof buffer, format, value);
    return buffer;
}

// One decimal, without a minus sign on a value that rounds to zero.
juce::String oneDecimal (double value)
{
    auto s = formatted ("%.1f", value);
    return s == "-0.0" ? juce::String ("0.0") : s;
}

// Plain values come back from the normalised range with float noise (1000 as 999.99994): snap them to a
// thousandth before a display threshold decides on them.
double snapped (float value) { return std::round ((double) value * 1000.0) / 1000.0; }

float readNumber (const juce::String& text, const char* allowed)
{
    return (float) text.retainCharacters (allowed).getDoubleValue();
}

juce::NormalisableRange<float> linearRange (float min, float max) { return { min, max, 0.0f, 1.0f }; }

juce::NormalisableRange<float> centredRange (float min, float max, float centre)
{
    juce::NormalisableRange<float> range { min, max, 0.0f, 1.0f };
    range.setSkewForCentre (centre);
    return range;
}

using Attributes = juce::AudioParameterFloatAttributes;
using ToText = juce::String (*) (float);
using FromText = float (*) (const juce::String&);

std::unique_ptr<juce::AudioParameterFloat> floatParameter (const juce::String& id, const juce::String& name,
    juce::NormalisableRange<float> range, float defaultValue, int version, ToText toText, FromText fromText)
{
    return std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { id, version }, name, range,
        defaultValue,
        Attributes()
            .withStringFromValueFunction ([toText] (float v, int) { return toText (v); })
            .withValueFromStringFunction ([fromText] (const juce::String& t) { return fromText (t); }));
}

std::unique_ptr<juce::AudioParameterChoice> choiceParameter (const juce::String& id, const juce::String& name,
    const juce::StringArray& choices, int defaultIndex, int version)
{
    return std::make_unique<juce::AudioParameterChoice> (juce::ParameterID { id, version }, name, choices, defaultIndex);
}

const char* const bandSuffixes[] = { "type", "freq", "gain", "q" };
const char* const bandWords[] = { "Type", "Freq", "Gain", "Q" };

struct BandDefault
{
    int type;
    float freq, q;
};
constexpr BandDefault bandDefaults[numBands] = { { 1, 63.0f, 0.71f }, { 0, 250.0f, 1.0f }, { 0, 1000.0f, 1.0f },
                                                 { 0, 4000.0f, 1.0f }, { 2, 11000.0f, 0.71f } };
} // namespace

namespace text
{
juce::String percent (float value) { return juce::String ((int) std::nearbyint ((double) value * 100.0)) + " %"; }

juce::String frequency (float value)
{
    const double hz = snapped (value);
    if (hz >= 1000.0)
        return formatted (hz < 10000.0 ? "%.2f" : "%.1f", hz / 1000.0) + " kHz";
    return juce::String ((int) std::lround (hz)) + " Hz";
}

juce::String milliseconds (float value)
{
    const double ms = snapped (value);
    return formatted (ms < 10.0 ? "%.1f" : "%g", ms) + " ms";
}

juce::String decibels (float db) { return (db > 0.04f ? "+" : "") + oneDecimal (db) + " dB"; }

juce::String qValue (float q) { return formatted ("%.2f", q); }

juce::String lowProtect (float hz)
{
    if (hz <= 40.5f)
        return "Off";
    return juce::String ((int) std::lround (hz)) + " Hz";
}

float parsePercent (const juce::String& t) { return juce::jlimit (0.0f, 1.0f, readNumber (t, "0123456789.") / 100.0f); }

float parseFrequency (const juce::String& t)
{
    const float value = readNumber (t, "0123456789.");
    return t.containsChar ('k') || t.containsChar ('K') ? value * 1000.0f : value;
}

float parsePlainNumber (const juce::String& t) { return readNumber (t, "0123456789.-"); }

float parseLowProtect (const juce::String& t)
{
    const auto trimmed = t.trim();
    if (trimmed.startsWithIgnoreCase ("off"))
        return 40.0f;
    return juce::jlimit (40.0f, 250.0f, readNumber (trimmed, "0123456789."));
}
} // namespace text

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout()
{
    using namespace text;
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    layout.add (floatParameter (ids::depth, "Depth", linearRange (0, 1), 0.31f, 1, percent, parsePercent),
        floatParameter (ids::sharpness, "Sharpness", linearRange (0, 1), 0.5f, 1, percent, parsePercent),
        floatParameter (ids::selectivity, "Selectivity", linearRange (0, 1), 0.5f, 1, percent, parsePercent),
        floatParameter (ids::focusLow, "Focus Low", centredRange (20, 20000, 1000), 20.0f, 1, frequency, parseFrequency),
        floatParameter (ids::focusHigh, "Focus High", centredRange (20, 20000, 1000), 20000.0f, 1, frequency, parseFrequency),
        floatParameter (ids::mix, "Mix", linearRange (0, 1), 1.0f, 1, percent, parsePercent),
        std::make_unique<juce::AudioParameterBool> (juce::ParameterID { ids::delta, 1 }, "Delta", false),
        std::make_unique<juce::AudioParameterBool> (juce::ParameterID { ids::bypass, 1 }, "Bypass", false),
        floatParameter (ids::attack, "Attack", centredRange (5, 200, 31.6f), 40.0f, 2, milliseconds, parsePlainNumber),
        floatParameter (ids::release, "Release", centredRange (40, 1000, 200), 220.0f, 2, milliseconds, parsePlainNumber),
        choiceParameter (ids::mode, "Mode", { "SOFT", "HARD" }, 0, 2),
        choiceParameter (ids::stereo, "Stereo", { "L/R", "LINK", "M/S" }, 0, 2),
        choiceParameter (ids::quality, "Quality", { "LOW LAT", "NORMAL", "HIGH" }, 1, 2),
        floatParameter (ids::trim, "Trim", linearRange (-12, 12), 0.0f, 2, decibels, parsePlainNumber));

    for (int b = 1; b <= numBands; ++b)
    {
        const auto& d = bandDefaults[b - 1];
        const auto name = [b] (int word) { return "Band " + juce::String (b) + " " + bandWords[word]; };
        layout.add (choiceParameter (ids::band (b, "type"), name (0), { "BELL", "LOW SHELF", "HIGH SHELF" }, d.type, 2),
            floatParameter (ids::band (b, "freq"), name (1), centredRange (20, 20000, 1000), d.freq, 2, frequency, parseFrequency),
            floatParameter (ids::band (b, "gain"), name (2), linearRange (-12, 12), 0.0f, 2, decibels, parsePlainNumber),
            floatParameter (ids::band (b, "q"), name (3), centredRange (0.3f, 8.0f, 1.5f), d.q, 2, qValue, parsePlainNumber));
    }

    layout.add (floatParameter (ids::lowProtect, "Low Protect", centredRange (40, 250, 100), 250.0f, 3, lowProtect, parseLowProtect));
    return layout;
}

namespace
{
// "b1_type", "b1_freq", "b1_gain", "b1_q", "b2_type", ... "b5_q"
void addBandIds (juce::StringArray& list)
{
    for (int b = 1; b <= numBands; ++b)
        for (auto* suffix : bandSuffixes)
            list.add (ids::band (b, suffix));
}
} // namespace

const juce::StringArray& allParameterIds()
{
    static const juce::StringArray list = [] {
        juce::StringArray l { ids::depth, ids::sharpness, ids::selectivity, ids::focusLow, ids::focusHigh, ids::mix,
                              ids::delta, ids::bypass, ids::attack, ids::release, ids::mode, ids::stereo,
                              ids::quality, ids::trim };
        addBandIds (l);
        l.add (ids::lowProtect);
        return l;
    }();
    return list;
}

const juce::StringArray& presetParameterIds()
{
    static const juce::StringArray list = [] {
        juce::StringArray l { ids::depth, ids::sharpness, ids::selectivity, ids::attack, ids::release, ids::mode,
                              ids::mix, ids::focusLow, ids::focusHigh };
        addBandIds (l);
        l.add (ids::lowProtect);
        return l;
    }();
    return list;
}

const juce::StringArray& editTrackedParameterIds()
{
    static const juce::StringArray list = [] {
        auto l = allParameterIds();
        l.removeString (ids::delta);
        l.removeString (ids::bypass);
        return l;
    }();
    return list;
}

} // namespace reso
