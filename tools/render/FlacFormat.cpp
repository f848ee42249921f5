// The FLAC format class on the system libFLAC. The shared JUCE library is built with the codec switched off
// (Debian's JUCE comes without the bundled FLAC sources), so this file compiles the format on its own. It is
// the only place that sees the class; everything else reaches it through createFlacFormat().
#undef JUCE_USE_FLAC
#define JUCE_USE_FLAC 1
#define JUCE_INCLUDE_FLAC_CODE 0

#include <juce_audio_formats/juce_audio_formats.h>

#include <juce_audio_formats/codecs/juce_FlacAudioFormat.cpp>

#include "AudioFiles.h"

namespace reso::render
{

std::unique_ptr<juce::AudioFormat> createFlacFormat() { return std::make_unique<juce::FlacAudioFormat>(); }

} // namespace reso::render
