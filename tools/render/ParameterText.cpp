#include "ParameterText.h"

#include "processor/Parameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace reso::render
{

namespace
{
int editDistance (const juce::String& a, const juce::String& b)
{
    const auto x = a.toLowerCase(), y = b.toLowerCase();
    const int n = x.length(), m = y.length();
    std::vector<int> row ((size_t) m + 1);
    for (int j = 0; j <= m; ++j)
        row[(size_t) j] = j;

    for (int i = 1; i <= n; ++i)
    {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= m; ++j)
        {
            const int above = row[(size_t) j];
            const int cost = x[i - 1] == y[j - 1] ? 0 : 1;
            row[(size_t) j] = std::min ({ above + 1, row[(size_t) j - 1] + 1, diagonal + cost });
            diagonal = above;
        }
    }
    return row[(size_t) m];
}

juce::String plainText (float value)
{
    char buffer[32];
    std::snprintf (buffer, sizeof buffer, "%.6g", (double) value);
    return buffer;
}

juce::String quoted (const juce::String& s) { return "\"" + s + "\""; }

bool isWholeNumber (const juce::String& text)
{
    const auto t = text.trim();
    const auto digits = t.startsWithChar ('-') || t.startsWithChar ('+') ? t.substring (1) : t;
    return digits.isNotEmpty() && digits.containsOnly ("0123456789");
}

juce::String rangeText (const juce::RangedAudioParameter& p)
{
    if (auto* choice = dynamic_cast<const juce::AudioParameterChoice*> (&p))
        return choice->choices.joinIntoString (" | ");
    if (dynamic_cast<const juce::AudioParameterBool*> (&p) != nullptr)
        return p.getText (0.0f, 0) + " | " + p.getText (1.0f, 0);
    return p.getText (0.0f, 0) + " .. " + p.getText (1.0f, 0);
}
} // namespace

bool splitSetting (const juce::String& argument, ParameterSetting& result, juce::String& error)
{
    if (! argument.containsChar ('='))
    {
        error = "--set needs ID=VALUE, got " + quoted (argument);
        return false;
    }

    result.id = argument.upToFirstOccurrenceOf ("=", false, false).trim();
    result.text = argument.fromFirstOccurrenceOf ("=", false, false).trim();
    if (result.id.isEmpty() || result.text.isEmpty())
    {
        error = "--set needs ID=VALUE, got " + quoted (argument);
        return false;
    }
    return true;
}

juce::RangedAudioParameter* findParameter (juce::AudioProcessorValueTreeState& parameters, const juce::String& id)
{
    for (const auto& known : allParameterIds())
        if (known.equalsIgnoreCase (id.trim()))
            return parameters.getParameter (known);
    return nullptr;
}

juce::StringArray closestNames (const juce::String& name, const juce::StringArray& candidates, int maxCount)
{
    const auto wanted = name.trim().toLowerCase();
    std::vector<std::pair<int, juce::String>> ranked;
    for (const auto& candidate : candidates)
    {
        const auto c = candidate.toLowerCase();
        if (wanted.isNotEmpty() && (c.contains (wanted) || wanted.contains (c)))
            ranked.push_back ({ 0, candidate });
        else if (const int d = editDistance (wanted, c); d <= juce::jmax (2, wanted.length() / 3))
            ranked.push_back ({ d, candidate });
    }

    std::stable_sort (ranked.begin(), ranked.end(), [] (const auto& a, const auto& b) { return a.first < b.first; });

    juce::StringArray result;
    for (const auto& r : ranked)
        if (result.size() < maxCount)
            result.add (r.second);
    return result;
}

juce::String unknownParameterMessage (const juce::String& id)
{
    juce::String message = "unknown parameter " + quoted (id);
    const auto close = closestNames (id, allParameterIds());
    if (! close.isEmpty())
        message << "; did you mean " << close.joinIntoString (", ") << "?";
    message << "\nvalid IDs: " << allParameterIds().joinIntoString (", ");
    return message;
}

