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
        case Op::openFolder:    return { FileError::accessDenied };
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
    const char* names[] = { "openFolder", "createFolder", "createFile", "write", "flush", "close", "move",
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

    const bool released = releaseAfterMilliseconds >= 0 && pausedMilliseconds >= releaseAfterMilliseconds;
    const bool sameAsFailing = failing.has_value() && failing->op == op && failing->path == path && failing->target == target
                                && ! released;

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

FileResult FaultyFileSystem::openFolder (const juce::File& path, platform::Folder& out)
{
    FileResult refusal;
    return admit (Op::openFolder, path.getFullPathName(), {}, refusal) ? system.openFolder (path, out) : refusal;
}

FileResult FaultyFileSystem::openFolder (const platform::Folder& parent, const juce::String& name, platform::Folder& out)
{
    FileResult refusal;
    return admit (Op::openFolder, parent.pathOf (name), {}, refusal) ? system.openFolder (parent, name, out) : refusal;
}

FileResult FaultyFileSystem::createFolder (const platform::Folder& parent, const juce::String& name)
{
    FileResult refusal;
    return admit (Op::createFolder, parent.pathOf (name), {}, refusal) ? system.createFolder (parent, name) : refusal;
}

FileResult FaultyFileSystem::createFile (const platform::Folder& parent, const juce::String& name, platform::OpenFile& out)
{
    FileResult refusal;
    return admit (Op::createFile, parent.pathOf (name), {}, refusal) ? system.createFile (parent, name, out) : refusal;
}

FileResult FaultyFileSystem::write (platform::OpenFile& f, const void* data, size_t size)
{
    FileResult refusal;
    return admit (Op::write, f.getPath(), {}, refusal) ? system.write (f, data, size) : refusal;
}

FileResult FaultyFileSystem::flush (platform::OpenFile& f)
{
    FileResult refusal;
    if (! admit (Op::flush, f.getPath(), {}, refusal))
        return refusal;

    return makeFlushes ? system.flush (f) : FileResult {};
}

FileResult FaultyFileSystem::close (platform::OpenFile& f)
{
    // A stopped or failed close still lets go of the handle, as the system
    // does when a process ends.
    FileResult refusal;
    const bool admitted = admit (Op::close, f.getPath(), {}, refusal);
    const auto result = system.close (f);
    return admitted ? result : refusal;
}

FileResult FaultyFileSystem::move (const platform::Folder& from, const juce::String& fromName,
                                   const platform::Folder& to, const juce::String& toName)
{
    FileResult refusal;
    return admit (Op::move, from.pathOf (fromName), to.pathOf (toName), refusal) ? system.move (from, fromName, to, toName) : refusal;
}

FileResult FaultyFileSystem::removeFile (const platform::Folder& folder, const juce::String& name)
{
    FileResult refusal;
    return admit (Op::removeFile, folder.pathOf (name), {}, refusal) ? system.removeFile (folder, name) : refusal;
}

FileResult FaultyFileSystem::removeFolder (const platform::Folder& folder, const juce::String& name)
{
    FileResult refusal;
    return admit (Op::removeFolder, folder.pathOf (name), {}, refusal) ? system.removeFolder (folder, name) : refusal;
}

FileResult FaultyFileSystem::flushFolder (const platform::Folder& folder)
{
    FileResult refusal;
    if (! admit (Op::flushFolder, folder.getPath().getFullPathName(), {}, refusal))
        return refusal;

    return makeFlushes ? system.flushFolder (folder) : FileResult {};
}

platform::EntryKind FaultyFileSystem::kindOf (const platform::Folder& f, const juce::String& name)  { return system.kindOf (f, name); }
std::vector<juce::String> FaultyFileSystem::namesIn (const platform::Folder& f)                    { return system.namesIn (f); }

void FaultyFileSystem::pause (int milliseconds, const std::function<bool()>&)
{
    ++pauses;
    pausedMilliseconds += milliseconds;
    longestPause = std::max (longestPause, milliseconds);
}
