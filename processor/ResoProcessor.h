#pragma once

#include "ControlValues.h"
#include "EditState.h"
#include "Parameters.h"
#include "PluginState.h"
#include "engine/AnalysisSnapshot.h"
#include "presets/PresetLibrary.h"
#include "engine/ResoEngine.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>

namespace reso
{

// The object the host talks to. Owns the parameter tree and one prepared engine per quality, so that a
// quality change never allocates: the new engine warms up for its FFT size + 512 samples, then a 2048-sample
// raised-cosine crossfade hands the output over. Host blocks are cut into chunks of at most 1024 samples.
// Nothing on the audio path allocates or takes a lock.
class ResoProcessor : public juce::AudioProcessor,
                      public juce::AsyncUpdater,
                      private juce::AudioProcessorParameter::Listener
{
public:
    ResoProcessor();
    ~ResoProcessor() override;

    static constexpr int maxChunk = 1024;
    static constexpr int fadeLength = 2048;
    static constexpr int warmupExtra = 512;

    //==============================================================================
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override {}
    void reset() override;

    using AudioProcessor::processBlock;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    void processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    juce::AudioProcessorParameter* getBypassParameter() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return true; }

    const juce::String getName() const override { return "Tesmar ORVEL"; }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    bool isMidiEffect() const override { return false; }
    double getTailLengthSeconds() const override { return 0.0; }

    // One program, never the presets. It carries a name because hosts list it.
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return "Default"; }
    void changeProgramName (int, const juce::String&) override {}

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    //==============================================================================
    // Latency update on the message thread: follows the "quality" parameter.
    void handleAsyncUpdate() override;

    // Copies the heard engine's latest published frame for channel 0 or 1; never blocks, never allocates.
    bool readAnalysisSnapshot (int channel, float* levelOut, float* reductionOut, int* binCountOut,
                               float* sampleRateOut, float* referenceLevelOut) const noexcept;

    juce::AudioProcessorValueTreeState& getParameters() noexcept { return parameters; }

    // Open editors; publishing runs only while this is positive.
    std::atomic<int> openEditorCount { 0 };

    // The quality whose engine is heard and which the snapshot reader follows.
    int getPublishedQuality() const noexcept { return publishedQuality.load(); }
    int getReportedLatency() const noexcept { return reportedLatency.load(); }
    double getPreparedSampleRate() const noexcept { return sampleRate.load(); }
    bool isQualitySwitchRunning() const noexcept { return switchState != SwitchState::idle; }
    int getPublishDivisor (int quality) const noexcept { return publishDivisor[(size_t) quality]; }

    // The block controls the audio path would build now from the parameters.
    BlockControls currentBlockControls (bool bypassed) const noexcept;

    //==============================================================================
    // The undo/redo history and the A/B slots; they outlive the editor.
    EditState& getEditState() noexcept { return editState; }
    // The current preset's folder and name and the remembered editor size, saved with the project.
    PluginState& getPluginState() noexcept { return pluginState; }
    // "FOLDER / NAME" of the current preset, or "INIT".
    juce::String getCurrentPresetLabel() const { return pluginState.currentPresetLabel(); }

    //==============================================================================
    // Presets (message thread). Loads are one undo step; saves and deletes leave the history alone.
    PresetLibrary& getPresetLibrary() noexcept { return *presetLibrary; }
    // The current plain values of the preset parameters, in preset order.
    PresetValues captureCurrentValues() const;
    // Sets the listed parameters as one undo step; parameters not listed keep their values.
    void applyPresetValues (const PresetValues& values);
    // Library position of the current preset, or -1.
    int currentPresetPosition() const;
    // The current preset's name when it is a user preset.
    bool currentUserPresetName (juce::String& name) const;
    // Loads the entry at a position and makes it current; nothing happens for an invalid position.
    void loadPreset (int position);
    // Loads the next (+1) or previous (-1) entry; the library is one ring.
    void stepPreset (int direction);
    bool saveUserPreset (const juce::String& name, bool overwrite);
    bool setDefaultPreset();
    // Deletes the current user preset's file; parameters stay, the label becomes "INIT".
    bool deleteCurrentUserPreset();

private:
    enum class SwitchState
    {
        idle,
        warmingUp,
        crossfading
    };

    void parameterValueChanged (int parameterIndex, float newValue) override;
    void parameterGestureChanged (int, bool) override {}

    void runBlock (juce::AudioBuffer<float>& buffer, bool bypassed) noexcept;
    void processChunk (float* left, float* right, int numSamples, const BlockControls& controls) noexcept;
    int qualityParameterIndex() const noexcept;
    static void publishFrame (const FrameReport& report, PublishContext& context);

    juce::AudioProcessorValueTreeState parameters;

    struct RawPointers
    {
        std::atomic<float>*depth, *sharpness, *selectivity, *focusLow, *focusHigh, *mix, *delta, *bypass;
        std::atomic<float>*attack, *release, *mode, *stereo, *quality, *trim, *lowProtect;
        std::atomic<float>* bands[numBands][4];
    } raw {};
    juce::RangedAudioParameter* qualityParameter = nullptr;

    std::array<ResoEngine, 3> engines;
    std::array<std::array<SnapshotSlot, 2>, 3> slots;
    std::array<std::array<PublishContext, 2>, 3> publishContexts;
    std::array<int, 3> publishDivisor { 3, 3, 3 };

    std::atomic<int> publishedQuality { 1 };
    std::atomic<double> sampleRate { 48000.0 };
    std::atomic<int> reportedLatency { 2048 };

    bool prepared = false;
    int channelCount = 2;
    SwitchState switchState = SwitchState::idle;
    int currentQuality = 1, targetQuality = 1;
    int warmupRemaining = 0, fadePosition = 0;
    std::array<float, maxChunk> scratchLeft {}, scratchRight {};

    PluginState pluginState;
    EditState editState;
    std::unique_ptr<PresetLibrary> presetLibrary;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ResoProcessor)
};

} // namespace reso
