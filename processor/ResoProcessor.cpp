#include "ResoProcessor.h"

#include "BootLog.h"
#include "UserData.h"

#include <cmath>

namespace reso
{

namespace
{
float load (const std::atomic<float>* value) noexcept { return value->load (std::memory_order_relaxed); }

std::vector<juce::RangedAudioParameter*> editTrackedParameters (juce::AudioProcessorValueTreeState& tree)
{
    std::vector<juce::RangedAudioParameter*> list;
    for (const auto& id : editTrackedParameterIds())
        list.push_back (tree.getParameter (id));
    return list;
}
} // namespace

ResoProcessor::ResoProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
    , parameters (*this, nullptr, stateType, createParameterLayout())
    , editState (editTrackedParameters (parameters))
{
    auto pointer = [this] (const juce::String& id) {
        auto* p = parameters.getRawParameterValue (id);
        jassert (p != nullptr);
        return p;
    };

    raw.depth = pointer (ids::depth);
    raw.sharpness = pointer (ids::sharpness);
    raw.selectivity = pointer (ids::selectivity);
    raw.focusLow = pointer (ids::focusLow);
    raw.focusHigh = pointer (ids::focusHigh);
    raw.mix = pointer (ids::mix);
    raw.delta = pointer (ids::delta);
    raw.bypass = pointer (ids::bypass);
    raw.attack = pointer (ids::attack);
    raw.release = pointer (ids::release);
    raw.mode = pointer (ids::mode);
    raw.stereo = pointer (ids::stereo);
    raw.quality = pointer (ids::quality);
    raw.trim = pointer (ids::trim);
    raw.lowProtect = pointer (ids::lowProtect);
    const char* const suffixes[] = { "type", "freq", "gain", "q" };
    for (int b = 0; b < numBands; ++b)
        for (int s = 0; s < 4; ++s)
            raw.bands[b][s] = pointer (ids::band (b + 1, suffixes[s]));

    for (int q = 0; q < 3; ++q)
        for (int c = 0; c < 2; ++c)
            publishContexts[(size_t) q][(size_t) c] = { this, q, c, 0 };

    qualityParameter = parameters.getParameter (ids::quality);
    qualityParameter->addListener (this);

    // hosts may ask for the latency before the first prepare
    setLatencySamples (reportedLatency.load());

    BootLog::writeOncePerProcess();

    // the user's default preset, set directly: no undo step, no current preset
    presetLibrary = std::make_unique<PresetLibrary> (userDataFolder());
    PresetValues defaults;
    if (presetLibrary->loadDefault (defaults))
        for (const auto& v : defaults)
            if (auto* p = parameters.getParameter (v.id))
                p->setValueNotifyingHost (p->convertTo0to1 (v.value));
}

ResoProcessor::~ResoProcessor()
{
    qualityParameter->removeListener (this);
    cancelPendingUpdate();
    for (auto& engine : engines)
        for (int c = 0; c < 2; ++c)
            engine.channel (c).attachPublisher (nullptr, nullptr);
}

//==============================================================================
bool ResoProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto in = layouts.getMainInputChannelSet();
    const auto out = layouts.getMainOutputChannelSet();
    return in == out && (out == juce::AudioChannelSet::mono() || out == juce::AudioChannelSet::stereo());
}

int ResoProcessor::qualityParameterIndex() const noexcept { return choiceIndex (load (raw.quality), 3); }

BlockControls ResoProcessor::currentBlockControls (bool bypassed) const noexcept
{
    RawControlValues v;
    v.depth = load (raw.depth);
    v.sharpness = load (raw.sharpness);
    v.selectivity = load (raw.selectivity);
    v.focusLow = load (raw.focusLow);
    v.focusHigh = load (raw.focusHigh);
    v.mix = load (raw.mix);
    v.delta = load (raw.delta);
    v.bypass = load (raw.bypass);
    v.attack = load (raw.attack);
    v.release = load (raw.release);
    v.mode = load (raw.mode);
    v.stereo = load (raw.stereo);
    v.quality = load (raw.quality);
    v.trim = load (raw.trim);
    v.lowProtect = load (raw.lowProtect);
    for (int b = 0; b < numBands; ++b)
        v.bands[b] = { load (raw.bands[b][0]), load (raw.bands[b][1]), load (raw.bands[b][2]), load (raw.bands[b][3]) };
    return makeBlockControls (v, bypassed);
}

