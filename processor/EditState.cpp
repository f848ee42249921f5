#include "EditState.h"

#include "Parameters.h"

#include <cmath>

namespace reso
{

namespace
{
// A strictly numeric token, clamped into 0..1; false for anything else.
bool readValue (const juce::String& token, float& value)
{
    const auto t = token.trim();
    if (t.isEmpty() || ! t.containsOnly ("0123456789.+-eE") || ! t.containsAnyOf ("0123456789"))
        return false;

    const double v = t.getDoubleValue();
    if (! std::isfinite (v))
        return false;

    value = (float) juce::jlimit (0.0, 1.0, v);
    return true;
}

// A comma-separated list; an empty text is an empty list.
bool readList (const juce::String& text, EditState::Snapshot& values)
{
    values.clear();
    if (text.isEmpty())
        return true;

    for (const auto& token : juce::StringArray::fromTokens (text, ",", ""))
    {
        float v = 0.0f;
        if (! readValue (token, v))
            return false;
        values.push_back (v);
    }
    return true;
}

juce::String writeList (const EditState::Snapshot& values)
{
    juce::StringArray tokens;
    for (float v : values)
        tokens.add (juce::String (v, 7));
    return tokens.joinIntoString (",");
}
} // namespace

EditState::EditState (std::vector<juce::RangedAudioParameter*> trackedParameters)
    : tracked (std::move (trackedParameters))
{
    for (auto* p : tracked)
        p->addListener (this);
    slotA = snapshot();
}

EditState::~EditState()
{
    for (auto* p : tracked)
        p->removeListener (this);
}

EditState::Snapshot EditState::snapshot() const
{
    Snapshot values;
    values.reserve (tracked.size());
    for (auto* p : tracked)
        values.push_back (p->getValue());
    return values;
}

bool EditState::equal (const Snapshot& a, const Snapshot& b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::abs (a[i] - b[i]) > tolerance)
            return false;
    return true;
}

//==============================================================================
void EditState::parameterGestureChanged (int, bool gestureIsStarting)
{
    if (applying.load())
        return;

    Snapshot before;
    {
        const std::lock_guard<std::mutex> guard (lock);
        if (gestureIsStarting)
        {
            if (gestureDepth++ == 0)
                gestureSnapshot = snapshot();
            return;
        }

        if (gestureDepth < 1 || --gestureDepth > 0)
            return;
        before = std::move (gestureSnapshot);
    }

    if (! equal (before, snapshot()))
        pushUndoStep (std::move (before));
}

void EditState::pushUndoStep (Snapshot before)
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        undoStack.push_back (std::move (before));
        if ((int) undoStack.size() > maxUndoSteps)
            undoStack.erase (undoStack.begin());
        redoStack.clear();
    }
    changed();
}

void EditState::performAsOneStep (const std::function<void()>& function)
{
    auto before = snapshot();
    const bool wasApplying = applying.exchange (true);
    function();
    applying.store (wasApplying);

    if (! equal (before, snapshot()))
        pushUndoStep (std::move (before));
}

void EditState::undo()
{
    Snapshot target;
    {
        const std::lock_guard<std::mutex> guard (lock);
        if (undoStack.empty())
            return;
        redoStack.push_back (snapshot());
        target = std::move (undoStack.back());
        undoStack.pop_back();
    }
    apply (target);
    changed();
}

void EditState::redo()
{
    Snapshot target;
    {
        const std::lock_guard<std::mutex> guard (lock);
        if (redoStack.empty())
            return;
        undoStack.push_back (snapshot()); // the two stacks together never hold more than the cap
        target = std::move (redoStack.back());
        redoStack.pop_back();
    }
    apply (target);
    changed();
}

bool EditState::canUndo() const { return getNumUndoSteps() > 0; }
bool EditState::canRedo() const { return getNumRedoSteps() > 0; }

int EditState::getNumUndoSteps() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return (int) undoStack.size();
}

int EditState::getNumRedoSteps() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return (int) redoStack.size();
}

void EditState::apply (const Snapshot& values)
{
    const bool wasApplying = applying.exchange (true);
    for (size_t i = 0; i < tracked.size() && i < values.size(); ++i)
    {
        auto* p = tracked[i];
        if (std::abs (p->getValue() - values[i]) > tolerance)
        {
            p->beginChangeGesture();
            p->setValueNotifyingHost (values[i]);
            p->endChangeGesture();
        }
    }
    applying.store (wasApplying);
}

//==============================================================================
void EditState::selectSlot (bool b)
{
    Snapshot target;
    bool switchValues = false;
    {
        const std::lock_guard<std::mutex> guard (lock);
        if (b == bActive)
            return;

        auto current = snapshot();
        if (b && ! bInitialised)
        {
            // B starts as a copy of A: nothing changes
            slotA = current;
            slotB = std::move (current);
            bInitialised = true;
        }
        else
        {
            (bActive ? slotB : slotA) = std::move (current);
            target = b ? slotB : slotA;
            switchValues = true;
        }
        bActive = b;
    }

    if (switchValues)
        apply (target);
    changed();
}

void EditState::copyToOtherSlot()
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        slotA = snapshot();
        slotB = slotA;
        bInitialised = true;
    }
    changed();
}

bool EditState::isBActive() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return bActive;
}

juce::String EditState::abString() const
{
    const std::lock_guard<std::mutex> guard (lock);
    const auto current = snapshot();
    const auto& a = bActive ? slotA : current;
    const auto& b = bActive ? current : (bInitialised ? slotB : Snapshot {});
    return juce::String (bActive ? "B" : "A") + ";" + (bInitialised ? "1" : "0") + ";" + writeList (a) + ";"
           + writeList (b);
}

void EditState::restoreAbString (const juce::String& text)
{
    const auto pieces = juce::StringArray::fromTokens (text, ";", "");
    if (pieces.size() != 4)
        return;

    Snapshot a, b;
    if (! readList (pieces[2], a) || ! readList (pieces[3], b))
        return;

    // projects from before Low Protect existed carry one value less
    const auto count = tracked.size();
    if (count > 0 && tracked.back()->getParameterID() == ids::lowProtect)
        for (auto* list : { &a, &b })
            if (list->size() + 1 == count)
                list->push_back (tracked.back()->getDefaultValue());

    if (a.size() != count || b.size() != count)
        return;

    {
        const std::lock_guard<std::mutex> guard (lock);
        bActive = pieces[0] == "B";
        bInitialised = pieces[1] == "1" || bActive; // an active B is always a filled one
        slotA = std::move (a);
        slotB = std::move (b);
        undoStack.clear();
        redoStack.clear();
    }
    changed();
}

//==============================================================================
void EditState::changed()
{
    auto* mm = juce::MessageManager::getInstanceWithoutCreating();
    if (mm != nullptr && mm->isThisTheMessageThread())
    {
        if (onChange != nullptr)
            onChange();
        return;
    }
    triggerAsyncUpdate();
}

void EditState::handleAsyncUpdate()
{
    if (onChange != nullptr)
        onChange();
}

} // namespace reso
