#include "UserData.h"

#include <mutex>

namespace reso
{

namespace
{
std::mutex overrideLock;

juce::File& overrideFolder()
{
    static juce::File folder;
    return folder;
}
} // namespace

juce::File userDataFolder()
{
    {
        const std::lock_guard<std::mutex> lock (overrideLock);
        if (overrideFolder() != juce::File())
            return overrideFolder();
    }
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile ("Tesmar")
        .getChildFile ("ORVEL");
}

void setUserDataFolderOverride (const juce::File& folder)
{
    const std::lock_guard<std::mutex> lock (overrideLock);
    overrideFolder() = folder;
}

} // namespace reso
