#include "Recovery.h"
#include "../platform/FolderLock.h"

using platform::EntryKind;
using platform::FileError;
using platform::FileResult;
using platform::FileSystem;
using platform::Folder;

namespace WorkingItems
{
    static const juce::String hiddenSuffix (".tsr-hidden");

    juce::String folderNameFor (const juce::String& itemName)
    {
        return "." + itemName + ".tsr-work";
    }

    juce::File folderFor (const juce::File& item)
    {
        return item.getSiblingFile (folderNameFor (item.getFileName()));
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

    FileResult hideNames (FileSystem& fs, const Folder& parent, const juce::String& copy, const juce::String& extension)
    {
        return FileTree::renameEntries (fs, parent, copy, [&] (const juce::String& n) { return hiddenName (n, extension); }, false);
    }

    FileResult revealNames (FileSystem& fs, const Folder& parent, const juce::String& copy, const juce::String& extension)
    {
        return FileTree::renameEntries (fs, parent, copy, [&] (const juce::String& n) { return revealedName (n, extension); }, true);
    }
}

namespace
{
    /** Earlier versions staged and set aside beside the item under these names,
        with a number appended when the name was taken; their copies were not
        hidden. Only "previous" was ever a whole copy that the item lacks. */
    constexpr const char* earlierRoles[] = { "staging", "previous", "removed" };

    juce::String earlierPrefix (const juce::String& itemName, const char* role)
    {
        return "." + itemName + "." + role;
    }

    bool hasEarlierLeftovers (FileSystem& fs, const Folder& folder, const juce::String& itemName)
    {
        return std::any_of (std::begin (earlierRoles), std::end (earlierRoles), [&] (const char* role)
                            { return fs.kindOf (folder, earlierPrefix (itemName, role)) != EntryKind::missing; });
    }

    FileResult recoverEarlierLeftovers (FileSystem& fs, const Folder& folder, const juce::String& itemName,
                                        const FileTree::RetryPolicy& retry)
    {
        if (! hasEarlierLeftovers (fs, folder, itemName))
            return {};

        const auto previous = earlierPrefix (itemName, "previous");

        if (fs.kindOf (folder, itemName) == EntryKind::missing && fs.kindOf (folder, previous) != EntryKind::missing)
        {
            if (auto result = FileTree::retrying (fs, retry, [&] { return fs.move (folder, previous, folder, itemName); }); ! result.ok())
                return result;

            if (auto result = fs.flushFolder (folder); ! result.ok())
                return result;
        }

        for (const auto& name : fs.namesIn (folder))
        {
            for (const auto* role : earlierRoles)
            {
                const auto prefix = earlierPrefix (itemName, role);
                if (name.startsWith (prefix) && name.substring (prefix.length()).containsOnly ("0123456789"))
                    if (auto result = FileTree::removeTree (fs, folder, name, retry); ! result.ok())
                        return result;
            }
        }

        return {};
    }
}

bool hasLeftovers (FileSystem& fs, const Folder& folder, const juce::String& itemName)
{
    return fs.kindOf (folder, WorkingItems::folderNameFor (itemName)) != EntryKind::missing
            || hasEarlierLeftovers (fs, folder, itemName);
}

FileResult recoverInterruptedWork (FileSystem& fs, const Folder& folder, const juce::String& itemName, int format,
                                   const FileTree::RetryPolicy& retry)
{
    if (auto result = recoverEarlierLeftovers (fs, folder, itemName, retry); ! result.ok())
        return result;

    const auto workName = WorkingItems::folderNameFor (itemName);
    const auto extension = juce::String (itemExtensions[(size_t) format]);

    switch (fs.kindOf (folder, workName))
    {
        case EntryKind::missing:  return {};
        case EntryKind::folder:   break;
        case EntryKind::file:
        case EntryKind::link:     return FileTree::removeTree (fs, folder, workName, retry);
    }

    bool putBack = false;

    {
        Folder work;
        if (auto result = fs.openFolder (folder, workName, work); ! result.ok())
            return result;

        const bool oldCopyAside = fs.kindOf (work, WorkingItems::previous) != EntryKind::missing;
        auto itemKind = fs.kindOf (folder, itemName);

        // A link in the item's place is never a copy of ours: it goes, and the
        // old copy comes back. Until it can go, the old copy stays aside.
        if (oldCopyAside && itemKind == EntryKind::link)
        {
            if (auto result = FileTree::retrying (fs, retry, [&] { return fs.removeFile (folder, itemName); }); ! result.ok())
                return result;

            itemKind = EntryKind::missing;
        }

        if (itemKind == EntryKind::missing && oldCopyAside)
        {
            if (auto result = FileTree::retrying (fs, retry, [&] { return fs.move (work, WorkingItems::previous, folder, itemName); });
                 ! result.ok())
                return result;

            putBack = true;
        }
    }

    // The item must be whole on the disk before the working folder, which is
    // what tells a later run to look, goes.
    if (auto result = WorkingItems::revealNames (fs, folder, itemName, extension); ! result.ok())
        return result;

    if (putBack)
        if (auto result = fs.flushFolder (folder); ! result.ok())
            return result;

    return FileTree::removeTree (fs, folder, workName, retry);
}

bool recoverInstallFolder (const juce::File& installFolder, const juce::String& productName, int format,
                           FileSystem& fs, int lockWaitMilliseconds)
{
    const auto item = pluginItemFor (installFolder, productName, format);
    if (item == juce::File())
        return true;

    Folder folder;
    if (auto result = fs.openFolder (installFolder, folder); ! result.ok())
        return result.error == FileError::missing || ! installFolder.isDirectory();

    // Almost always nothing was left: a few lookups then, and no lock to take.
    const auto itemName = item.getFileName();
    if (! hasLeftovers (fs, folder, itemName))
        return true;

    platform::FolderLock lock (folder);
    if (! lock.enter (lockWaitMilliseconds).ok())
        return false;

    return recoverInterruptedWork (fs, folder, itemName, format, FileTree::RetryPolicy::once()).ok();
}
