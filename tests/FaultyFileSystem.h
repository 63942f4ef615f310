#pragma once

#include "../platform/FileSystem.h"
#include <functional>
#include <map>
#include <optional>
#include <vector>

/** The system's file calls, recorded, with a fault wherever a test wants one.

    Every call that changes the disk is numbered from 1 in the order made.
    A test can make call N fail with a given error (once, a few times or for
    good: later calls of the same kind on the same path fail too), or stop the
    run at call N as a killed process would: from there on nothing reaches the
    disk, and every call reports a failure the engine cannot see through.

    Or the power can fail at call N: the run stops there as before, and once
    it has ended, powerComesBack() puts the disk as a machine finds it after
    the power returns. As a crash VFS models it, what no flush made durable is
    lost: a file keeps only the bytes written before its last flush, and a
    create or a rename is undone unless its folder (for a rename, both
    folders) was flushed after it. */
class FaultyFileSystem final : public platform::FileSystem
{
public:
    enum class Op { openFolder, createFolder, createFile, write, flush, close, move, removeFile, removeFolder, flushFolder };

    struct Call
    {
        Op op;
        juce::String path, target;     /**< target: the destination of a move */
    };

    /** Calls made so far (the stopped ones included), in order. */
    std::vector<Call> calls;

    /** Makes call `number` fail with `error`; `times` attempts at the same
        call fail in all (-1: every one). */
    void failCall (int number, platform::FileError error, int times = 1);

    /** Stops the run at call `number`: it and every later one do nothing. */
    void stopAt (int number)    { stopNumber = number; }

    /** Stops the run at call `number` as stopAt() does, by a power cut. */
    void losePowerAt (int number)    { stopNumber = number; powerLost = true; }

    /** After a power cut, once the run has ended: truncates every file to what
        was flushed, then undoes, newest first, every create and rename that
        no flush of its folder made durable. Returns what could not be undone
        (a name since taken), which a test expects to be nothing. */
    juce::StringArray powerComesBack();

    /** Runs before each call, with its number; a test can hold the run there. */
    std::function<void (int number, const Call&)> beforeCall;

    /** Flushes are recorded but not made, unless a test needs the disk's word. */
    bool makeFlushes = false;

    /** A failing call that keeps failing (times -1) succeeds once this much
        time has passed in pauses: a file held for a while. */
    int releaseAfterMilliseconds = -1;

    int pauses = 0, pausedMilliseconds = 0, longestPause = 0;

    /** The errors a call of this kind meets in the field. */
    static std::vector<platform::FileError> realisticErrors (Op);
    static const char* nameOf (Op);

    //==============================================================================
    platform::FileResult openFolder (const juce::File&, platform::Folder&) override;
    platform::FileResult openFolder (const platform::Folder&, const juce::String&, platform::Folder&) override;
    platform::FileResult createFolder (const platform::Folder&, const juce::String&) override;
    platform::FileResult createFile (const platform::Folder&, const juce::String&, platform::OpenFile&) override;
    platform::FileResult write (platform::OpenFile&, const void*, size_t) override;
    platform::FileResult flush (platform::OpenFile&) override;
    platform::FileResult close (platform::OpenFile&) override;
    platform::FileResult move (const platform::Folder&, const juce::String&, const platform::Folder&, const juce::String&) override;
    platform::FileResult removeFile (const platform::Folder&, const juce::String&) override;
    platform::FileResult removeFolder (const platform::Folder&, const juce::String&) override;
    platform::FileResult flushFolder (const platform::Folder&) override;
    platform::EntryKind kindOf (const platform::Folder&, const juce::String&) override;
    std::vector<juce::String> namesIn (const platform::Folder&) override;
    juce::StringArray programsUsing (const juce::String&) override  { return holders; }
    void pause (int milliseconds, const std::function<bool()>&) override;

    /** What the system says holds a file in use: nobody, unless a test says. */
    juce::StringArray holders;

private:
    /** Records the call and says whether it may reach the disk; otherwise
        `refusal` holds what to report. */
    bool admit (Op, const juce::String& path, const juce::String& target, platform::FileResult& refusal);

    /** A create or rename, and whether flushes since have made it durable. */
    struct Change
    {
        Op op;
        juce::String path, target;          /**< as they are named now, renames since followed */
        juce::String folder, targetFolder;  /**< the folders whose flush makes it durable */
        bool folderFlushed = false, targetFolderFlushed = false;
    };

    /** What a created file holds, and how much of it a flush made durable. */
    struct Content
    {
        juce::int64 written = 0, flushed = 0;
    };

    void changed (Change);
    void renamed (const juce::String& from, const juce::String& to);
    void folderFlushed (const juce::String& folder);

    platform::FileSystem& system = platform::systemFileSystem();
    bool powerLost = false;
    std::vector<Change> changes;
    std::map<juce::String, Content> contents;      /**< by the file's name now */
    int failNumber = 0, failTimesLeft = 0, stopNumber = 0;
    platform::FileError failError = platform::FileError::none;
    std::optional<Call> failing;
};
