#include "ResoProcessor.h"

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter() { return new reso::ResoProcessor(); }
