#pragma once

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <atomic>
#include <functional>
#include <memory>

namespace tesmar::detail
{

// What became of a text write.
enum class WriteOutcome
{
    written, // the target now holds the new text
    busy,    // someone else holds a lock on the target at the moment; retrying may succeed
    failed   // cannot succeed (bad path, temporary file, write or rename error) or was cancelled
};

// Told the outcome of a write exactly once.
using WriteCallback = std::function<void (WriteOutcome)>;

// Set from any thread to stop further attempts of a retried write; may be null.
using CancelFlag = std::shared_ptr<std::atomic<bool>>;

// The hidden sibling a write goes through: "." + file name + ".tmp" + 8 lower-case hex digits of a new
// random UUID, so two writes of one target never share it.
juce::File makeTemporarySibling (const juce::File& target);

// Replaces target with text (UTF-8, no byte-order mark, line endings untouched) through a synced temporary
// sibling and one rename, so readers see the old or the new text, never a mix. Returns busy, and leaves the
// target alone, while another open file holds an flock or fcntl lock on it; failed for every other problem.
// Never leaves the temporary file behind. Synchronous, on the caller's thread; takes no locks.
WriteOutcome writeTextSafely (const juce::File& target, const juce::String& text);

// One attempt at once on the caller's thread (its callback too, if it ends there); after a busy outcome
// and with attempts > 1, the remaining attempts - 1 go to scheduleTextWriteRetries.
void writeTextWithRetries (const juce::File& target, const juce::String& text, WriteCallback onDone,
    CancelFlag cancel, int attempts, int intervalMs);

// Makes up to `attempts` tries on the message thread, one per interval, each only after a busy outcome.
// The callback runs exactly once, on the message thread (at once with busy when attempts <= 0; at once with
// failed when no message loop runs to take the retries).
void scheduleTextWriteRetries (const juce::File& target, const juce::String& text, WriteCallback onDone,
    CancelFlag cancel, int attempts, int intervalMs);

// One pending retried write: a timer on the message thread that tries the write once per tick until it is
// written, fails, is cancelled or runs out of attempts, then reports and deletes itself. Nobody else owns it.
class RetryingWrite final : private juce::Timer
{
private:
    friend void scheduleTextWriteRetries (const juce::File&, const juce::String&, WriteCallback, CancelFlag,
        int, int);

    RetryingWrite (juce::File target, juce::String text, WriteCallback onDone, CancelFlag cancel, int attempts,
        int intervalMs);

    void start();
    void timerCallback() override;
    void finish (WriteOutcome outcome);

    const juce::File target;
    const juce::String text;
    WriteCallback onDone;
    int attemptsLeft;
    const int intervalMs;
    const CancelFlag cancel;

    JUCE_DECLARE_NON_COPYABLE (RetryingWrite)
};

} // namespace tesmar::detail
