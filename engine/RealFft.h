#pragma once

#include <memory>
#include <vector>

namespace reso
{

// Real-input FFT of a power-of-two size N: an N/2-point complex radix-2 decimation-in-time transform over
// the samples packed as (even, odd) pairs, followed by the split step that yields bins 0 .. N/2.
// Twiddles and bit-reversal indices are computed once in double precision and stored as float; instances of
// the same size share these read-only tables (each keeps its own work buffers).
// The forward transform is unscaled; the inverse is scaled so that inverse (forward (x)) == x.
// prepare allocates; forward and inverse never do. One instance must not be used from two threads at once.
class RealFft
{
public:
    // Sizes everything for a transform of length size (a power of two, at least 4).
    void prepare (int size);

    int size() const noexcept { return n; }
    int bins() const noexcept { return n / 2 + 1; }

    // input: N samples; re, im: N/2 + 1 values each.
    void forward (const float* input, float* re, float* im) noexcept;

    // re, im: N/2 + 1 values each (the imaginary parts of bins 0 and N/2 are ignored); output: N samples.
    void inverse (const float* re, const float* im, float* output) noexcept;

    struct Tables
    {
        std::vector<int> bitReverse;
        std::vector<float> stageCos, stageSin; // per stage e: entries e .. 2e - 1 hold cos/sin(-pi j / e)
        std::vector<float> splitCos, splitSin; // cos/sin(-2 pi j / N), j = 0 .. N/2
    };

private:
    void complexTransform() noexcept; // in place on zr, zi, forward direction, bit-reversed input

    int n = 0, half = 0;
    std::shared_ptr<const Tables> tables;
    std::vector<float> zr, zi;
};

} // namespace reso
