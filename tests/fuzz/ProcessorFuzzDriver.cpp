#include "ProcessorFuzzDriver.h"

#include "processor/ResoProcessor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace reso::fuzz
{

namespace
{

constexpr double rates[] = { 22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 };
constexpr int maxBlock = 8192;
constexpr long long maxSamplesPerSession = 1 << 18; // keeps one input fast

// Reads the fuzz bytes front to back; past the end every read gives 0.
class ByteReader
{
public:
    ByteReader (const std::uint8_t* d, std::size_t s) : data (d), size (s) {}

    bool empty() const noexcept { return position >= size; }
    std::uint8_t byte() noexcept { return position < size ? data[position++] : 0; }
    int u16() noexcept { return byte() | (byte() << 8); }
    float unit() noexcept { return (float) u16() / 65535.0f; }

private:
    const std::uint8_t* data;
    std::size_t size, position = 0;
};

float specialValue (int index)
{
    const float values[] = { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), 1.0e9f, -1.0e9f, 3.0e38f, 9.9e8f, 1.0e-40f,
                             -1.0e-45f, std::numeric_limits<float>::max(), 1.0f, -1.0f, 0.0f, -0.0f };
    return values[(size_t) index % (sizeof (values) / sizeof (values[0]))];
}

struct Session
{
    std::unique_ptr<ResoProcessor> processor;
    int channels = 2;
    double rate = 48000.0;
    std::vector<float> buffers[2];
    std::vector<std::pair<int, float>> pokes; // injected samples of the next block
    bool bypassNext = false;
    float largestAccepted = 0.0f;
    long long processed = 0;
    std::uint32_t noiseState = 1;

    void prepare (double newRate, int block)
    {
        rate = newRate;
        processor->setRateAndBufferSizeDetails (rate, block);
        processor->prepareToPlay (rate, block);
    }

    float noise() noexcept
    {
        noiseState = noiseState * 1664525u + 1013904223u;
        return (float) (noiseState >> 8) / (float) (1u << 23) - 1.0f;
    }

    void fill (ByteReader& in, int n)
    {
        const int shape = in.byte() % 6;
        const float level = std::pow (10.0f, ((float) in.byte() - 200.0f) / 20.0f); // -200 .. +55 dB
        const float hz = 20.0f + 40.0f * (float) in.byte() * (float) in.byte();
        for (int c = 0; c < channels; ++c)
        {
            auto& x = buffers[(size_t) c];
            for (int i = 0; i < n; ++i)
            {
                const double phase = std::fmod ((double) (processed + i) * hz / rate, 1.0);
                switch (shape)
                {
                    case 0: x[(size_t) i] = 0.0f; break;
                    case 1: x[(size_t) i] = level * noise(); break;
                    case 2: x[(size_t) i] = level * (float) std::sin (2.0 * 3.14159265358979 * phase + c); break;
                    case 3: x[(size_t) i] = phase < 0.5 ? level : -level; break;
                    case 4: x[(size_t) i] = c == 0 ? level : -level; break;
                    default: x[(size_t) i] = ((float) in.byte() - 127.5f) / 127.5f * level; break;
                }
            }
        }
        for (const auto& [index, value] : pokes)
            if (index < n)
                buffers[(size_t) (index % channels)][(size_t) index] = value;
        pokes.clear();
    }

    std::string block (ByteReader& in)
    {
        const int n = std::min (in.u16() % (maxBlock + 1), (int) std::max (0LL, maxSamplesPerSession - processed));
        fill (in, n);
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < n; ++i)
            {
                const float x = buffers[(size_t) c][(size_t) i];
                if (std::abs (x) < 1.0e9f)
                    largestAccepted = std::max (largestAccepted, std::abs (x));
            }

        float* pointers[] = { buffers[0].data(), buffers[1].data() };
        juce::AudioBuffer<float> buffer (pointers, channels, n);
        juce::MidiBuffer midi;
        if (bypassNext)
            processor->processBlockBypassed (buffer, midi);
        else
            processor->processBlock (buffer, midi);
        bypassNext = false;
        processed += n;

        const float bound = 16.0f * largestAccepted;
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < n; ++i)
            {
                const float y = buffers[(size_t) c][(size_t) i];
                if (! std::isfinite (y))
                    return "non-finite output at sample " + std::to_string (processed - n + i);
                if (std::abs (y) > bound)
                    return "output " + std::to_string (y) + " above the bound " + std::to_string (bound) + " at sample "
                         + std::to_string (processed - n + i);
            }
        return {};
    }
};

} // namespace

std::string runProcessorSession (const std::uint8_t* data, std::size_t size)
{
    ByteReader in (data, size);
    Session s;
    const int header = in.byte();
    s.channels = (header & 1) != 0 ? 1 : 2;
    for (auto& b : s.buffers)
        b.assign ((size_t) maxBlock, 0.0f);

    s.processor = std::make_unique<ResoProcessor>();
    const auto set = s.channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (set);
    layout.outputBuses.add (set);
    if (! s.processor->setBusesLayout (layout))
        return "bus layout refused";

    auto& parameters = static_cast<juce::AudioProcessor&> (*s.processor).getParameters();
    if ((header & 2) != 0) // automation before the first prepare
        parameters[in.byte() % parameters.size()]->setValueNotifyingHost (in.unit());
    s.prepare (rates[(size_t) ((header >> 2) % 7)], 512);

    while (! in.empty() && s.processed < maxSamplesPerSession)
    {
        switch (in.byte() % 8)
        {
            case 0:
            case 1:
                parameters[in.byte() % parameters.size()]->setValueNotifyingHost (in.unit());
                break;
            case 2:
            case 3:
            case 4:
                if (auto failure = s.block (in); ! failure.empty())
                    return failure;
                break;
            case 5:
                s.pokes.emplace_back (in.u16() % maxBlock, specialValue (in.byte()));
                break;
            case 6:
                switch (in.byte() % 4)
                {
                    case 0: s.processor->reset(); break;
                    case 1: s.bypassNext = true; break;
                    case 2: s.processor->handleUpdateNowIfNeeded(); break;
                    default: s.prepare (rates[(size_t) (in.byte() % 7)], 1 + in.u16() % maxBlock); break;
                }
                break;
            default:
            {
                // a whole parameter set at once, as a preset load or state restore would do
                for (auto* p : parameters)
                    p->setValueNotifyingHost (in.unit());
                break;
            }
        }
    }

    s.processor->handleUpdateNowIfNeeded();
    const int quality = choiceIndex (s.processor->getParameters().getRawParameterValue ("quality")->load(), 3);
    const int expected = qualityFftSizes[(size_t) quality];
    if (s.processor->getLatencySamples() != expected)
        return "latency " + std::to_string (s.processor->getLatencySamples()) + " instead of " + std::to_string (expected);
    return {};
}

} // namespace reso::fuzz