void ResoProcessor::prepareToPlay (double newSampleRate, int)
{
    sampleRate.exchange (newSampleRate);
    channelCount = juce::jlimit (1, 2, getTotalNumInputChannels());

    for (int q = 0; q < 3; ++q)
    {
        auto& engine = engines[(size_t) q];
        EngineConfig config;
        config.fftSize = qualityFftSizes[(size_t) q];

        for (int c = 0; c < 2; ++c)
            engine.channel (c).attachPublisher (nullptr, nullptr);

        engine.loadBlockControls (currentBlockControls (false));
        engine.prepare (newSampleRate, config, channelCount);
        engine.loadBlockControls (currentBlockControls (false));

        for (int c = 0; c < channelCount; ++c)
        {
            slots[(size_t) q][(size_t) c].clear ((float) newSampleRate, engine.channel (c).referenceLevelDb());
            auto& context = publishContexts[(size_t) q][(size_t) c];
            context.counter = 0;
            engine.channel (c).attachPublisher (&ResoProcessor::publishFrame, &context);
        }

        const double hop = (double) config.fftSize / config.overlap;
        publishDivisor[(size_t) q] = juce::jmax (1, (int) std::lround (newSampleRate / (hop * 60.0)));
    }

    const int idx = qualityParameterIndex();
    currentQuality = targetQuality = idx;
    switchState = SwitchState::idle;
    publishedQuality.exchange (idx);
    reportedLatency.exchange (qualityFftSizes[(size_t) idx]);
    setLatencySamples (qualityFftSizes[(size_t) idx]);
    prepared = true;
}

void ResoProcessor::reset()
{
    if (! prepared)
        return;

    for (auto& engine : engines)
        engine.reset();
    switchState = SwitchState::idle;
    const int idx = qualityParameterIndex();
    targetQuality = currentQuality = idx;
    publishedQuality.exchange (idx);
}

//==============================================================================
void ResoProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) { runBlock (buffer, false); }

void ResoProcessor::processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    runBlock (buffer, true);
}

juce::AudioProcessorParameter* ResoProcessor::getBypassParameter() const { return parameters.getParameter (ids::bypass); }

void ResoProcessor::runBlock (juce::AudioBuffer<float>& buffer, bool bypassed) noexcept
{
    juce::ScopedNoDenormals noDenormals;

    const int numSamples = buffer.getNumSamples();
    const int channels = buffer.getNumChannels();
    const int used = juce::jmin (channels, 2);

    if (! buffer.hasBeenCleared())
        for (int c = used; c < channels; ++c)
            buffer.clear (c, 0, numSamples);

    if (! prepared || numSamples <= 0 || used < 1)
        return;

    const auto controls = currentBlockControls (bypassed);

    float* left = buffer.getWritePointer (0); // also marks the buffer as not clear
    float* right = nullptr;
    if (used > 1 && channelCount > 1)
        right = buffer.getWritePointer (1);

    for (int offset = 0; offset < numSamples; offset += maxChunk)
    {
        const int count = juce::jmin (maxChunk, numSamples - offset);
        processChunk (left + offset, right != nullptr ? right + offset : nullptr, count, controls);
    }
}

