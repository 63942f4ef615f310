// An elevated program working where ordinary users may write: whatever such a
// user swaps for a link, between any two of the engine's calls, the run acts
// on the folders it opened or fails, and never reaches the place the link
// points to. And settings only root or administrators control are trusted.

#include "TestEnvironment.h"
#include "FaultyFileSystem.h"
#include "LinkPlanting.h"
#include "ScenarioDisk.h"
#include "../install/Recovery.h"
#include "../install/SettingsFile.h"
#include "../platform/Platform.h"
#include "../platform/TrustedFiles.h"
#include "../ui/MainComponent.h"

#if JUCE_WINDOWS
 #include <windows.h>
 #include <aclapi.h>
 #include <sddl.h>
#else
 #include <sys/stat.h>
 #include <unistd.h>
#endif

using Op = FaultyFileSystem::Op;

namespace
{
    /** A folder of someone else's, named like the engine's own folders and
        items inside, so that a call that followed a link there would find
        something to act on. */
    void makeUnrelatedFolder (const juce::File& folder)
    {
        for (const auto* path : { "keep.txt", "Contents/x86_64-win/Vantorix3.vst3", "Contents/Resources/moduleinfo.json",
                                  "new/keep.txt", "old/keep.txt", "discard/keep.txt", "failed/keep.txt",
                                  "Vantorix3.vst3/Contents/keep.txt", "Vantorix3.clap", "Vantorix3.dll",
                                  "Vantorix3.aaxplugin/desktop.ini", "desktop.ini" })
            writeBytes (folder.getChildFile (path), std::string ("unrelated ") + path);
    }

    /** The folders a user could swap during a run: the working folder, the
        copies in it, and the item itself when it is a bundle. */
    juce::Array<juce::File> swappableFolders (const ScenarioDisk& disk)
    {
        const auto item = pluginItemFor (disk.folder, productName, disk.scenario.format);
        const auto work = WorkingItems::folderFor (item);
        juce::Array<juce::File> folders { work };

        for (const auto* copy : { WorkingItems::staged, WorkingItems::previous, WorkingItems::discarded })
            folders.add (work.getChildFile (copy));

        if (isBundleFormat[(size_t) disk.scenario.format])
            folders.add (item);

        return folders;
    }

    bool isOnPath (const juce::File& folder, const juce::String& path)
    {
        return path.isNotEmpty() && (juce::File (path) == folder || juce::File (path).isAChildOf (folder));
    }

    /** A copy of the item as a tree of its own, with hidden names revealed,
        so that a copy an attacker moved mid-way compares with the original. */
    Tree itemTree (const juce::File& at, int format)
    {
        if (at.isSymbolicLink())
            return { { "", "<link>" } };

        if (at.existsAsFile())
            return { { "", readBytes (at) } };

        if (! at.isDirectory())
            return {};

        Tree tree { { "", "<dir>" } };
        const auto extension = juce::String (itemExtensions[(size_t) format]);

        for (const auto& [path, bytes] : snapshotTree (at))
        {
            juce::StringArray parts;
            for (const auto& part : juce::StringArray::fromTokens (juce::String (path), "/", {}))
                parts.add (WorkingItems::revealedName (part, extension));

            tree[parts.joinIntoString ("/").toStdString()] = bytes;
        }

        return tree;
    }

    /** The part of a whole folder's snapshot that is the item. */
    Tree itemPart (const Tree& folder, const juce::String& itemName)
    {
        Tree tree;
        const auto name = itemName.toStdString();

        for (const auto& [path, bytes] : folder)
        {
            if (path == name)
                tree[""] = bytes;
            else if (path.rfind (name + "/", 0) == 0)
                tree[path.substr (name.size() + 1)] = bytes;
        }

        return tree;
    }
}

