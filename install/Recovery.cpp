#include "Recovery.h"
#include "../platform/FolderLock.h"

using platform::EntryKind;
using platform::FileResult;
using platform::FileSystem;

namespace WorkingItems
{
    static const juce::String hiddenSuffix (".tsr-hidden");

    juce::File folderFor (const juce::File& item)
    {
        return item.getSiblingFile ("." + item.getFileName() + ".tsr-work");
    }

    juce::String hiddenName (const juce::String& name, const juce::String& extension)
    {
        return name.endsWithIgnoreCase (extension) ? name + hiddenSuffix : name;
    }

    juce::String revealedName (const juce::String& name, const juce::String& extension)
    {
        if (! name.endsWith (hiddenSuffix))
            return name;

        const auto original = name.dropLastCharacters (hiddenSuffix.length());
        return original.endsWithIgnoreCase (extension) ? original : name;
    }

    FileResult hideNames (FileSystem& fs, const juce::File& copy, const juce::String& extension,
                          juce::Array<juce::File>& changed)
    {
        return FileTree::renameEntries (fs, copy, [&] (const juce::String& n) { return hiddenName (n, extension); }, changed);
    }

    FileResult revealNames (FileSystem& fs, const juce::File& copy, const juce::String& extension,
                            juce::Array<juce::File>& changed)
    {
        return FileTree::renameEntries (fs, copy, [&] (const juce::String& n) { return revealedName (n, extension); }, changed);
    }
}

namespace
{
    /** Earlier versions staged and set aside beside the item under these names,
        with a number appended when the name was taken; their copies were not
        hidden. Only "previous" was ever a whole copy that the item lacks. */
    constexpr const char* earlierRoles[] = { "staging", "previous", "removed" };

    juce::String earlierPrefix (const juce::File& item, const char* role)
    {
        return "." + item.getFileName() + "." + role;
    }

    bool hasEarlierLeftovers (FileSystem& fs, const juce::File& item)
    {
        return std::any_of (std::begin (earlierRoles), std::end (earlierRoles), [&] (const char* role)
                            { return fs.kindOf (item.getSiblingFile (earlierPrefix (item, role))) != EntryKind::missing; });
    }

    FileResult recoverEarlierLeftovers (FileSystem& fs, const juce::File& item, const FileTree::RetryPolicy& retry)
    {
        if (! hasEarlierLeftovers (fs, item))
            return {};

        const auto previous = item.getSiblingFile (earlierPrefix (item, "previous"));

        if (fs.kindOf (item) == EntryKind::missing && fs.kindOf (previous) != EntryKind::missing)
        {
            if (auto result = FileTree::retrying (fs, retry, [&] { return fs.move (previous, item); }); ! result.ok())
                return result;

            if (auto result = fs.flushFolder (item.getParentDirectory()); ! result.ok())
                return result;
        }

        for (const auto& name : fs.namesIn (item.getParentDirectory()))
        {
            for (const auto* role : earlierRoles)
            {
                const auto prefix = earlierPrefix (item, role);
                if (name.startsWith (prefix) && name.substring (prefix.length()).containsOnly ("0123456789"))
                    if (auto result = FileTree::removeTree (fs, item.getSiblingFile (name), retry); ! result.ok())
                        return result;
            }
        }

        return {};
    }
}

FileResult recoverInterruptedWork (FileSystem& fs, const juce::File& item, int format, const FileTree::RetryPolicy& retry)
{
    if (auto result = recoverEarlierLeftovers (fs, item, retry); ! result.ok())
        return result;

    const auto work = WorkingItems::folderFor (item);
    const auto extension = juce::String (itemExtensions[(size_t) format]);

    switch (fs.kindOf (work))
    {
        case EntryKind::missing:  return {};
        case EntryKind::folder:   break;
        case EntryKind::file:
        case EntryKind::link:     return FileTree::removeTree (fs, work, retry);
    }

    juce::Array<juce::File> changed;
    const auto previous = work.getChildFile (WorkingItems::previous);

    if (fs.kindOf (item) == EntryKind::missing && fs.kindOf (previous) != EntryKind::missing)
    {
        if (auto result = FileTree::retrying (fs, retry, [&] { return fs.move (previous, item); }); ! result.ok())
            return result;

        changed.add (item.getParentDirectory());
    }

    if (auto result = WorkingItems::revealNames (fs, item, extension, changed); ! result.ok())
        return result;

    // The item must be whole on the disk before the working folder, which is
    // what tells a later run to look, goes.
    if (auto result = FileTree::flushFolders (fs, changed); ! result.ok())
        return result;

    return FileTree::removeTree (fs, work, retry);
}

bool recoverInstallFolder (const juce::File& installFolder, const juce::String& productName, int format,
                           FileSystem& fs, int lockWaitMilliseconds)
{
    const auto item = pluginItemFor (installFolder, productName, format);

    if (item == juce::File() || ! installFolder.isDirectory())
        return true;

    // Almost always nothing was left: a few lookups then, and no lock to take.
    if (fs.kindOf (WorkingItems::folderFor (item)) == EntryKind::missing && ! hasEarlierLeftovers (fs, item))
        return true;

    platform::FolderLock lock (installFolder);
    if (! lock.enter (lockWaitMilliseconds))
        return false;

    return recoverInterruptedWork (fs, item, format, FileTree::RetryPolicy::once()).ok();
}
