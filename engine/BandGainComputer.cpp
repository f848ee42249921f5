#include "BandGainComputer.h"

#include "FastMath.h"

#include <algorithm>
#include <cmath>

namespace reso
{

namespace
{
constexpr double ln2 = 0.69314718055994530942;

// One-pole coefficient for a step of dtMs against a time constant of tauMs; 1 when the time is 0 or less.
float onePole (double dtMs, double tauMs) noexcept
{
    return tauMs > 0.0 ? (float) (1.0 - std::exp (-dtMs / tauMs)) : 1.0f;
}

float smoothstep (float x) noexcept
{
    if (x <= 0.0f)
        return 0.0f;
    if (x >= 1.0f)
        return 1.0f;
    return x * x * (3.0f - 2.0f * x);
}

int nearest (double x) noexcept { return (int) std::lround (x); }

// Geometric interpolation through three table values at t = 0, 0.5 and 1.
double geo (const float (&x)[3], float s) noexcept
{
    const double t = std::clamp ((double) s, 0.0, 1.0);
    if (t < 0.5)
        return x[0] * std::pow ((double) x[1] / x[0], 2.0 * t);
    return x[1] * std::pow ((double) x[2] / x[1], 2.0 * t - 1.0);
}
} // namespace

double BandGainComputer::erbNumber (double hz) noexcept { return 21.4 * std::log10 (4.37 * hz / 1000.0 + 1.0); }

double BandGainComputer::erbFrequency (double erb) noexcept
{
    return (std::pow (10.0, erb / 21.4) - 1.0) / 4.37 * 1000.0;
}

double BandGainComputer::erbBandwidth (double hz) noexcept { return 24.7 * (4.37 * hz / 1000.0 + 1.0); }

float BandGainComputer::presenceAt (double hz) const noexcept
{
    const float* f = config.presenceFreqHz;
    const float* w = config.presenceWeight;
    if (hz < f[0])
        return 0.0f;
    if (hz >= f[7])
        return w[7];
    for (int i = 0; i < 7; ++i)
    {
        if (hz < f[i + 1])
        {
            const double t = std::log (hz / f[i]) / std::log ((double) f[i + 1] / f[i]);
            return (float) (w[i] + (w[i + 1] - w[i]) * t);
        }
    }
    return w[7];
}

void BandGainComputer::prepare (int fftSize, double rate, const EngineConfig& cfg, int periodSamples)
{
    config = cfg;
    isEnabled = config.bandGainOn != 0;
    n = fftSize;
    bins = n / 2 + 1;
    sampleRate = rate;
    binHz = sampleRate / n;

    const double topHz = std::min (0.45 * sampleRate, (double) config.detectHighHz);
    outFirst = std::max (2, (int) std::ceil (config.presenceFreqHz[0] / binHz));
    outLast = std::min ((int) std::floor (topHz / binHz), n / 2 - 2);
    sumFirst = 1;
    sumLast = bins - 2;

    // band grid
    erbLow = erbNumber (std::max (0.8 * config.detectLowHz, binHz));
    const double erbHigh = std::min (erbNumber (topHz) + 1.0, erbNumber (0.5 * sampleRate - 2.0 * binHz));
    erbStep = std::max ((double) config.erbStep, 0.05);
    numBands = std::max (2, (int) std::ceil ((erbHigh - erbLow) / erbStep) + 1);

    const auto nb = (size_t) numBands;
    bandFreq.assign (nb, 0.0);
    bandCorrDb.assign (nb, 0.0f);
    presenceBand.assign (nb, 0.0f);
    bandCurveBin.assign (nb, 0);
    const double frameCorrDb = 10.0 * std::log10 (4.0 / ((double) n * n));
    for (int i = 0; i < numBands; ++i)
    {
        const double hz = erbFrequency (std::min (erbLow + i * erbStep, erbHigh));
        bandFreq[(size_t) i] = hz;
        bandCorrDb[(size_t) i] = (float) (10.0 * std::log10 (erbBandwidth (hz) / binHz) + frameCorrDb);
        presenceBand[(size_t) i] = presenceAt (hz);
        bandCurveBin[(size_t) i] = std::clamp (nearest (hz / binHz), 0, bins - 1);
    }

    // bin-to-band map
    const auto nbins = (size_t) bins;
    binBand.assign (nbins, 0);
    binFrac.assign (nbins, 0.0f);
    presenceBins.assign (nbins, 0.0f);
    for (int k = 0; k < bins; ++k)
    {
        const double e = (erbNumber (std::max (k * binHz, 1.0)) - erbLow) / erbStep;
        const int b = std::clamp ((int) std::floor (std::max (e, 0.0)), 0, numBands - 2);
        const float frac = (float) std::clamp (e - b, 0.0, 1.0);
        binBand[(size_t) k] = b;
        binFrac[(size_t) k] = frac;
        presenceBins[(size_t) k] =
            presenceBand[(size_t) b] + (presenceBand[(size_t) b + 1] - presenceBand[(size_t) b]) * frac;
    }

    // update rate and smoothing
    const double periodMs = std::max (periodSamples, 1) * 1000.0 / sampleRate;
    divisor = std::max (1, nearest (config.bandUpdateMs / periodMs));
    updateIntervalMs = divisor * periodMs;
    slowCoeff = onePole (updateIntervalMs, config.bandSmoothingMs);
    fastCoeff = onePole (updateIntervalMs, config.bandFastSmoothingMs);
    attackCoeff = releaseCoeff = 1.0f;
    holdFrameCount = 0;
    cachedAttackScale = -1.0f;
    cachedReleaseScale = -1.0f;

    narrowLo.assign (nb, 0);
    narrowHi.assign (nb, 0);
    wideLo.assign (nb, 0);
    wideHi.assign (nb, 0);
    narrowInv.assign (nb, 1.0);
    wideInv.assign (nb, 1.0);
    smallBias.assign (nb, 0.0f);
    for (auto* v : { &narrowDb, &wideDb, &narrowSm, &wideSm, &narrowLower, &wideLower, &modulation, &excess, &amount,
             &cut, &gainDb })
        v->assign (nb, 0.0f);
    hold.assign (nb, 0);
    bandPrefix.assign (nb + 1, 0.0);

    for (auto* v : { &slowPower, &fastPower, &binDb, &amountBins, &excessBins, &gainBins })
        v->assign (nbins, 0.0f);
    binPrefix.assign (nbins + 1, 0.0);

    cachedSharpness = 0.5f;
    setBandWindows (cachedSharpness);
    inputLevelDb = 0.0f;
    gateValue = 1.0f;
    reset();
}

void BandGainComputer::reset() noexcept
{
    firstFrame = true;
    frameCounter = 0;
    std::fill (excess.begin(), excess.end(), 0.0f);
    std::fill (gainDb.begin(), gainDb.end(), 0.0f);
    std::fill (amount.begin(), amount.end(), 0.0f);
    std::fill (cut.begin(), cut.end(), 0.0f);
    std::fill (hold.begin(), hold.end(), 0);
    std::fill (amountBins.begin(), amountBins.end(), 0.0f);
    std::fill (excessBins.begin(), excessBins.end(), 0.0f);
    std::fill (gainBins.begin(), gainBins.end(), 0.0f);
}

void BandGainComputer::setBandWindows (float sharpness) noexcept
{
    const double a = geo (config.narrowWidthErb, sharpness);
    const double b = geo (config.envelopeWidthErb, sharpness);

    const auto window = [this] (double centre, double half, int& lo, int& hi)
    {
        lo = std::max (sumFirst, std::min (nearest (centre - half), sumLast));
        hi = std::max (lo, std::min (nearest (centre + half), sumLast));
    };

    for (size_t i = 0; i < (size_t) numBands; ++i)
    {
        const double c = bandFreq[i] / binHz;
        const double erbBins = erbBandwidth (bandFreq[i]) / binHz;
        window (c, std::max (0.5, erbBins * a / 2.0), narrowLo[i], narrowHi[i]);
        window (c, std::max (0.5, erbBins * config.wideWindowFactor * a / 2.0), wideLo[i], wideHi[i]);
        const int narrowCount = narrowHi[i] - narrowLo[i] + 1;
        narrowInv[i] = 1.0 / narrowCount;
        wideInv[i] = 1.0 / (wideHi[i] - wideLo[i] + 1);
        smallBias[i] = (float) (std::max (std::sqrt (config.smallBandBiasBins / (double) narrowCount) - 1.0, 0.0)
                                * config.smallBandBiasScale);
    }

    envelopeHalfBands = std::max (1, nearest ((b / (erbStep * 1.18) - 1.0) * 0.5));
}

void BandGainComputer::updateBallistics (float attackScale, float releaseScale) noexcept
{
    cachedAttackScale = attackScale;
    cachedReleaseScale = releaseScale;
    const double attack = std::max ((double) attackScale, 0.01);
    const double release = std::max ((double) releaseScale, 0.01);

    attackCoeff = onePole (updateIntervalMs, std::pow (attack, (double) config.bandAttackCurve) * config.bandAttackMs);
    releaseCoeff = onePole (updateIntervalMs, release * config.bandReleaseMs);
    holdFrameCount = std::max (0, nearest (config.bandHoldMs * release / updateIntervalMs));

    const double a = std::clamp ((double) attackScale, 0.01, 1.0);
    double w = config.bandSmoothingMs;
    if (a != 1.0 && config.bandSmoothingCurve != 0.0f)
        w *= std::pow (a, (double) config.bandSmoothingCurve);
    slowCoeff = onePole (updateIntervalMs, w);
}

void BandGainComputer::bandMeans (const std::vector<float>& power, const std::vector<int>& lo,
    const std::vector<int>& hi, const std::vector<double>& inv, float* out) noexcept
{
    const bool logMeans = config.logDomainMeans;
    binPrefix[(size_t) sumFirst] = 0.0;
    for (int k = sumFirst; k <= sumLast; ++k)
    {
        const float v = logMeans ? fastmath::powerToDb (power[(size_t) k] + 1e-20f) : power[(size_t) k];
        binPrefix[(size_t) k + 1] = binPrefix[(size_t) k] + v;
    }

    for (size_t i = 0; i < (size_t) numBands; ++i)
    {
        const double mean = (binPrefix[(size_t) hi[i] + 1] - binPrefix[(size_t) lo[i]]) * inv[i];
        out[i] = logMeans ? (float) mean : fastmath::powerToDb ((float) (mean + 1e-20));
    }
}

void BandGainComputer::boxSmooth (const float* in, float* out, int halfBands, int passes) noexcept
{
    const int last = numBands - 1;
    for (int p = 0; p < passes; ++p)
    {
        const float* src = p == 0 ? in : out;
        for (int i = 0; i <= last; ++i)
            bandPrefix[(size_t) i + 1] = bandPrefix[(size_t) i] + src[i];
        for (int i = 0; i <= last; ++i)
        {
            const int lo = std::max (i - halfBands, 0);
            const int hi = std::min (i + halfBands, last);
            out[i] = (float) ((bandPrefix[(size_t) hi + 1] - bandPrefix[(size_t) lo]) / (hi - lo + 1));
        }
    }
}

void BandGainComputer::compute (const float* levelDb, const BlockControls& controls, const float* curve) noexcept
{
    if (! isEnabled || levelDb == nullptr)
        return;

    const std::int64_t frame = frameCounter++;
    if (frame % divisor != 0)
        return;

    if (controls.attackScale != cachedAttackScale || controls.releaseScale != cachedReleaseScale)
        updateBallistics (controls.attackScale, controls.releaseScale);

    if (controls.sharpness != cachedSharpness)
    {
        cachedSharpness = controls.sharpness;
        setBandWindows (cachedSharpness);
    }

    // smoothed bin powers
    for (int k = sumFirst; k <= sumLast; ++k)
    {
        const float p = fastmath::dbToPower (levelDb[k]);
        auto& slow = slowPower[(size_t) k];
        auto& fast = fastPower[(size_t) k];
        if (firstFrame)
        {
            slow = p;
            fast = p;
        }
        else
        {
            slow += (p - slow) * slowCoeff;
            fast += (p - fast) * fastCoeff;
        }
    }
    firstFrame = false;

    // band levels and their envelope across bands
    bandMeans (slowPower, narrowLo, narrowHi, narrowInv, narrowDb.data());
    bandMeans (fastPower, wideLo, wideHi, wideInv, wideDb.data());
    boxSmooth (narrowDb.data(), narrowSm.data(), envelopeHalfBands, 3);
    boxSmooth (wideDb.data(), wideSm.data(), envelopeHalfBands, 3);

    const float d = std::clamp (controls.depth, 0.0f, 1.0f);
    float envelopeBlend = std::clamp (
        (d - config.envelopeDepthStart) / std::max (config.envelopeDepthFull - config.envelopeDepthStart, 0.001f), 0.0f,
        1.0f);
    if (config.envelopeDepthCurve != 1.0f)
        envelopeBlend = std::pow (envelopeBlend, config.envelopeDepthCurve);

    if (envelopeBlend > 0.0f && config.envelopeMinPasses > 0)
    {
        std::copy (narrowSm.begin(), narrowSm.end(), narrowLower.begin());
        std::copy (wideSm.begin(), wideSm.end(), wideLower.begin());
        for (int pass = 0; pass < config.envelopeMinPasses; ++pass)
        {
            for (size_t i = 0; i < (size_t) numBands; ++i)
            {
                narrowLower[i] = std::min (narrowLower[i], narrowDb[i]);
                wideLower[i] = std::min (wideLower[i], wideDb[i]);
            }
            boxSmooth (narrowLower.data(), narrowLower.data(), envelopeHalfBands, 3);
            boxSmooth (wideLower.data(), wideLower.data(), envelopeHalfBands, 3);
        }
        for (size_t i = 0; i < (size_t) numBands; ++i)
        {
            narrowSm[i] += (narrowLower[i] - narrowSm[i]) * envelopeBlend;
            wideSm[i] += (wideLower[i] - wideSm[i]) * envelopeBlend;
        }
    }

    // frame constants
    const float amountScale = std::max (config.amountScaleDb, 0.1f);
    const float threshold = config.thresholdBaseDb - d * config.thresholdDepthDb - amountScale * (float) ln2;
    const float g0 = std::min (d / std::max (config.depthRampEnd, 0.001f), 1.0f);
    float depthRamp = smoothstep (g0);
    if (config.depthRampCurve != 1.0f)
        depthRamp = std::pow (depthRamp, config.depthRampCurve);

    gateValue = 1.0f;
    if (config.levelGateRangeDb > 0.0f)
    {
        const float x = (inputLevelDb - (config.levelGateDb - d * config.thresholdDepthDb)) / config.levelGateRangeDb;
        gateValue = smoothstep (std::clamp (x + 0.5f, 0.0f, 1.0f));
    }

    const float sel = controls.selectivity;
    const float selOffset = (sel - 0.5f) * 2.0f * (sel >= 0.5f ? config.selectivityUpDb : config.selectivityDownDb);

    float transientOffset = config.transientOffsetDb;
    const float attackClamped = std::clamp (controls.attackScale, 0.01f, 1.0f);
    if (attackClamped < 1.0f && config.transientAttackCurve != 0.0f)
        transientOffset *= std::pow (attackClamped, config.transientAttackCurve);

    const float cutFactor = config.cutScale * (controls.hardMode ? config.hardCutFactor : 1.0f);
    const float transientRange = std::max (config.transientRangeDb, 0.05f);
    const float excessScale = std::max (config.excessScale, 0.05f);
    const float biasRamp = std::max (config.biasRampDb, 0.05f);
    const float kneeWidth = config.cutKneeDb;

    // modulation: how much more the wide window moved than the narrow one
    for (size_t i = 0; i < (size_t) numBands; ++i)
        modulation[i] = (wideDb[i] - wideSm[i]) - (narrowDb[i] - narrowSm[i]);
    if (config.modulationSmoothBands > 0)
        boxSmooth (modulation.data(), modulation.data(), config.modulationSmoothBands, 1);

    for (size_t i = 0; i < (size_t) numBands; ++i)
    {
        const float m = modulation[i];
        const float transient =
            smoothstep ((m >= 0.0f ? m - transientOffset : -m - config.transientNegOffsetDb) / transientRange);

        float f;
        switch (config.floorMode)
        {
            case 0:
                f = std::max (narrowSm[i], wideSm[i]);
                break;
            case 1:
                f = narrowSm[i];
                break;
            case 2:
                f = wideSm[i];
                break;
            default:
                f = wideSm[i] + (wideDb[i] - wideSm[i]) * config.floorBlend;
                break;
        }
        f += bandCorrDb[i];
        if (curve != nullptr)
            f += curve[bandCurveBin[i]];
        f -= threshold;

        float e;
        if (config.kneeDb > 0.0f)
            e = config.kneeDb * (float) std::log1p (std::exp ((double) std::min (f / config.kneeDb, 30.0f)));
        else
            e = std::max (f, 0.0f);
        amount[i] = (1.0f - std::exp (-e / amountScale)) * depthRamp * gateValue;

        excess[i] = (narrowDb[i] - narrowSm[i]) + transient * m;

        const float bias = smallBias[i] + config.excessBiasDb;
        float o = excess[i] / excessScale - selOffset - envelopeBlend * config.envelopeOffsetDb - bias;
        if (kneeWidth > 0.0f)
        {
            if (o <= -0.5f * kneeWidth)
                o = 0.0f;
            else if (o < 0.5f * kneeWidth)
                o = (o + 0.5f * kneeWidth) * (o + 0.5f * kneeWidth) / (2.0f * kneeWidth);
        }
        else
        {
            o = std::max (o, 0.0f);
        }
        float q = std::min (o / biasRamp, 1.0f) * bias + o;
        if (config.cutCurve != 1.0f && q > 0.0f)
            q = config.cutCurveRefDb * std::pow (q / config.cutCurveRefDb, config.cutCurve);

        cut[i] = std::min (amount[i] * cutFactor * presenceBand[i] * q, config.maxCutDb);
    }

    // attack, hold and release per band
    for (size_t i = 0; i < (size_t) numBands; ++i)
    {
        const float target = -cut[i];
        float c = gainDb[i];
        if (c > target)
        {
            hold[i] = holdFrameCount;
            c += (target - c) * attackCoeff;
        }
        else if (hold[i] < 1)
        {
            c += (target - c) * releaseCoeff;
        }
        else
        {
            --hold[i];
        }
        gainDb[i] = c > -0.005f ? 0.0f : c;
    }

    // back onto the bins
    const auto interpolate = [this] (const std::vector<float>& v, int k)
    {
        const auto b = (size_t) binBand[(size_t) k];
        return v[b] + (v[b + 1] - v[b]) * binFrac[(size_t) k];
    };
    for (int k = 0; k < bins; ++k)
        amountBins[(size_t) k] = interpolate (amount, k);
    for (int k = outFirst; k <= outLast; ++k)
    {
        excessBins[(size_t) k] = interpolate (excess, k);
        gainBins[(size_t) k] = interpolate (gainDb, k);
    }
}

} // namespace reso
