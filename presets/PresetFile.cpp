#include "PresetFile.h"

#include "processor/Parameters.h"

namespace reso::presetfile
{

namespace
{
const juce::Identifier rootTag { "RESO_PRESET" }, valueTag { "P" };
const juce::Identifier formatAttribute { "format" }, nameAttribute { "name" };
const juce::Identifier idAttribute { "id" }, valueAttribute { "v" };
} // namespace

juce::String write (const juce::String& name, const PresetValues& values)
{
    juce::XmlElement root (rootTag);
    root.setAttribute (formatAttribute, 1);
    root.setAttribute (nameAttribute, name);
    for (const auto& v : values)
    {
        auto* p = root.createNewChildElement (valueTag);
        p->setAttribute (idAttribute, v.id);
        p->setAttribute (valueAttribute, (double) v.value);
    }
    return root.toString();
}

bool read (const juce::String& text, juce::String& name, PresetValues& values)
{
    const auto xml = juce::parseXML (text);
    if (xml == nullptr || ! xml->hasTagName (rootTag.toString()))
        return false;

    const auto& known = presetParameterIds();
    PresetValues found;
    bool hasLowProtect = false;
    for (auto* p : xml->getChildWithTagNameIterator (valueTag.toString()))
    {
        const auto id = p->getStringAttribute (idAttribute);
        if (! known.contains (id))
            continue;
        found.push_back ({ id, (float) p->getDoubleAttribute (valueAttribute, 0.0) });
        hasLowProtect = hasLowProtect || id == ids::lowProtect;
    }

    if (found.empty())
        return false;
    if (! hasLowProtect)
        found.push_back ({ ids::lowProtect, 250.0f });

    name = xml->getStringAttribute (nameAttribute);
    values = std::move (found);
    return true;
}

} // namespace reso::presetfile
