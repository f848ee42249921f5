#include "ControlValues.h"

#include <algorithm>
#include <cmath>

namespace reso
{

int choiceIndex (float raw, int count) noexcept
{
    if (! std::isfinite (raw))
        return 0;
    const long nearest = std::lround (std::clamp (raw, -1.0e6f, 1.0e6f));
    return (int) std::clamp (nearest, 0L, (long) count - 1);
}

BlockControls makeBlockControls (const RawControlValues& raw, bool bypassed) noexcept
{
    BlockControls c;
    c.depth = raw.depth;
    c.sharpness = raw.sharpness;
    c.bypassed = bypassed || raw.bypass > 0.5f;
    c.delta = raw.delta > 0.5f;
    c.selectivity = raw.selectivity;
    c.mix = raw.mix;
    c.focusLow = raw.focusLow <= 20.02f ? 0.0f : raw.focusLow;

    const float high = std::max (raw.focusLow * 1.1f, raw.focusHigh);
    c.focusHigh = high >= 19980.0f ? 0.0f : high;

    c.hardMode = raw.mode > 0.5f;
    c.attackScale = std::abs (raw.attack - 40.0f) < 0.01f ? 1.0f : raw.attack / 40.0f;
    c.releaseScale = std::abs (raw.release - 220.0f) < 0.05f ? 1.0f : raw.release / 220.0f;
    c.lowProtect = raw.lowProtect <= 40.5f ? 0.0f : raw.lowProtect;

    for (int b = 0; b < 5; ++b)
    {
        const auto& in = raw.bands[b];
        auto& out = c.bands[b];
        out.type = choiceIndex (in.type, 3);
        out.freq = in.freq;
        out.gain = std::abs (in.gain) < 0.005f ? 0.0f : in.gain;
        out.q = in.q;
    }

    c.stereoMode = choiceIndex (raw.stereo, 3);
    c.trimDb = std::abs (raw.trim) < 0.005f ? 0.0f : raw.trim;
    return c;
}

} // namespace reso
