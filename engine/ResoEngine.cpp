#include "ResoEngine.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define RESO_HAS_MXCSR 1
#endif

namespace reso
{

namespace
{
constexpr float quarterPi = 0.785398163397448f;

// Sets flush-to-zero and denormals-are-zero for its lifetime and restores the previous state.
struct ScopedFlushDenormals
{
#if RESO_HAS_MXCSR
    ScopedFlushDenormals() noexcept : saved (_mm_getcsr()) { _mm_setcsr (saved | 0x8040u); }
    ~ScopedFlushDenormals() { _mm_setcsr (saved); }
    unsigned int saved;
#endif
};

inline float sanitise (float x) noexcept { return std::abs (x) < 1.0e9f ? x : 0.0f; }
} // namespace

void ResoEngine::prepare (double sampleRate, const EngineConfig& config, int numChannels)
{
    channelCount = numChannels < 2 ? 1 : 2;
    n = config.fftSize;
    rate = sampleRate;

    for (int c = 0; c < channelCount; ++c)
        channels[c].prepare (sampleRate, config);

    cosRing.assign ((size_t) n, 1.0f);
    sinRing.assign ((size_t) n, 0.0f);
    for (auto* buffer : { &in0, &in1, &out0, &out1, &side, &cosBuf, &sinBuf })
        buffer->assign ((size_t) workSize, 0.0f);
    ringMask = n - 1;
    maxStep = 3.14159265358979f / 16384.0f;
    resetStereoState();

    trimCoefficient = (float) (1.0 - std::exp (-1000.0 / (std::max (config.outputSmoothingMs, 0.1f) * sampleRate)));
    trimSnap = true;
}

void ResoEngine::reset() noexcept
{
    for (int c = 0; c < channelCount; ++c)
        channels[c].reset();
    resetStereoState();
    trimSnap = true;
}

void ResoEngine::resetStereoState() noexcept
{
    angle = controls.stereoMode == 2 ? quarterPi : 0.0f;
    cosAngle = std::cos (angle);
    sinAngle = std::sin (angle);
    std::fill (cosRing.begin(), cosRing.end(), cosAngle);
    std::fill (sinRing.begin(), sinRing.end(), sinAngle);
    ringWrite = 0;
    transitionCounter = 0;
}

void ResoEngine::loadBlockControls (const BlockControls& newControls) noexcept
{
    controls = newControls;
    for (int c = 0; c < channelCount; ++c)
        channels[c].setControls (controls);
}

void ResoEngine::stepTrim (float targetTrim) noexcept
{
    // snaps within 1e-6, or once a step no longer moves the gain (single precision stalls short of 1e-6)
    if (trimGain != targetTrim)
    {
        const float next = trimGain + (targetTrim - trimGain) * trimCoefficient;
        trimGain = (next == trimGain || std::abs (targetTrim - next) < 1.0e-6f) ? targetTrim : next;
    }
}

void ResoEngine::process (float* left, float* right, int numSamples) noexcept
{
    ScopedFlushDenormals noDenormals;

    const float targetTrim = std::pow (10.0f, controls.trimDb / 20.0f);
    if (trimSnap)
    {
        trimGain = targetTrim;
        trimSnap = false;
    }
    const bool trimActive = ! (trimGain == 1.0f && targetTrim == 1.0f);

    if (numSamples <= 0 || left == nullptr || n <= 0)
        return;

    if (channelCount == 1 || right == nullptr)
        processMono (left, numSamples, targetTrim, trimActive);
    else
        processStereo (left, right, numSamples, targetTrim, trimActive);
}

void ResoEngine::processMono (float* samples, int numSamples, float targetTrim, bool trimActive) noexcept
{
    auto& ch = channels[0];

    for (int done = 0; done < numSamples;)
    {
        const int piece = std::min (numSamples - done, ch.hopSize() - ch.samplesSinceHop());
        ch.processSamples (samples + done, samples + done, piece, nullptr);
        if (ch.hopDue())
            ch.runHop();
        done += piece;
    }

    if (trimActive)
        for (int i = 0; i < numSamples; ++i)
        {
            stepTrim (targetTrim);
            samples[i] *= trimGain;
        }
}

void ResoEngine::processStereo (float* left, float* right, int numSamples, float targetTrim, bool trimActive) noexcept
{
    const int mode = controls.stereoMode;
    const bool link = mode == 1;
    channels[0].setAnalysisOff (false);
    channels[1].setAnalysisOff (link);

    auto& ch0 = channels[0];
    auto& ch1 = channels[1];
    const float target = mode == 2 ? quarterPi : 0.0f;

    for (int done = 0; done < numSamples;)
    {
        const int count = std::min ({ numSamples - done, ch0.hopSize() - ch0.samplesSinceHop(), workSize });
        float* l = left + done;
        float* r = right + done;

        // bad samples are cleaned per channel before the matrix, so one bad channel never spoils the other
        for (int i = 0; i < count; ++i)
        {
            const float x0 = sanitise (l[i]);
            const float x1 = sanitise (r[i]);

            if (angle != target)
            {
                angle += std::clamp (target - angle, -maxStep, maxStep);
                if (std::abs (target - angle) < 1.0e-6f)
                    angle = target;
                cosAngle = std::cos (angle);
                sinAngle = std::sin (angle);
            }
            if (angle != 0.0f && angle != quarterPi)
                transitionCounter = n + 512;

            if (angle != 0.0f)
            {
                const float c = cosAngle, s = sinAngle;
                in0[(size_t) i] = s * x1 + c * x0;
                in1[(size_t) i] = c * x1 - s * x0;
                cosBuf[(size_t) i] = c;
                sinBuf[(size_t) i] = s;
            }
            else
            {
                in0[(size_t) i] = x0;
                in1[(size_t) i] = x1;
                cosBuf[(size_t) i] = 1.0f;
                sinBuf[(size_t) i] = 0.0f;
            }

            if (link)
                side[(size_t) i] = 0.5f * (x0 + x1);
        }

        ch0.processSamples (in0.data(), out0.data(), count, link ? side.data() : nullptr);
        ch1.processSamples (in1.data(), out1.data(), count, nullptr);

        if (ch0.hopDue())
        {
            if (link)
            {
                ch0.transform();
                ch1.transform();
                if (ch0.isAnalysisFrame())
                    ch0.mergeLouderSpectrum (ch1);
                ch0.analyseFrame();
                if (ch0.isAnalysisFrame())
                {
                    ch1.copyMaskFrom (ch0);
                    ch1.clearPeaks();
                }
                ch0.applyAndResynthesise();
                ch1.applyAndResynthesise();
            }
            else if (transitionCounter < 1)
            {
                ch0.runHop();
                ch1.runHop();
            }
            else
            {
                // while the matrix turns, both channels use channel 0's gains
                ch0.transform();
                ch1.transform();
                ch0.analyseFrame();
                if (ch1.isAnalysisFrame())
                {
                    ch1.analyseFrame();
                    ch1.copyMaskFrom (ch0);
                }
                ch0.applyAndResynthesise();
                ch1.applyAndResynthesise();
            }
        }

        for (int i = 0; i < count; ++i)
        {
            const auto slot = (size_t) (ringWrite & ringMask);
            const float c0 = cosRing[slot], s0 = sinRing[slot];
            cosRing[slot] = cosBuf[(size_t) i];
            sinRing[slot] = sinBuf[(size_t) i];
            ++ringWrite;

            float outL = out0[(size_t) i], outR = out1[(size_t) i];
            if (s0 != 0.0f)
            {
                outL = out0[(size_t) i] * c0 - out1[(size_t) i] * s0;
                outR = out1[(size_t) i] * c0 + out0[(size_t) i] * s0;
            }
            if (trimActive)
            {
                stepTrim (targetTrim);
                outL *= trimGain;
                outR *= trimGain;
            }
            l[i] = outL;
            r[i] = outR;
        }

        transitionCounter = std::max (0, transitionCounter - count);
        done += count;
    }
}

} // namespace reso
