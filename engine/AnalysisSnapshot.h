#pragma once

#include <atomic>
#include <cstdint>

namespace reso
{

// What a channel hands over at the end of every hop: its level spectrum and the gain curve it applied.
struct FrameReport
{
    std::int64_t frameIndex = 0;        // the channel's hop count before this hop
    double sampleRate = 0.0;
    int binCount = 0;                   // N/2 + 1
    const float* levelDb = nullptr;     // updated on analysis frames only
    const float* reductionDb = nullptr; // the applied gain curve in dB (<= 0), focus weighting included
    float referenceLevelDb = 0.0f;      // level of a full-scale sine's peak bin
};

// Per quality and channel: who publishes, and hops since the last publication.
struct PublishContext
{
    void* owner = nullptr;
    int quality = 0;
    int channel = 0;
    int counter = 0;
};

// Called on the audio thread at the end of every hop of a channel with a publisher attached.
using FramePublisher = void (*) (const FrameReport& report, PublishContext& context);

// One published frame, guarded by a sequence counter: odd while a write is under way. One writer (the audio
// thread), any number of readers; neither side blocks or allocates. The payload is made of atomics so that a
// read overlapping a write is well defined, and the sequence check rejects such a read. Ordering without
// fences: the writer stores the payload with release semantics after making the counter odd, so a reader that
// acquires any value of a newer write also sees the counter move; the final release increment publishes the
// whole frame to a reader that acquires the even counter.
struct SnapshotSlot
{
    static constexpr int capacity = 2049; // bins of the largest FFT

    std::atomic<int> sequence { 0 };
    std::atomic<int> binCount { 0 };
    std::atomic<float> sampleRate { 0.0f };
    std::atomic<float> referenceLevelDb { 0.0f };
    std::atomic<float> level[capacity] {};
    std::atomic<float> reduction[capacity] {};

    // Writer side: copies min(binCount, capacity) values of each array under the sequence counter.
    void publish (const float* levelDb, const float* reductionDb, int count, float rate, float referenceDb) noexcept
    {
        const int n = count < capacity ? (count > 0 ? count : 0) : capacity;
        sequence.fetch_add (1, std::memory_order_relaxed);
        binCount.store (n, std::memory_order_release);
        sampleRate.store (rate, std::memory_order_release);
        referenceLevelDb.store (referenceDb, std::memory_order_release);
        for (int i = 0; i < n; ++i)
        {
            level[i].store (levelDb[i], std::memory_order_release);
            reduction[i].store (reductionDb[i], std::memory_order_release);
        }
        sequence.fetch_add (1, std::memory_order_release);
    }

    // Writer side, at prepare: no frame yet.
    void clear (float rate, float referenceDb) noexcept
    {
        sequence.fetch_add (1, std::memory_order_relaxed);
        binCount.store (0, std::memory_order_release);
        sampleRate.store (rate, std::memory_order_release);
        referenceLevelDb.store (referenceDb, std::memory_order_release);
        sequence.fetch_add (1, std::memory_order_release);
    }

    // Reader side: up to 4 attempts; false when there is no frame or every attempt met a write.
    bool read (float* levelOut, float* reductionOut, int* binCountOut, float* sampleRateOut,
               float* referenceLevelOut) const noexcept
    {
        for (int attempt = 0; attempt < 4; ++attempt)
        {
            const int s1 = sequence.load (std::memory_order_acquire);
            if ((s1 & 1) != 0)
                continue;

            const int n = binCount.load (std::memory_order_acquire);
            if (n < 1)
                return false;

            const float rate = sampleRate.load (std::memory_order_acquire);
            const float referenceDb = referenceLevelDb.load (std::memory_order_acquire);
            for (int i = 0; i < n; ++i)
            {
                levelOut[i] = level[i].load (std::memory_order_acquire);
                reductionOut[i] = reduction[i].load (std::memory_order_acquire);
            }

            if (sequence.load (std::memory_order_relaxed) == s1)
            {
                *binCountOut = n;
                *sampleRateOut = rate;
                *referenceLevelOut = referenceDb;
                return true;
            }
        }
        return false;
    }
};

} // namespace reso
