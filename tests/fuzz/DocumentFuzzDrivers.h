#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace reso::fuzz
{

// Drivers for the readers of what users and hosts hand the plug-in: arbitrary bytes as a preset file, as a
// project state blob, and as the A/B string. Each reads the bytes through the product's own code, applies the
// result to a processor and checks that every parameter stays finite and inside its range, and that what is
// written back reads again to the same values. Return an empty string when all held, else what failed.
// Shared by the fuzz targets and the regular tests that replay their corpora and past findings.
std::string checkPresetText (const std::uint8_t* data, std::size_t size);
std::string checkStateBlob (const std::uint8_t* data, std::size_t size);
std::string checkAbString (const std::uint8_t* data, std::size_t size);

// Points the processor's data folder at a fresh temporary folder, so fuzzing never touches the user's own.
void useTemporaryDataFolder();

} // namespace reso::fuzz