void ResoProcessor::processChunk (float* left, float* right, int numSamples, const BlockControls& controls) noexcept
{
    if (switchState == SwitchState::idle)
    {
        const int idx = qualityParameterIndex();
        if (idx != currentQuality)
        {
            targetQuality = idx;
            engines[(size_t) idx].reset();
            switchState = SwitchState::warmingUp;
            fadePosition = 0;
            warmupRemaining = qualityFftSizes[(size_t) idx] + warmupExtra;
        }
    }

    auto& current = engines[(size_t) currentQuality];
    if (switchState == SwitchState::idle)
    {
        current.loadBlockControls (controls);
        current.process (left, right, numSamples);
        return;
    }

    std::copy (left, left + numSamples, scratchLeft.begin());
    if (right != nullptr)
        std::copy (right, right + numSamples, scratchRight.begin());

    current.loadBlockControls (controls);
    current.process (left, right, numSamples);

    auto& target = engines[(size_t) targetQuality];
    target.loadBlockControls (controls);
    target.process (scratchLeft.data(), right != nullptr ? scratchRight.data() : nullptr, numSamples);

    if (switchState == SwitchState::warmingUp)
    {
        warmupRemaining -= numSamples;
        if (warmupRemaining <= 0)
        {
            switchState = SwitchState::crossfading;
            fadePosition = 0;
        }
        return;
    }

    const float pi = juce::MathConstants<float>::pi;
    for (int i = 0; i < numSamples; ++i)
    {
        const float w = (1.0f - std::cos (pi * (float) juce::jmin (fadePosition, fadeLength) / (float) fadeLength)) / 2.0f;
        left[i] += (scratchLeft[(size_t) i] - left[i]) * w;
        if (right != nullptr)
            right[i] += (scratchRight[(size_t) i] - right[i]) * w;
        ++fadePosition;
    }

    if (fadePosition >= fadeLength)
    {
        currentQuality = targetQuality;
        publishedQuality.exchange (targetQuality);
        switchState = SwitchState::idle;
    }
}

//==============================================================================
void ResoProcessor::parameterValueChanged (int, float) { triggerAsyncUpdate(); }

void ResoProcessor::handleAsyncUpdate()
{
    // Read the parameter itself, not the tree's raw value: the tree updates that in a listener of its own,
    // which may run after this update when the change came from another thread.
    const int index = choiceIndex (qualityParameter->convertFrom0to1 (qualityParameter->getValue()), 3);
    const int latency = qualityFftSizes[(size_t) index];
    if (latency != reportedLatency.load())
    {
        reportedLatency.exchange (latency);
        setLatencySamples (latency);
    }
}

void ResoProcessor::publishFrame (const FrameReport& report, PublishContext& context)
{
    auto& self = *static_cast<ResoProcessor*> (context.owner);
    if (self.openEditorCount.load (std::memory_order_relaxed) < 1)
        return;
    if (self.publishedQuality.load (std::memory_order_relaxed) != context.quality)
        return;
    if (++context.counter < self.publishDivisor[(size_t) context.quality])
        return;
    context.counter = 0;

    self.slots[(size_t) context.quality][(size_t) context.channel].publish (
        report.levelDb, report.reductionDb, report.binCount, (float) report.sampleRate, report.referenceLevelDb);
}

bool ResoProcessor::readAnalysisSnapshot (int channel, float* levelOut, float* reductionOut, int* binCountOut,
                                          float* sampleRateOut, float* referenceLevelOut) const noexcept
{
    const int q = juce::jlimit (0, 2, publishedQuality.load());
    const int c = juce::jlimit (0, 1, channel);
    return slots[(size_t) q][(size_t) c].read (levelOut, reductionOut, binCountOut, sampleRateOut, referenceLevelOut);
}

//==============================================================================
juce::AudioProcessorEditor* ResoProcessor::createEditor() { return new juce::GenericAudioProcessorEditor (*this); }

void ResoProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    pluginState.save (parameters, editState, destData);
}

void ResoProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (pluginState.load (data, sizeInBytes, parameters, editState))
        triggerAsyncUpdate(); // the latency follows the restored quality
}

} // namespace reso