//==============================================================================
TEST (Redirection, AFolderSwappedForALinkBeforeAnyCallNeverTakesTheRunElsewhere)
{
    if (! LinkPlanting::canPlantLinks())
        GTEST_SKIP() << "links can be planted on Linux and under Wine";

    for (const auto& scenario : scenarios)
    {
        SCOPED_TRACE (scenario.name);
        IsolatedHome home;
        ScenarioDisk disk (scenario, home.root);
        const auto unrelated = home.root.getChildFile ("unrelated");
        makeUnrelatedFolder (unrelated);
        const auto untouched = snapshotTree (unrelated);

        const auto item = pluginItemFor (disk.folder, productName, scenario.format);
        const auto oldItem = itemPart (disk.oldTree, item.getFileName());
        const auto newItem = itemPart (disk.newTree, item.getFileName());
        const auto steps = disk.stepsOfACleanRun();
        int swaps = 0;

        for (size_t step = 1; step <= steps.size(); ++step)
        {
            const auto& call = steps[step - 1];

            for (const auto& folder : swappableFolders (disk))
            {
                if (! isOnPath (folder, call.path) && ! isOnPath (folder, call.target))
                    continue;

                SCOPED_TRACE ("before step " + juce::String ((int) step) + " " + FaultyFileSystem::nameOf (call.op) + " "
                              + call.path + ", " + folder.getFileName() + " swapped for a link");
                FaultyFileSystem fs;
                bool swapped = false;
                fs.beforeCall = [&] (int number, const FaultyFileSystem::Call&)
                {
                    if (number == (int) step)
                        swapped = LinkPlanting::swapForLink (folder, unrelated);
                };

                const auto outcome = disk.run (fs);
                ASSERT_TRUE (swapped);
                EXPECT_TRUE (snapshotTree (unrelated) == untouched) << "the unrelated folder changed";

                // Honest: what it says it did is what is there, in its place or,
                // when the user moved the item itself aside, where it went. A
                // failure keeps the old copy whole.
                const auto atItem = itemTree (item, scenario.format);
                const auto whereMoved = itemTree (item.getSiblingFile (item.getFileName() + ".moved"), scenario.format);

                if (outcome.succeeded && ! scenario.uninstall)
                    EXPECT_TRUE (atItem == newItem || (folder == item && whereMoved == newItem)) << "not the new item";
                else if (outcome.succeeded)
                    EXPECT_TRUE (! item.exists() || item.isSymbolicLink());
                else
                    EXPECT_TRUE (atItem == oldItem || (folder == item && whereMoved == oldItem))
                        << "the old item is not whole; " << outcome.reason << " " << outcome.detail;

                // The next start, too, leaves the unrelated folder alone.
                std::ignore = recoverInstallFolder (disk.folder, productName, scenario.format, platform::systemFileSystem(), 0);
                EXPECT_TRUE (snapshotTree (unrelated) == untouched) << "the unrelated folder changed at the next start";

                ++swaps;
                unrelated.deleteRecursively();
                makeUnrelatedFolder (unrelated);
                disk.reset();
            }
        }

        EXPECT_GT (swaps, 5);
    }
}

TEST (Redirection, RecoveryOfAStoppedRunIsNotTakenElsewhereEither)
{
    if (! LinkPlanting::canPlantLinks())
        GTEST_SKIP() << "links can be planted on Linux and under Wine";

    IsolatedHome home;
    const Scenario scenario { "reinstall VST3", vst3Format, false };
    ScenarioDisk disk (scenario, home.root);
    const auto unrelated = home.root.getChildFile ("unrelated");
    makeUnrelatedFolder (unrelated);
    const auto untouched = snapshotTree (unrelated);
    const auto item = pluginItemFor (disk.folder, productName, vst3Format);

    // A reinstall stopped just after it moved the old copy aside.
    const auto stopped = [&]
    {
        disk.reset();
        FaultyFileSystem fs;
        fs.beforeCall = [&] (int number, const FaultyFileSystem::Call& call)
        {
            if (call.op == Op::move && call.path == item.getFullPathName())
                fs.stopAt (number + 1);
        };
        std::ignore = disk.run (fs);
        ASSERT_FALSE (item.exists());
    };

    stopped();
    FaultyFileSystem clean;
    ASSERT_TRUE (recoverInstallFolder (disk.folder, productName, vst3Format, clean, 0));
    EXPECT_EQ (disk.now(), oldState);
    const auto steps = clean.calls;
    int swaps = 0;

    for (size_t step = 1; step <= steps.size(); ++step)
    {
        for (const auto& folder : swappableFolders (disk))
        {
            if (! isOnPath (folder, steps[step - 1].path) && ! isOnPath (folder, steps[step - 1].target))
                continue;

            SCOPED_TRACE ("before step " + juce::String ((int) step) + " " + steps[step - 1].path + ", "
                          + folder.getFileName() + " swapped for a link");
            stopped();
            FaultyFileSystem fs;
            fs.beforeCall = [&] (int number, const FaultyFileSystem::Call&)
            {
                if (number == (int) step)
                    EXPECT_TRUE (LinkPlanting::swapForLink (folder, unrelated));
            };

            std::ignore = recoverInstallFolder (disk.folder, productName, vst3Format, fs, 0);
            EXPECT_TRUE (snapshotTree (unrelated) == untouched) << "the unrelated folder changed";
            ++swaps;
            unrelated.deleteRecursively();
            makeUnrelatedFolder (unrelated);
        }
    }

    EXPECT_GT (swaps, 3);
}

