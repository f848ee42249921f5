#include "presets/FactoryPresets.h"
#include "presets/PresetFile.h"
#include "processor/Parameters.h"

#include <gtest/gtest.h>

namespace
{

using reso::PresetValue;
using reso::PresetValues;
namespace presetfile = reso::presetfile;

juce::File fixture (const juce::String& name)
{
    return juce::File (ORVEL_FIXTURES_DIR).getChildFile ("presets").getChildFile (name);
}

PresetValues thirtyValues()
{
    PresetValues v;
    float x = 0.31f;
    for (const auto& id : reso::presetParameterIds())
    {
        v.push_back ({ id, x });
        x = x * 1.7f + 0.013f;
    }
    return v;
}

TEST (PresetFile, WrittenThenReadGivesTheSameValuesOrderAndName)
{
    const auto values = thirtyValues();
    const auto text = presetfile::write ("MY VOCAL", values);

    juce::String name;
    PresetValues back;
    ASSERT_TRUE (presetfile::read (text, name, back));
    EXPECT_EQ (name, "MY VOCAL");
    EXPECT_EQ (back, values) << "bit-exact: the text keeps enough digits for the float";
}

TEST (PresetFile, LayoutIsTheDocumentedOne)
{
    const auto text = presetfile::write ("X", { { "depth", 0.31f }, { "low_protect", 250.0f } });
    const auto xml = juce::parseXML (text);
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (text.startsWith ("<?xml"));
    EXPECT_EQ (xml->getTagName(), "RESO_PRESET");
    EXPECT_EQ (xml->getNumAttributes(), 2);
    EXPECT_EQ (xml->getStringAttribute ("format"), "1");
    EXPECT_EQ (xml->getAttributeName (0), "format");
    EXPECT_EQ (xml->getAttributeName (1), "name");
    ASSERT_EQ (xml->getNumChildElements(), 2);
    EXPECT_EQ (xml->getChildElement (0)->getStringAttribute ("v"), "0.3100000023841858");
    EXPECT_EQ (xml->getChildElement (1)->getStringAttribute ("v"), "250.0");
}

struct ReadCase
{
    const char* file;
    bool reads;
    const char* name;
    std::vector<std::pair<const char*, float>> values;
};

void PrintTo (const ReadCase& c, std::ostream* os) { *os << c.file; }

class PresetFileReading : public ::testing::TestWithParam<ReadCase>
{
};

TEST_P (PresetFileReading, ToleratesWhatItShould)
{
    const auto& c = GetParam();
    const auto file = fixture (c.file);
    ASSERT_TRUE (file.existsAsFile()) << file.getFullPathName();

    juce::String name = "untouched";
    PresetValues values { { "depth", -1.0f } };
    EXPECT_EQ (presetfile::read (file.loadFileAsString(), name, values), c.reads);
    if (! c.reads)
    {
        EXPECT_EQ (name, "untouched");
        EXPECT_EQ (values.size(), 1u);
        return;
    }

    EXPECT_EQ (name, c.name);
    ASSERT_EQ (values.size(), c.values.size());
    for (size_t i = 0; i < values.size(); ++i)
    {
        EXPECT_EQ (values[i].id, c.values[i].first) << i;
        EXPECT_FLOAT_EQ (values[i].value, c.values[i].second) << i;
    }
}

INSTANTIATE_TEST_SUITE_P (
    Fixtures, PresetFileReading,
    ::testing::Values (
        ReadCase { "no-values.orvelpreset", false, "", {} },
        ReadCase { "foreign-root.orvelpreset", false, "", {} },
        ReadCase { "not-xml.orvelpreset", false, "", {} },
        ReadCase { "depth-only.orvelpreset", true, "DEPTH ONLY", { { "depth", 0.75f }, { "low_protect", 250.0f } } },
        ReadCase { "ignored-entries.orvelpreset", true, "IGNORED", { { "sharpness", 0.25f }, { "low_protect", 250.0f } } },
        ReadCase { "mode-seven.orvelpreset", true, "MODE SEVEN", { { "mode", 7.0f }, { "low_protect", 120.0f } } },
        ReadCase { "format-two.orvelpreset", true, "FUTURE",
                   { { "depth", 0.5f }, { "attack", 12.5f }, { "release", 0.0f }, { "mix", 0.0f }, { "low_protect", 250.0f } } },
        ReadCase { "no-format.orvelpreset", true, "OLD", { { "depth", 0.2f }, { "depth", 0.4f }, { "low_protect", 250.0f } } },
        ReadCase { "unnamed import.orvelpreset", true, "", { { "depth", 0.6f }, { "b2_gain", -4.5f }, { "low_protect", 250.0f } } }));

TEST (FactoryPresets, TwentyThreeRowsInSevenFoldersInTableOrder)
{
    const auto& rows = reso::factory::presets();
    EXPECT_EQ (reso::factory::folders(), juce::StringArray ({ "BASS", "DRUMS", "GUITARS", "KEYS", "MASTERING", "MIX BUS", "VOCALS" }));

    int folder = 0;
    for (const auto& row : rows)
    {
        while (folder < 7 && reso::factory::folders()[folder] != row.folder)
            ++folder;
        ASSERT_LT (folder, 7) << row.name << " is out of folder order";
        EXPECT_FALSE (juce::String (row.description).isEmpty()) << row.name;
    }
    EXPECT_STREQ (rows.front().name, "SUB CLEAN");
    EXPECT_STREQ (rows.back().name, "ROOM TONE");
}

TEST (FactoryPresets, EveryRowGivesThirtyValuesOfThePresetList)
{
    for (const auto& row : reso::factory::presets())
    {
        const auto values = reso::factory::values (row);
        ASSERT_EQ (values.size(), 30u) << row.name;
        juce::StringArray ids;
        for (const auto& v : values)
            ids.add (v.id);
        for (const auto& id : reso::presetParameterIds())
            EXPECT_TRUE (ids.contains (id)) << row.name << " " << id;
        EXPECT_EQ (values[6].id, "mix");
        EXPECT_EQ (values[6].value, 1.0f);
        EXPECT_EQ (values[9].id, "low_protect");
        EXPECT_EQ (values[9].value, 250.0f);
    }
}

// Spot checks of rows against the table (the values through the processor are checked with the library).
TEST (FactoryPresets, RowsCarryTheirTableValues)
{
    const auto& rows = reso::factory::presets();
    auto value = [] (const reso::FactoryPreset& row, const char* id) {
        for (const auto& v : reso::factory::values (row))
            if (v.id == id)
                return v.value;
        return -1.0f;
    };

    const auto& sub = rows[0];
    EXPECT_EQ (value (sub, "focus_low"), 40.0f);
    EXPECT_EQ (value (sub, "focus_high"), 300.0f);
    EXPECT_EQ (value (sub, "attack"), 60.0f);
    EXPECT_EQ (value (sub, "release"), 300.0f);
    EXPECT_EQ (value (sub, "mode"), 0.0f);

    const auto& snare = rows[3];
    EXPECT_STREQ (snare.name, "SNARE RING");
    EXPECT_EQ (value (snare, "depth"), 0.7f);
    EXPECT_EQ (value (snare, "mode"), 1.0f);

    const auto& harsh = rows[18];
    EXPECT_STREQ (harsh.name, "HARSH 2 TO 5K");
    EXPECT_EQ (value (harsh, "b4_freq"), 3500.0f);
    EXPECT_EQ (value (harsh, "b4_gain"), 3.0f);
    EXPECT_EQ (value (harsh, "b4_q"), 1.2f);
    EXPECT_EQ (value (harsh, "b4_type"), 0.0f);

    const auto& sibilant = rows[21];
    EXPECT_STREQ (sibilant.name, "SIBILANT SOFT");
    EXPECT_EQ (value (sibilant, "b5_type"), 2.0f);
    EXPECT_EQ (value (sibilant, "b5_freq"), 7000.0f);
    EXPECT_EQ (value (sibilant, "b5_gain"), 3.0f);

    int exceptions = 0;
    for (const auto& row : rows)
        for (int b = 1; b <= 5; ++b)
            if (value (row, reso::ids::band (b, "gain").toRawUTF8()) != 0.0f)
                ++exceptions;
    EXPECT_EQ (exceptions, 2) << "all other bands are the parameter defaults";
}

} // namespace
