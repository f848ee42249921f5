#include "OfflineRenderer.h"

#include <array>

namespace reso::render
{

juce::Result renderFile (ResoProcessor& processor, const RenderJob& job, int& latencyOut)
{
    auto& reader = *job.reader;
    const int channels = (int) reader.numChannels;
    const double rate = reader.sampleRate;
    const juce::int64 length = reader.lengthInSamples;
    constexpr int blockSize = RenderJob::blockSize;

    const auto set = channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (set);
    layout.outputBuses.add (set);
    if (! processor.setBusesLayout (layout))
        return juce::Result::fail ("the processor refused a " + juce::String (channels) + "-channel layout");

    processor.openEditorCount.store (1);
    processor.setNonRealtime (true);
    processor.setRateAndBufferSizeDetails (rate, blockSize);
    processor.prepareToPlay (rate, blockSize);

    const int latency = processor.getLatencySamples();
    latencyOut = latency;
    const juce::int64 total = length + latency;

    if (job.inputSpectrum != nullptr)
        job.inputSpectrum->prepare (rate, channels);
    if (job.outputSpectrum != nullptr)
        job.outputSpectrum->prepare (rate, channels);

    juce::AudioBuffer<float> buffer (channels, blockSize);
    juce::MidiBuffer midi;

    constexpr int capacity = SnapshotSlot::capacity;
    std::array<std::vector<float>, 2> levels{ std::vector<float> (capacity), std::vector<float> (capacity) };
    std::array<std::vector<float>, 2> reductions{ std::vector<float> (capacity), std::vector<float> (capacity) };
    const float* levelPointers[2] = { levels[0].data(), levels[1].data() };
    const float* reductionPointers[2] = { reductions[0].data(), reductions[1].data() };

    auto result = juce::Result::ok();
    for (juce::int64 position = 0; position < total; position += blockSize)
    {
        if (job.shouldStop != nullptr && job.shouldStop())
        {
            result = juce::Result::fail (interruptedMessage);
            break;
        }

        const int n = (int) juce::jmin ((juce::int64) blockSize, total - position);
        buffer.setSize (channels, n, false, false, true);
        buffer.clear();

        const int fromInput = (int) juce::jlimit ((juce::int64) 0, (juce::int64) n, length - position);
        if (fromInput > 0)
        {
            if (! reader.read (&buffer, 0, fromInput, position, true, true))
            {
                result = juce::Result::fail ("cannot read INPUT at sample " + juce::String (position));
                break;
            }
            if (job.inputSpectrum != nullptr)
                job.inputSpectrum->add (buffer.getArrayOfReadPointers(), fromInput);
        }

        processor.processBlock (buffer, midi);

        if (job.stats != nullptr && fromInput > 0)
        {
            bool complete = true;
            int bins = 0;
            float snapshotRate = 0.0f, reference = 0.0f;
            for (int c = 0; c < channels && complete; ++c)
                complete = processor.readAnalysisSnapshot (
                    c, levels[(size_t) c].data(), reductions[(size_t) c].data(), &bins, &snapshotRate, &reference);
            if (complete)
                job.stats->addFrame (levelPointers, reductionPointers, channels, bins, snapshotRate, fromInput);
        }

        // block sample i is output sample position + i - latency
        const int skip = (int) juce::jlimit ((juce::int64) 0, (juce::int64) n, latency - position);
        if (skip < n)
        {
            if (job.writer != nullptr && ! job.writer->writeFromAudioSampleBuffer (buffer, skip, n - skip))
            {
                result = juce::Result::fail ("cannot write the output (is the disk full?)");
                break;
            }
            if (job.outputSpectrum != nullptr)
            {
                const float* pointers[2] = { buffer.getReadPointer (0, skip),
                    buffer.getReadPointer (juce::jmin (1, channels - 1), skip) };
                job.outputSpectrum->add (pointers, n - skip);
            }
        }

        if (job.onProgress != nullptr)
            job.onProgress ((double) (position + n) / (double) juce::jmax ((juce::int64) 1, total));
    }

    processor.releaseResources();
    processor.openEditorCount.store (0);

    if (job.inputSpectrum != nullptr)
        job.inputSpectrum->finish();
    if (job.outputSpectrum != nullptr)
        job.outputSpectrum->finish();
    return result;
}

} // namespace reso::render
