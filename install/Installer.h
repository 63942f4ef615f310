#pragma once

#include "Outcome.h"
#include <functional>

/** What the engine is doing for one format, as a run reports it. */
enum class Phase
{
    writing,        /**< extracting the new copy beside the item */
    checking,       /**< comparing what was written with the archive's records */
    flushing,       /**< making the new copy durable */
    replacing,      /**< setting the old copy aside and moving the new one in */
    waiting,        /**< a file is in use: trying again shortly */
    removing        /**< taking the item, or the old copy, away */
};

struct Progress
{
    Phase phase = Phase::writing;
    uint64_t bytesWritten = 0;          /**< of the archive's files, uncompressed */
    uint64_t bytesTotal = 0;
    juce::String waitingFor;            /**< the file in use, while waiting */
};

/** What a run hands the engine: where progress goes, and a way to ask it to
    stop. Both are called on the thread the engine runs on. A stop before the
    new copy goes in rolls the format back; once it is going in, it finishes. */
struct RunHooks
{
    std::function<void (const Progress&)> progress;
    std::function<bool()> stopRequested;
};

/** Puts a format's plug-in item into its install folder from the archive, or
    replaces the one there, without ever leaving the user with less than before,
    whatever fails and wherever the process stops.

    The archive is extracted into a working folder beside the item (same volume;
    see Recovery.h for its layout), checked entry by entry against its recorded
    sizes and checksums, and flushed to the disk. Only then is the old item set
    aside, the new one moved into place, the folder flushed, and the old copy
    removed. A failure puts the old item back; a stop is put right by the next
    run's recovery, which this also runs first. The folder's lock is held
    throughout, so another copy of the program waits its turn. */
FormatOutcome installFormat (const juce::File& installFolder, const juce::String& productName,
                             int format, const EmbeddedData& archive,
                             platform::FileSystem& fs = platform::systemFileSystem(), const RunHooks& hooks = {});

/** Removes a format's plug-in item: moved aside in one step, so it is either
    whole or gone, then deleted. Reports a failure when it is still there. */
FormatOutcome uninstallFormat (const juce::File& installFolder, const juce::String& productName, int format,
                               platform::FileSystem& fs = platform::systemFileSystem(), const RunHooks& hooks = {});
