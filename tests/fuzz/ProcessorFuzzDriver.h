#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace reso::fuzz
{

// Turns arbitrary bytes into a host session with one processor: bus layout and sample rate, then a stream of
// commands (parameter automation, host blocks of 0 to 8192 samples with generated or raw content, injected
// NaN/Inf/huge/denormal samples, reset, bypassed blocks, re-prepare, latency updates). After every block the
// output must be finite and within 16x (+24 dB: the 6 dB bound of the extreme-input tests, 6 dB of margin for
// arbitrary automation and the largest trim of 12 dB) of the largest sample the engine has accepted so far.
// Returns an empty string when all held, else what failed. Shared by the fuzz target and the regular tests
// that replay its corpus and past findings.
std::string runProcessorSession (const std::uint8_t* data, std::size_t size);

} // namespace reso::fuzz