bool parseParameterText (
    const juce::RangedAudioParameter& parameter, const juce::String& text, float& normalised, juce::String& error)
{
    const auto t = text.trim();
    const auto id = parameter.getParameterID();

    if (auto* choice = dynamic_cast<const juce::AudioParameterChoice*> (&parameter))
    {
        for (const auto& name : choice->choices)
        {
            if (name.equalsIgnoreCase (t))
            {
                normalised = parameter.getValueForText (name);
                return true;
            }
        }
        error = id + ": " + quoted (t) + " is not one of " + choice->choices.joinIntoString (", ");
        return false;
    }

    if (dynamic_cast<const juce::AudioParameterBool*> (&parameter) != nullptr)
    {
        static const juce::StringArray words{ "on", "off", "yes", "no", "true", "false" };
        if (! words.contains (t, true) && ! isWholeNumber (t))
        {
            error = id + ": " + quoted (t) + " is not on or off";
            return false;
        }
        normalised = parameter.getValueForText (t);
        return true;
    }

    const float value = parameter.getValueForText (t);
    const bool hasDigit = t.containsAnyOf ("0123456789");
    const bool readsBackAsWord =
        ! hasDigit && t.isNotEmpty() && parameter.getText (value, 0).trim().equalsIgnoreCase (t);
    if (! hasDigit && ! readsBackAsWord)
    {
        error = id + ": cannot read " + quoted (t) + " as a value (range " + rangeText (parameter) + ")";
        return false;
    }

    normalised = value;
    return true;
}

juce::Result applySettings (
    juce::AudioProcessorValueTreeState& parameters, const std::vector<ParameterSetting>& settings)
{
    std::vector<std::pair<juce::RangedAudioParameter*, float>> values;
    for (const auto& setting : settings)
    {
        auto* parameter = findParameter (parameters, setting.id);
        if (parameter == nullptr)
            return juce::Result::fail (unknownParameterMessage (setting.id));

        float normalised = 0.0f;
        juce::String error;
        if (! parseParameterText (*parameter, setting.text, normalised, error))
            return juce::Result::fail (error);
        values.push_back ({ parameter, normalised });
    }

    for (const auto& [parameter, normalised] : values)
        parameter->setValueNotifyingHost (normalised);
    return juce::Result::ok();
}

float plainValue (const juce::RangedAudioParameter& parameter)
{
    return parameter.convertFrom0to1 (parameter.getValue());
}

juce::String parameterListing (juce::AudioProcessorValueTreeState& parameters)
{
    struct Row
    {
        juce::String id, name, range, fallback;
    };
    std::vector<Row> rows{ { "ID", "Name", "Range", "Default" } };
    for (const auto& id : allParameterIds())
    {
        auto* p = parameters.getParameter (id);
        rows.push_back ({ id, p->getName (64), rangeText (*p), p->getText (p->getDefaultValue(), 0) });
    }

    int widths[3] = {};
    for (const auto& r : rows)
    {
        widths[0] = juce::jmax (widths[0], r.id.length());
        widths[1] = juce::jmax (widths[1], r.name.length());
        widths[2] = juce::jmax (widths[2], r.range.length());
    }

    juce::String listing;
    for (const auto& r : rows)
        listing << r.id.paddedRight (' ', widths[0] + 2) << r.name.paddedRight (' ', widths[1] + 2)
                << r.range.paddedRight (' ', widths[2] + 2) << r.fallback << "\n";
    return listing;
}

juce::StringArray describeValues (juce::AudioProcessorValueTreeState& parameters, bool changedOnly)
{
    juce::StringArray lines;
    for (const auto& id : allParameterIds())
    {
        auto* p = parameters.getParameter (id);
        if (changedOnly && std::abs (p->getValue() - p->getDefaultValue()) < 1.0e-6f)
            continue;
        lines.add (id + " = " + p->getCurrentValueAsText() + " (" + plainText (plainValue (*p)) + ")");
    }
    return lines;
}

} // namespace reso::render
