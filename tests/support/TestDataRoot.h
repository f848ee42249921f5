#pragma once

#include <juce_core/juce_core.h>

namespace reso::test
{

// Set when the test program runs as a child process of another test (--orvel-data-root=<folder>): the
// data folder that test prepared. Default-constructed otherwise.
extern juce::File childDataRoot;

} // namespace reso::test
