#pragma once

#include "FileTree.h"
#include "FormatCatalogue.h"

/** What an install or uninstall keeps beside a plug-in item while it works, and
    how a later run puts things right when one was cut short.

    All working copies of one item live in one folder beside it, named after
    the item: ".Vantorix3.vst3.tsr-work". Inside it:
      - "new"      the staged copy, complete and flushed before it is moved in;
      - "old"      the installed copy set aside, always whole: it is only ever
                   made by one move of the item, and renamed before removal;
      - "discard"  a copy on its way out (an old copy after a swap, or the item
                   an uninstall removes);
      - "failed"   a new copy taken out again when a swap is rolled back.
    While a copy is anywhere in there, every name in it that ends in the
    format's extension carries an extra ".tsr-hidden", so that a host scanning
    the folder, recursively or not, never finds a plug-in in it. The item
    itself is hidden the same way for the moments just before it is moved
    aside and just after a new one is moved in; the working folder exists
    for all of that time, so its presence is what tells a later run to look.

    Everything here works on the install folder as it was opened, by single
    names, so a link put in place of any of these folders is never followed. */
namespace WorkingItems
{
    inline constexpr const char* staged    = "new";
    inline constexpr const char* previous  = "old";
    inline constexpr const char* discarded = "discard";
    inline constexpr const char* failed    = "failed";

    /** The name of the working folder beside an item of the given name. */
    juce::String folderNameFor (const juce::String& itemName);

    /** The working folder beside an item. */
    juce::File folderFor (const juce::File& item);

    /** A name inside a working copy: "x.vst3" becomes "x.vst3.tsr-hidden"; other names stay. */
    juce::String hiddenName (const juce::String& name, const juce::String& extension);

    /** The reverse of hiddenName. */
    juce::String revealedName (const juce::String& name, const juce::String& extension);

    /** Hides or reveals every name below a copy's top folder (a single-file copy
        has none). Revealing flushes each folder whose names changed. */
    platform::FileResult hideNames (platform::FileSystem&, const platform::Folder& parent, const juce::String& copy,
                                    const juce::String& extension);
    platform::FileResult revealNames (platform::FileSystem&, const platform::Folder& parent, const juce::String& copy,
                                      const juce::String& extension);
}

/** Puts an item's folder right after a run that was cut short, with the
    folder's lock already held:
      - when the item is missing and a set-aside old copy exists, it is put back;
      - the item's names are revealed;
      - everything else of the working folder is removed.
    Leftovers of the program's earlier versions (".Vantorix3.vst3.staging",
    ".previous", ".removed", numbered or not) are dealt with the same way.
    Does nothing, at the cost of a few lookups, when nothing was left. */
platform::FileResult recoverInterruptedWork (platform::FileSystem&, const platform::Folder& installFolder,
                                             const juce::String& itemName, int format, const FileTree::RetryPolicy&);

/** True when an item's folder holds anything a cut-short run may have left. */
bool hasLeftovers (platform::FileSystem&, const platform::Folder& installFolder, const juce::String& itemName);

/** The same for one format's install folder, taking the folder's lock for at
    most lockWaitMilliseconds. A folder another copy of the program is working
    in is left alone; so is a folder that does not exist. Returns whether the
    folder is now free of leftovers. */
bool recoverInstallFolder (const juce::File& installFolder, const juce::String& productName, int format,
                           platform::FileSystem&, int lockWaitMilliseconds);