//==============================================================================
// Settings that an ordinary user could have written or redirected: an elevated
// program reads them as no file at all, writes nothing through them, and
// neither makes nor enters any folder they name.

namespace
{
    /** Makes the settings folder or file untrustworthy in one way; false when
        this system cannot do it (the case is then skipped). */
    using Spoil = std::function<bool (const IsolatedHome&)>;

   #if JUCE_WINDOWS
    /** Adds an access rule to a file or folder. */
    bool grant (const juce::File& file, WELL_KNOWN_SID_TYPE who, DWORD rights)
    {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD sidSize = sizeof (sid);
        PACL oldAcl = nullptr, newAcl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;

        if (! CreateWellKnownSid (who, nullptr, sid, &sidSize)
             || GetNamedSecurityInfoW (file.getFullPathName().toWideCharPointer(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, &oldAcl, nullptr, &descriptor) != ERROR_SUCCESS)
            return false;

        EXPLICIT_ACCESSW access {};
        access.grfAccessPermissions = rights;
        access.grfAccessMode = GRANT_ACCESS;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.ptstrName = reinterpret_cast<LPWSTR> (sid);

        const bool done = SetEntriesInAclW (1, &access, oldAcl, &newAcl) == ERROR_SUCCESS
                           && SetNamedSecurityInfoW (const_cast<LPWSTR> (file.getFullPathName().toWideCharPointer()), SE_FILE_OBJECT,
                                                     DACL_SECURITY_INFORMATION, nullptr, nullptr, newAcl, nullptr) == ERROR_SUCCESS;
        LocalFree (newAcl);
        LocalFree (descriptor);
        return done;
    }

    bool giveTo (const juce::File& file, WELL_KNOWN_SID_TYPE who)
    {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD sidSize = sizeof (sid);
        return CreateWellKnownSid (who, nullptr, sid, &sidSize)
                && SetNamedSecurityInfoW (const_cast<LPWSTR> (file.getFullPathName().toWideCharPointer()), SE_FILE_OBJECT,
                                          OWNER_SECURITY_INFORMATION, sid, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
   #else
    bool giveTo (const juce::File& file, uid_t user)
    {
        return ::lchown (file.getFullPathName().toRawUTF8(), user, (gid_t) -1) == 0;
    }

    bool allow (const juce::File& file, mode_t bits)
    {
        struct stat st;
        return ::stat (file.getFullPathName().toRawUTF8(), &st) == 0
                && ::chmod (file.getFullPathName().toRawUTF8(), (st.st_mode & 07777) | bits) == 0;
    }
   #endif

    /** A link in place of the folder or file, to a copy of it elsewhere. */
    bool replaceWithLink (const juce::File& original, const juce::File& copy)
    {
        return original.moveFileTo (copy) && LinkPlanting::swapForLink (original, copy);
    }

    struct SpoiledSettings
    {
        const char* name;
        Spoil spoil;
    };

    std::vector<SpoiledSettings> spoiledSettings()
    {
        return {
            { "the settings folder is a link", [] (const IsolatedHome& h)
              { return replaceWithLink (h.settingsFolder(), h.root.getChildFile ("elsewhere settings")); } },
            { "the settings file is a link", [] (const IsolatedHome& h)
              { return replaceWithLink (h.settingsFile(), h.root.getChildFile ("elsewhere settings.txt")); } },
           #if JUCE_WINDOWS
            { "everyone may write to the settings folder", [] (const IsolatedHome& h)
              { return grant (h.settingsFolder(), WinWorldSid, FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | DELETE); } },
            { "users may write to the settings file", [] (const IsolatedHome& h)
              { return grant (h.settingsFile(), WinBuiltinUsersSid, FILE_GENERIC_WRITE); } },
            { "the settings folder belongs to the users", [] (const IsolatedHome& h)
              { return giveTo (h.settingsFolder(), WinBuiltinUsersSid); } },
            { "the settings file belongs to a guest", [] (const IsolatedHome& h)
              { return giveTo (h.settingsFile(), WinBuiltinGuestsSid); } },
           #else
            { "the settings folder belongs to another user", [] (const IsolatedHome& h) { return giveTo (h.settingsFolder(), 65534); } },
            { "the settings file belongs to another user", [] (const IsolatedHome& h) { return giveTo (h.settingsFile(), 65534); } },
            { "others may write to the settings folder", [] (const IsolatedHome& h) { return allow (h.settingsFolder(), S_IWOTH); } },
            { "its group may write to the settings folder", [] (const IsolatedHome& h) { return allow (h.settingsFolder(), S_IWGRP); } },
            { "others may write to the settings file", [] (const IsolatedHome& h) { return allow (h.settingsFile(), S_IWOTH); } },
           #endif
        };
    }
}

TEST (Redirection, SettingsAnotherUserControlsAreNeitherBelievedNorWrittenNorFollowed)
{
    if (! platform::isElevated())
        GTEST_SKIP() << "only an elevated program has other users' settings to distrust";

    for (const auto& spoiled : spoiledSettings())
    {
        SCOPED_TRACE (spoiled.name);
        IsolatedHome home;

        // The file names a folder that does not exist, and one where a run
        // was cut short: neither may be made, entered or put right.
        const auto neverMade = home.root.getChildFile ("never made");
        const auto leftovers = home.root.getChildFile ("leftovers");
        writeBytes (leftovers.getChildFile (".Vantorix3.vst3.tsr-work/old/Contents/moduleinfo.json"), "{}");
        const auto leftoversBefore = snapshotTree (leftovers);

        const auto bytes = "<Plugin_Manager_Settings VST3_Path=\"" + leftovers.getFullPathName().toStdString()
                         + "\" CLAP_Path=\"" + neverMade.getFullPathName().toStdString() + "\" VST2_Path=\""
                         + neverMade.getChildFile ("vst2").getFullPathName().toStdString() + "\"/>";
        writeBytes (home.settingsFile(), bytes);

        if (! spoiled.spoil (home))
        {
            ADD_FAILURE() << "could not set up: " << spoiled.name;
            continue;
        }

        {
            MainComponent main;
            for (int format = 0; format < numFormats; ++format)
                EXPECT_EQ (main.getInstallFolders()[(size_t) format], home.defaultFolder (format)) << format;
        }

        EXPECT_EQ (SettingsFile::readDocument (home.settingsFile()), nullptr);
        EXPECT_FALSE (SettingsFile::writeFolderSetting (home.settingsFolder(), "AAX_Path", neverMade.getFullPathName(),
                                                        platform::defaultInstallFolders()));

        EXPECT_EQ (readBytes (home.settingsFile()), bytes);
        EXPECT_FALSE (neverMade.exists());
        EXPECT_EQ (snapshotTree (leftovers), leftoversBefore);
    }
}

TEST (Redirection, SettingsTheProgramMakesAreOnesItTrusts)
{
    // Made through a folder choice on a machine without them: readable again,
    // so trusted, whatever owner and rights the system gave them.
    IsolatedHome home;
    const auto chosen = home.root.getChildFile ("chosen").getFullPathName();
    ASSERT_TRUE (SettingsFile::writeFolderSetting (home.settingsFolder(), "CLAP_Path", chosen, platform::defaultInstallFolders()));

    const auto document = SettingsFile::readDocument (home.settingsFile());
    ASSERT_NE (document, nullptr);
    EXPECT_EQ (document->getStringAttribute ("CLAP_Path"), chosen);

   #if JUCE_WINDOWS
    // Printed for the record: what this system made of the rights asked for.
    for (const auto& made : { home.settingsFolder(), home.settingsFile() })
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        LPWSTR text = nullptr;
        if (GetNamedSecurityInfoW (made.getFullPathName().toWideCharPointer(), SE_FILE_OBJECT,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS
             && ConvertSecurityDescriptorToStringSecurityDescriptorW (descriptor, SDDL_REVISION_1,
                                                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr))
        {
            std::cout << made.getFileName() << ": " << juce::String (text) << std::endl;
            LocalFree (text);
        }
        LocalFree (descriptor);
    }
   #else
    struct stat st;
    ASSERT_EQ (::stat (home.settingsFolder().getFullPathName().toRawUTF8(), &st), 0);
    EXPECT_EQ (st.st_mode & (S_IWGRP | S_IWOTH), 0u);
   #endif
}
