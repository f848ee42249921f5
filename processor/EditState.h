#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace reso
{

// The undo/redo history of parameter edits and the two comparison slots A and B. It follows the change
// gestures of the tracked parameters: one undo step when the last open gesture ends with changed values.
// Value changes without gestures (host automation, state restores) record nothing. Lives in the processor,
// so history and slots outlive the editor.
//
// Threads: edits, undo/redo and slot switches run on the message thread; abString and restoreAbString may
// also run on a host thread while it saves or loads the project. The history and slot data sit behind a
// mutex that is never held while parameters are set, and onChange is always called on the message thread.
class EditState : private juce::AudioProcessorParameter::Listener,
                  private juce::AsyncUpdater
{
public:
    // One normalised value per tracked parameter, in tracked order.
    using Snapshot = std::vector<float>;

    static constexpr int maxUndoSteps = 200;
    static constexpr float tolerance = 1.0e-7f;

    // Tracks these parameters (in this order) and takes slot A from their current values.
    explicit EditState (std::vector<juce::RangedAudioParameter*> trackedParameters);
    ~EditState() override;

    void undo();
    void redo();
    bool canUndo() const;
    bool canRedo() const;
    int getNumUndoSteps() const;
    int getNumRedoSteps() const;

    // Makes B (true) or A (false) the active slot; switching applies the stored values of the new slot.
    void selectSlot (bool b);
    // Stores the current values into both slots.
    void copyToOtherSlot();
    bool isBActive() const;

    // Runs a function that sets parameters and records its whole effect as one undo step.
    void performAsOneStep (const std::function<void()>& function);

    // "A;1;<A values>;<B values>" with seven decimals per value: the project's "ab" property.
    juce::String abString() const;
    // Restores the slots from such a string and clears the history; a malformed string changes nothing.
    void restoreAbString (const juce::String& text);

    // Called after every change of history or slots, on the message thread.
    std::function<void()> onChange;

    // The current normalised values of the tracked parameters.
    Snapshot snapshot() const;
    // Same length and every pair of entries within the tolerance.
    static bool equal (const Snapshot& a, const Snapshot& b) noexcept;

private:
    void parameterValueChanged (int, float) override {}
    void parameterGestureChanged (int parameterIndex, bool gestureIsStarting) override;
    void handleAsyncUpdate() override;

    void pushUndoStep (Snapshot before);
    void apply (const Snapshot& values);
    void changed();

    std::vector<juce::RangedAudioParameter*> tracked;

    mutable std::mutex lock;
    std::vector<Snapshot> undoStack, redoStack;
    Snapshot gestureSnapshot;
    int gestureDepth = 0;
    Snapshot slotA, slotB;
    bool bActive = false, bInitialised = false;

    std::atomic<bool> applying { false };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EditState)
};

} // namespace reso
