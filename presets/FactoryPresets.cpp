#include "FactoryPresets.h"

#include "processor/Parameters.h"

namespace reso::factory
{

namespace
{
constexpr std::array<FactoryBand, 5> defaultBands { { { 1, 63.0f, 0.0f, 0.71f },
                                                      { 0, 250.0f, 0.0f, 1.0f },
                                                      { 0, 1000.0f, 0.0f, 1.0f },
                                                      { 0, 4000.0f, 0.0f, 1.0f },
                                                      { 2, 11000.0f, 0.0f, 0.71f } } };

constexpr std::array<FactoryBand, 5> withBand (int band, FactoryBand value)
{
    auto bands = defaultBands;
    bands[(size_t) band - 1] = value;
    return bands;
}

constexpr bool soft = false, hard = true;

const std::array<FactoryPreset, count> rows { {
    { "BASS", "SUB CLEAN", "Tames boomy room modes under 300 Hz and leaves the fundamentals alone.",
      0.45f, 0.4f, 0.55f, 60, 300, soft, 40, 300, defaultBands },
    { "BASS", "BOX CUT", "Reduces the 150 to 600 Hz box of a direct bass.",
      0.5f, 0.5f, 0.5f, 40, 220, soft, 150, 600, defaultBands },
    { "BASS", "AMP FIZZ", "Calms the 800 Hz to 4 kHz fizz of a driven bass amp.",
      0.55f, 0.55f, 0.5f, 30, 180, hard, 800, 4000, defaultBands },
    { "DRUMS", "SNARE RING", "Removes the sustained ring of a snare shell between 180 Hz and 1.2 kHz.",
      0.7f, 0.6f, 0.5f, 20, 120, hard, 180, 1200, defaultBands },
    { "DRUMS", "TOM BOX", "Smooths the boxy ring of floor and rack toms from 100 to 600 Hz.",
      0.6f, 0.5f, 0.5f, 30, 160, soft, 100, 600, defaultBands },
    { "DRUMS", "OVERHEAD HARSH", "Softens harsh cymbal build up between 3 and 9 kHz.",
      0.5f, 0.45f, 0.55f, 50, 300, soft, 3000, 9000, defaultBands },
    { "GUITARS", "ACOUSTIC BOOM", "Calms the body boom of an acoustic guitar from 80 to 300 Hz.",
      0.5f, 0.45f, 0.5f, 50, 260, soft, 80, 300, defaultBands },
    { "GUITARS", "ELECTRIC FIZZ", "Takes the edge off amp fizz and pick noise from 2.5 to 8 kHz.",
      0.55f, 0.55f, 0.5f, 30, 200, soft, 2500, 8000, defaultBands },
    { "GUITARS", "CABINET HONK", "Reduces the honk of a small cabinet from 300 Hz to 1 kHz.",
      0.5f, 0.5f, 0.5f, 40, 220, soft, 300, 1000, defaultBands },
    { "KEYS", "PIANO HONK", "Tames the mid honk of an upright piano from 300 to 800 Hz.",
      0.45f, 0.45f, 0.6f, 60, 300, soft, 300, 800, defaultBands },
    { "KEYS", "EP BELL", "Reduces the shrill bell overtone of an electric piano at 3 to 6 kHz.",
      0.5f, 0.5f, 0.55f, 40, 240, soft, 3000, 6000, defaultBands },
    { "KEYS", "PAD SMOOTH", "Calms resonant peaks in synth pads across the whole range.",
      0.4f, 0.4f, 0.6f, 80, 400, soft, 20, 20000, defaultBands },
    { "MASTERING", "GENTLE POLISH", "Very light resonance control across a finished mix.",
      0.25f, 0.3f, 0.7f, 80, 400, soft, 20, 20000, defaultBands },
    { "MASTERING", "AIR SMOOTH", "Softens brittle resonances above 8 kHz.",
      0.35f, 0.35f, 0.6f, 60, 300, soft, 8000, 20000, defaultBands },
    { "MASTERING", "LOW MID CLEAR", "Clears the build up between 150 and 500 Hz in a dense master.",
      0.4f, 0.45f, 0.6f, 60, 300, soft, 150, 500, defaultBands },
    { "MASTERING", "TIGHT FINISH", "Firm full range control for a loud, bright master.",
      0.45f, 0.5f, 0.55f, 40, 220, hard, 20, 20000, defaultBands },
    { "MIX BUS", "GLUE CLEAN", "Light all round resonance control for the mix bus.",
      0.35f, 0.4f, 0.6f, 60, 300, soft, 20, 20000, defaultBands },
    { "MIX BUS", "DENSE MIX", "Firmer control for crowded mixes, hard mode.",
      0.5f, 0.5f, 0.45f, 30, 180, hard, 20, 20000, defaultBands },
    { "MIX BUS", "HARSH 2 TO 5K", "Reduces the 2 to 5 kHz harshness that builds up on a bus.",
      0.5f, 0.5f, 0.5f, 40, 220, soft, 2000, 5000, withBand (4, { 0, 3500.0f, 3.0f, 1.2f }) },
    { "VOCALS", "AIRY TOP", "Keeps the air and tames ringing above 6 kHz.",
      0.4f, 0.4f, 0.6f, 50, 280, soft, 6000, 16000, defaultBands },
    { "VOCALS", "NASAL CUT", "Reduces nasal resonance between 700 Hz and 1.8 kHz.",
      0.55f, 0.55f, 0.5f, 30, 200, soft, 700, 1800, defaultBands },
    { "VOCALS", "SIBILANT SOFT", "Softens sibilant resonance from 5 to 9.5 kHz without dulling the voice.",
      0.45f, 0.5f, 0.55f, 20, 150, soft, 5000, 9500, withBand (5, { 2, 7000.0f, 3.0f, 0.71f }) },
    { "VOCALS", "ROOM TONE", "Takes recording room ringing between 150 and 600 Hz off a voice.",
      0.5f, 0.45f, 0.55f, 50, 260, soft, 150, 600, defaultBands },
} };
} // namespace

const std::array<FactoryPreset, count>& presets() { return rows; }

const juce::StringArray& folders()
{
    static const juce::StringArray list { "BASS", "DRUMS", "GUITARS", "KEYS", "MASTERING", "MIX BUS", "VOCALS" };
    return list;
}

PresetValues values (const FactoryPreset& row)
{
    PresetValues v { { ids::depth, row.depth },
                     { ids::sharpness, row.sharpness },
                     { ids::selectivity, row.selectivity },
                     { ids::attack, row.attack },
                     { ids::release, row.release },
                     { ids::mode, row.hard ? 1.0f : 0.0f },
                     { ids::mix, 1.0f },
                     { ids::focusLow, row.focusLow },
                     { ids::focusHigh, row.focusHigh },
                     { ids::lowProtect, 250.0f } };
    for (int b = 0; b < 5; ++b)
    {
        const auto& band = row.bands[(size_t) b];
        v.push_back ({ ids::band (b + 1, "type"), (float) band.type });
        v.push_back ({ ids::band (b + 1, "freq"), band.freq });
        v.push_back ({ ids::band (b + 1, "gain"), band.gain });
        v.push_back ({ ids::band (b + 1, "q"), band.q });
    }
    return v;
}

} // namespace reso::factory
