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
    if (! admit (Op::createFolder, parent.pathOf (name), {}, refusal))
        return refusal;

    const auto result = system.createFolder (parent, name);
    if (result.ok())
        changed ({ Op::createFolder, parent.pathOf (name), {}, parent.getPath().getFullPathName(), {} });
    return result;
}

FileResult FaultyFileSystem::createFile (const platform::Folder& parent, const juce::String& name, platform::OpenFile& out)
{
    FileResult refusal;
    if (! admit (Op::createFile, parent.pathOf (name), {}, refusal))
        return refusal;

    const auto result = system.createFile (parent, name, out);
    if (result.ok())
    {
        changed ({ Op::createFile, parent.pathOf (name), {}, parent.getPath().getFullPathName(), {} });
        contents[parent.pathOf (name)] = {};
    }
    return result;
}

FileResult FaultyFileSystem::write (platform::OpenFile& f, const void* data, size_t size)
{
    FileResult refusal;
    if (! admit (Op::write, f.getPath(), {}, refusal))
        return refusal;

    const auto result = system.write (f, data, size);
    if (result.ok())
        contents[f.getPath()].written += (juce::int64) size;
    return result;
}

FileResult FaultyFileSystem::flush (platform::OpenFile& f)
{
    FileResult refusal;
    if (! admit (Op::flush, f.getPath(), {}, refusal))
        return refusal;

    const auto result = makeFlushes ? system.flush (f) : FileResult {};
    if (result.ok())
        if (auto found = contents.find (f.getPath()); found != contents.end())
            found->second.flushed = found->second.written;
    return result;
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
    if (! admit (Op::move, from.pathOf (fromName), to.pathOf (toName), refusal))
        return refusal;

    const auto result = system.move (from, fromName, to, toName);
    if (result.ok())
    {
        renamed (from.pathOf (fromName), to.pathOf (toName));
        changed ({ Op::move, from.pathOf (fromName), to.pathOf (toName), from.getPath().getFullPathName(), to.getPath().getFullPathName() });
    }
    return result;
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

    const auto result = makeFlushes ? system.flushFolder (folder) : FileResult {};
    if (result.ok())
        folderFlushed (folder.getPath().getFullPathName());
    return result;
}

//==============================================================================
namespace
{
    /** The name `path` has after `from` was renamed to `to`: itself, or
        beneath `to` when it was `from` or beneath it. */
    juce::String followRename (const juce::String& path, const juce::String& from, const juce::String& to)
    {
        if (path == from)
            return to;

        const auto separator = juce::File::getSeparatorString();
        return path.startsWith (from + separator) ? to + path.substring (from.length()) : path;
    }
}

void FaultyFileSystem::changed (Change change)
{
    changes.push_back (std::move (change));
}

void FaultyFileSystem::renamed (const juce::String& from, const juce::String& to)
{
    for (auto& c : changes)
        for (auto* name : { &c.path, &c.target, &c.folder, &c.targetFolder })
            *name = followRename (*name, from, to);

    std::map<juce::String, Content> followed;
    for (const auto& [path, content] : contents)
        followed[followRename (path, from, to)] = content;
    contents = std::move (followed);
}

void FaultyFileSystem::folderFlushed (const juce::String& folder)
{
    for (auto& c : changes)
    {
        c.folderFlushed = c.folderFlushed || c.folder == folder;
        c.targetFolderFlushed = c.targetFolderFlushed || c.targetFolder == folder;
    }
}

juce::StringArray FaultyFileSystem::powerComesBack()
{
    juce::StringArray problems;

    if (! powerLost)
        return problems;

    for (const auto& [path, content] : contents)
    {
        const juce::File file (path);
        if (content.written == content.flushed || ! file.existsAsFile())
            continue;

        juce::FileOutputStream out (file);
        if (! out.openedOk() || ! out.setPosition (content.flushed) || out.truncate().failed())
            problems.add ("could not cut " + path + " back to its flushed bytes");
    }

    for (auto c = changes.rbegin(); c != changes.rend(); ++c)
    {
        if (c->folderFlushed && (c->op != Op::move || c->targetFolderFlushed))
            continue;

        if (c->op == Op::move)
        {
            const juce::File moved (c->target), back (c->path);
            if (! moved.exists() && ! moved.isSymbolicLink())
                continue;       // removed since; a removal is not undone

            if (back.exists() || back.isSymbolicLink() || ! moved.moveFileTo (back))
                problems.add ("could not undo the rename of " + c->path + " to " + c->target);
        }
        else
        {
            const juce::File made (c->path);
            if (made.isDirectory() && ! made.isSymbolicLink())
                made.deleteRecursively();
            else
                made.deleteFile();
        }
    }

    changes.clear();
    contents.clear();
    powerLost = false;
    return problems;
}

platform::EntryKind FaultyFileSystem::kindOf (const platform::Folder& f, const juce::String& name)  { return system.kindOf (f, name); }
std::vector<juce::String> FaultyFileSystem::namesIn (const platform::Folder& f)                    { return system.namesIn (f); }

void FaultyFileSystem::pause (int milliseconds, const std::function<bool()>&)
{
    ++pauses;
    pausedMilliseconds += milliseconds;
    longestPause = std::max (longestPause, milliseconds);
}
