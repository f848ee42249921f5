#include "presets/SafeWrite.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tesmar::detail
{
namespace
{

bool isCancelled (const CancelFlag& cancel) { return cancel != nullptr && cancel->load(); }

bool writeAll (int fd, const char* data, size_t size)
{
    while (size > 0)
    {
        const auto n = ::write (fd, data, size);

        if (n < 0)
        {
            if (errno == EINTR)
                continue;

            return false;
        }

        data += n;
        size -= (size_t) n;
    }

    return true;
}

// Creates a new file (never opens one that is already there), writes all bytes and syncs them to disk.
// On failure nothing it created is left.
bool writeSyncedFile (const char* path, const juce::String& text)
{
    const int fd = ::open (path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);

    if (fd < 0)
        return false;

    const bool ok = writeAll (fd, text.toRawUTF8(), text.getNumBytesAsUTF8()) && ::fsync (fd) == 0;
    const bool closed = ::close (fd) == 0 || errno == EINTR; // the descriptor is gone either way on Linux

    if (ok && closed)
        return true;

    ::unlink (path);
    return false;
}

// Whether an advisory lock held through another open file (another process, or another descriptor of ours)
// sits on the file at path right now. Nothing waits, and a lock held by someone else is never touched:
// - fcntl record locks, classic and open-file-description ones alike: F_OFD_GETLK asks whether a write lock
//   over the whole file (length 0 reaches past the end) could be placed through our descriptor. It only
//   queries, and the answer names any conflicting read or write lock on any range. Old kernels without it get
//   the classic F_GETLK, which sees other processes' locks only.
// - flock locks cannot be queried, so we try LOCK_EX | LOCK_NB on our own descriptor: it fails with
//   EWOULDBLOCK while anybody holds a shared or exclusive flock, and if it succeeds nobody held one and we
//   unlock again straight away (someone asking for an flock in that instant waits or is refused briefly).
// The descriptor is opened with O_NONBLOCK, so a pending lease break reports EWOULDBLOCK (also busy) instead
// of waiting. A missing or unopenable target counts as unlocked; the rename then decides.
// Caveat of POSIX locking: closing any descriptor of a file drops the classic fcntl locks this process itself
// holds on it, so callers must not hold such a lock on a target they write.
bool isLockedBySomeoneElse (const char* path)
{
    const int fd = ::open (path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);

    if (fd < 0)
        return errno == EWOULDBLOCK;

    bool locked = false;

    struct flock query;
    std::memset (&query, 0, sizeof (query));
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;

    if (::fcntl (fd, F_OFD_GETLK, &query) == 0)
    {
        locked = query.l_type != F_UNLCK;
    }
    else
    {
        std::memset (&query, 0, sizeof (query));
        query.l_type = F_WRLCK;
        query.l_whence = SEEK_SET;
        locked = ::fcntl (fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK;
    }

    if (! locked)
    {
        int result;

        do
            result = ::flock (fd, LOCK_EX | LOCK_NB);
        while (result != 0 && errno == EINTR);

        if (result == 0)
            ::flock (fd, LOCK_UN);
        else
            locked = errno == EWOULDBLOCK;
    }

    ::close (fd);
    return locked;
}

// Makes the rename itself durable. Its failure changes nothing for the caller: the target already holds the text.
void syncFolder (const juce::File& folder)
{
    const int fd = ::open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    if (fd >= 0)
    {
        ::fsync (fd);
        ::close (fd);
    }
}

} // namespace

juce::File makeTemporarySibling (const juce::File& target)
{
    const auto hex = juce::Uuid().toDashedString().substring (0, 8).toLowerCase();
    return target.getSiblingFile ("." + target.getFileName() + ".tmp" + hex);
}

WriteOutcome writeTextSafely (const juce::File& target, const juce::String& text)
{
    if (target.getFullPathName().isEmpty())
        return WriteOutcome::failed;

    const auto folder = target.getParentDirectory();
    folder.createDirectory(); // a folder that cannot be made fails the open below

    const auto temporary = makeTemporarySibling (target);
    const juce::String temporaryPath = temporary.getFullPathName();
    const juce::String targetPath = target.getFullPathName();

    if (! writeSyncedFile (temporaryPath.toRawUTF8(), text))
        return WriteOutcome::failed;

    // rename(2) ignores advisory locks, so a holder is found by asking first. A lock taken between this
    // question and the rename stays on the replaced file.
    if (isLockedBySomeoneElse (targetPath.toRawUTF8()))
    {
        ::unlink (temporaryPath.toRawUTF8());
        return WriteOutcome::busy;
    }

    if (::rename (temporaryPath.toRawUTF8(), targetPath.toRawUTF8()) != 0)
    {
        ::unlink (temporaryPath.toRawUTF8());
        return WriteOutcome::failed;
    }

    syncFolder (folder);
    return WriteOutcome::written;
}

void writeTextWithRetries (const juce::File& target, const juce::String& text, WriteCallback onDone,
    CancelFlag cancel, int attempts, int intervalMs)
{
    if (isCancelled (cancel))
    {
        if (onDone)
            onDone (WriteOutcome::failed);

        return;
    }

    const auto outcome = writeTextSafely (target, text);

    if (outcome == WriteOutcome::busy && attempts > 1)
    {
        scheduleTextWriteRetries (target, text, std::move (onDone), std::move (cancel), attempts - 1, intervalMs);
        return;
    }

    if (onDone)
        onDone (outcome);
}

void scheduleTextWriteRetries (const juce::File& target, const juce::String& text, WriteCallback onDone,
    CancelFlag cancel, int attempts, int intervalMs)
{
    if (attempts <= 0)
    {
        if (onDone)
            onDone (WriteOutcome::busy);

        return;
    }

    std::unique_ptr<RetryingWrite> write (
        new RetryingWrite (target, text, std::move (onDone), std::move (cancel), attempts, intervalMs));

    if (juce::MessageManager::existsAndIsCurrentThread())
    {
        write.release()->start();
        return;
    }

    // The posted message owns the write until it starts it; a message dropped undelivered at shutdown
    // deletes it unreported.
    auto handover = std::make_shared<std::unique_ptr<RetryingWrite>> (std::move (write));

    if (! juce::MessageManager::callAsync ([handover] { handover->release()->start(); }))
        handover->release()->finish (WriteOutcome::failed); // no message loop will ever run the retries
}

RetryingWrite::RetryingWrite (juce::File targetFile, juce::String textToWrite, WriteCallback callback,
    CancelFlag cancelFlag, int attempts, int interval)
    : target (std::move (targetFile))
    , text (std::move (textToWrite))
    , onDone (std::move (callback))
    , attemptsLeft (attempts)
    , intervalMs (interval)
    , cancel (std::move (cancelFlag))
{
}

void RetryingWrite::start() { startTimer (intervalMs); }

void RetryingWrite::timerCallback()
{
    if (isCancelled (cancel))
    {
        finish (WriteOutcome::failed);
        return;
    }

    const auto outcome = writeTextSafely (target, text);

    if (outcome == WriteOutcome::busy && --attemptsLeft > 0)
        return;

    finish (outcome);
}

void RetryingWrite::finish (WriteOutcome outcome)
{
    stopTimer();
    const auto callback = std::move (onDone);

    if (callback)
        callback (outcome);

    delete this;
}

} // namespace tesmar::detail
