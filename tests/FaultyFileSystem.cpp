#include "FaultyFileSystem.h"

using platform::FileError;
using platform::FileResult;

void FaultyFileSystem::failCall (int number, FileError error, int times)
{
    failNumber = number;
    failError = error;
    failTimesLeft = times;
}

std::vector<FileError> FaultyFileSystem::realisticErrors (Op op)
{
    switch (op)
    {
        case Op::createFolder:
        case Op::createFile:    return { FileError::accessDenied, FileError::diskFull };
        case Op::write:         return { FileError::diskFull };
        case Op::flush:         return { FileError::diskFull, FileError::other };
        case Op::close:
        case Op::flushFolder:   return { FileError::other };
        case Op::move:          return { FileError::accessDenied, FileError::inUse, FileError::diskFull };
        case Op::removeFile:
        case Op::removeFolder:  return { FileError::accessDenied, FileError::inUse };
    }

    return {};
}

const char* FaultyFileSystem::nameOf (Op op)
{
    const char* names[] = { "createFolder", "createFile", "write", "flush", "close", "move",
                            "removeFile", "removeFolder", "flushFolder" };
    return names[(int) op];
}

bool FaultyFileSystem::admit (Op op, const juce::String& path, const juce::String& target, FileResult& refusal)
{
    const Call call { op, path, target };
    calls.push_back (call);
    const auto number = (int) calls.size();

    if (beforeCall)
        beforeCall (number, call);

    if (stopNumber > 0 && number >= stopNumber)
    {
        refusal = { FileError::other, 0, "the process has stopped", path };
        return false;
    }

    const bool sameAsFailing = failing.has_value() && failing->op == op && failing->path == path && failing->target == target;

    if (number == failNumber || (sameAsFailing && failTimesLeft != 0))
    {
        if (number == failNumber)
            failing = call;

        if (failTimesLeft > 0)
            --failTimesLeft;

        refusal = { failError, 0, juce::String ("injected ") + nameOf (op) + " failure", path };
        return false;
    }

    return true;
}

FileResult FaultyFileSystem::createFolder (const juce::File& f)
{
    FileResult refusal;
    return admit (Op::createFolder, f.getFullPathName(), {}, refusal) ? system.createFolder (f) : refusal;
}

FileResult FaultyFileSystem::createFile (const juce::File& f, platform::OpenFile& out)
{
    FileResult refusal;
    return admit (Op::createFile, f.getFullPathName(), {}, refusal) ? system.createFile (f, out) : refusal;
}

FileResult FaultyFileSystem::write (platform::OpenFile& f, const void* data, size_t size)
{
    FileResult refusal;
    return admit (Op::write, f.path, {}, refusal) ? system.write (f, data, size) : refusal;
}

FileResult FaultyFileSystem::flush (platform::OpenFile& f)
{
    FileResult refusal;
    if (! admit (Op::flush, f.path, {}, refusal))
        return refusal;

    return makeFlushes ? system.flush (f) : FileResult {};
}

FileResult FaultyFileSystem::close (platform::OpenFile& f)
{
    // A stopped or failed close still lets go of the handle, as the system
    // does when a process ends.
    FileResult refusal;
    const bool admitted = admit (Op::close, f.path, {}, refusal);
    const auto result = system.close (f);
    return admitted ? result : refusal;
}

FileResult FaultyFileSystem::move (const juce::File& from, const juce::File& to)
{
    FileResult refusal;
    return admit (Op::move, from.getFullPathName(), to.getFullPathName(), refusal) ? system.move (from, to) : refusal;
}

FileResult FaultyFileSystem::removeFile (const juce::File& f)
{
    FileResult refusal;
    return admit (Op::removeFile, f.getFullPathName(), {}, refusal) ? system.removeFile (f) : refusal;
}

FileResult FaultyFileSystem::removeFolder (const juce::File& f)
{
    FileResult refusal;
    return admit (Op::removeFolder, f.getFullPathName(), {}, refusal) ? system.removeFolder (f) : refusal;
}

FileResult FaultyFileSystem::flushFolder (const juce::File& f)
{
    FileResult refusal;
    if (! admit (Op::flushFolder, f.getFullPathName(), {}, refusal))
        return refusal;

    return makeFlushes ? system.flushFolder (f) : FileResult {};
}

platform::EntryKind FaultyFileSystem::kindOf (const juce::File& f)             { return system.kindOf (f); }
std::vector<juce::String> FaultyFileSystem::namesIn (const juce::File& f)     { return system.namesIn (f); }

void FaultyFileSystem::pause (int milliseconds)
{
    ++pauses;
    pausedMilliseconds += milliseconds;
}
