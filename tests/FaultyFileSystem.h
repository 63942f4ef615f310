#pragma once

#include "../platform/FileSystem.h"
#include <functional>
#include <optional>
#include <vector>

/** The system's file calls, recorded, with a fault wherever a test wants one.

    Every call that changes the disk is numbered from 1 in the order made.
    A test can make call N fail with a given error (once, a few times or for
    good: later calls of the same kind on the same path fail too), or stop the
    run at call N as a killed process would: from there on nothing reaches the
    disk, and every call reports a failure the engine cannot see through. */
class FaultyFileSystem final : public platform::FileSystem
{
public:
    enum class Op { createFolder, createFile, write, flush, close, move, removeFile, removeFolder, flushFolder };

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

    /** Runs before each call, with its number; a test can hold the run there. */
    std::function<void (int number, const Call&)> beforeCall;

    /** Flushes are recorded but not made, unless a test needs the disk's word. */
    bool makeFlushes = false;

    int pauses = 0, pausedMilliseconds = 0;

    /** The errors a call of this kind meets in the field. */
    static std::vector<platform::FileError> realisticErrors (Op);
    static const char* nameOf (Op);

    //==============================================================================
    platform::FileResult createFolder (const juce::File&) override;
    platform::FileResult createFile (const juce::File&, platform::OpenFile&) override;
    platform::FileResult write (platform::OpenFile&, const void*, size_t) override;
    platform::FileResult flush (platform::OpenFile&) override;
    platform::FileResult close (platform::OpenFile&) override;
    platform::FileResult move (const juce::File&, const juce::File&) override;
    platform::FileResult removeFile (const juce::File&) override;
    platform::FileResult removeFolder (const juce::File&) override;
    platform::FileResult flushFolder (const juce::File&) override;
    platform::EntryKind kindOf (const juce::File&) override;
    std::vector<juce::String> namesIn (const juce::File&) override;
    void pause (int milliseconds) override;

private:
    /** Records the call and says whether it may reach the disk; otherwise
        `refusal` holds what to report. */
    bool admit (Op, const juce::String& path, const juce::String& target, platform::FileResult& refusal);

    platform::FileSystem& system = platform::systemFileSystem();
    int failNumber = 0, failTimesLeft = 0, stopNumber = 0;
    platform::FileError failError = platform::FileError::none;
    std::optional<Call> failing;
};
