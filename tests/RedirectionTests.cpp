// An elevated program working where ordinary users may write: whatever such a
// user swaps for a link, between any two of the engine's calls, the run acts
// on the folders it opened or fails, and never reaches the place the link
// points to. And settings only root or administrators control are trusted.

#include "TestEnvironment.h"
#include "FaultyFileSystem.h"
#include "LinkPlanting.h"
#include "ScenarioDisk.h"
#include "../app/Deployment.h"
#include "../install/Recovery.h"
#include "../install/SettingsFile.h"
#include "../platform/Platform.h"
#include "../platform/TrustedFiles.h"
#include "../panels/panel_settings.h"
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

    /** Removes a folder and every link planted in it. Under Wine a planted
        link is a Linux link that the program (rightly) will not remove, since
        Wine follows it even when told not to: the Linux side removes it. */
    void removeWithPlantedLinks (const juce::File& folder)
    {
       #if JUCE_WINDOWS
        LinkPlanting::runHostShell ("rm -rf '" + LinkPlanting::hostPath (folder) + "'");
       #endif
        folder.deleteRecursively();
    }

    /** What differs between a folder and an earlier snapshot of it, by name. */
    std::string changesIn (const juce::File& folder, const Tree& before)
    {
        const auto now = snapshotTree (folder);
        std::string changes;

        for (const auto& [path, bytes] : before)
            if (now.count (path) == 0 || now.at (path) != bytes)
                changes += " -" + path;

        for (const auto& [path, bytes] : now)
            if (before.count (path) == 0)
                changes += " +" + path;

        return changes;
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
                EXPECT_TRUE (snapshotTree (unrelated) == untouched) << "the unrelated folder changed:" << changesIn (unrelated, untouched);

                // Honest: what it says it did is what is there, in its place or,
                // when the user moved the item itself aside, where it went. A
                // failure keeps the old copy whole, and so does the next start:
                // put back, or (where a rename goes by path, as under Wine, and
                // the working folder was swapped) still set aside in it.
                const auto work = WorkingItems::folderFor (item);
                const auto movedItem = item.getSiblingFile (item.getFileName() + ".moved");
                const auto keptWhole = [&] (const Tree& copy)
                {
                    juce::Array<juce::File> places { item };
                    if (folder == item)
                        places.add (movedItem);

                    if (LinkPlanting::renamesGoByPath())
                        places.addArray ({ work.getChildFile (WorkingItems::previous),
                                           work.getSiblingFile (work.getFileName() + ".moved").getChildFile (WorkingItems::previous) });

                    return std::any_of (places.begin(), places.end(), [&] (const juce::File& f) { return itemTree (f, scenario.format) == copy; });
                };

                if (outcome.succeeded && ! scenario.uninstall)
                    EXPECT_TRUE (keptWhole (newItem)) << "not the new item";
                else if (outcome.succeeded)
                    EXPECT_TRUE (! item.exists() || item.isSymbolicLink());
                else
                    EXPECT_TRUE (keptWhole (oldItem)) << "the old item is not whole; " << outcome.reason << " " << outcome.detail;

                // The next start, too, leaves the unrelated folder alone.
                std::ignore = recoverInstallFolder (disk.folder, productName, scenario.format, platform::systemFileSystem(), 0);
                EXPECT_TRUE (snapshotTree (unrelated) == untouched) << "the unrelated folder changed at the next start";

                if (! outcome.succeeded)
                {
                    EXPECT_TRUE (keptWhole (oldItem)) << "the old item was lost at the next start";
                }

                ++swaps;
                removeWithPlantedLinks (disk.folder);
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
        removeWithPlantedLinks (disk.folder);
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
                {
                    EXPECT_TRUE (LinkPlanting::swapForLink (folder, unrelated));
                }
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
    /** The file's owner and access rules in their text form. */
    juce::String securityOf (const juce::File& file)
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        LPWSTR text = nullptr;
        juce::String result;

        if (GetNamedSecurityInfoW (file.getFullPathName().toWideCharPointer(), SE_FILE_OBJECT,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS
             && ConvertSecurityDescriptorToStringSecurityDescriptorW (descriptor, SDDL_REVISION_1,
                                                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr))
        {
            result = juce::String (text);
            LocalFree (text);
        }

        LocalFree (descriptor);
        return result;
    }

    /** Sets owner or access rules from text, and says whether the system kept
        them: Wine takes them and forgets them. */
    bool setSecurity (const juce::File& file, SECURITY_INFORMATION what, const wchar_t* sddl, const char* expected)
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (! ConvertStringSecurityDescriptorToSecurityDescriptorW (sddl, SDDL_REVISION_1, &descriptor, nullptr))
            return false;

        PSID owner = nullptr;
        PACL dacl = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        GetSecurityDescriptorOwner (descriptor, &owner, &defaulted);
        GetSecurityDescriptorDacl (descriptor, &present, &dacl, &defaulted);

        const bool set = SetNamedSecurityInfoW (const_cast<LPWSTR> (file.getFullPathName().toWideCharPointer()), SE_FILE_OBJECT,
                                                what, owner, nullptr, dacl, nullptr) == ERROR_SUCCESS;
        LocalFree (descriptor);
        return set && securityOf (file).contains (expected);
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
              { return setSecurity (h.settingsFolder(), DACL_SECURITY_INFORMATION, L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;WD)", "0x1301bf;;;WD"); } },
            { "users may write to the settings file", [] (const IsolatedHome& h)
              { return setSecurity (h.settingsFile(), DACL_SECURITY_INFORMATION, L"D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FW;;;BU)", ";;;BU)"); } },
            { "the settings folder belongs to the users", [] (const IsolatedHome& h)
              { return setSecurity (h.settingsFolder(), OWNER_SECURITY_INFORMATION, L"O:BU", "O:BU"); } },
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
        const juce::ScopeGuard removeLinks { [&] { removeWithPlantedLinks (home.settingsFolder()); } };

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
            // Wine accepts owners and rules and does not keep them; the rule
            // itself is checked on descriptors below.
            std::cout << "not kept by this system, skipped: " << spoiled.name << std::endl;
            continue;
        }

        // Said, not hidden: to the window, to its settings panel, to a folder
        // choice and to a deployment tool's log.
        {
            MainComponent main;
            for (int format = 0; format < numFormats; ++format)
                EXPECT_EQ (main.getInstallFolders()[(size_t) format], home.defaultFolder (format)) << format;

            EXPECT_TRUE (main.getSettingsDistrust().startsWith (home.settingsFolder().getFullPathName())) << main.getSettingsDistrust();
            panel_settings panel (home.settingsFile(), main.getInstallFolders(), {});
            EXPECT_TRUE (panel.getNotKeptLine().contains ("cannot be kept: " + home.settingsFolder().getFullPathName())) << panel.getNotKeptLine();
        }

        EXPECT_EQ (SettingsFile::readDocument (home.settingsFile()), nullptr);
        const auto kept = SettingsFile::writeFolderSetting (home.settingsFolder(), "AAX_Path", neverMade.getFullPathName(),
                                                            platform::defaultInstallFolders());
        EXPECT_FALSE (kept);
        EXPECT_TRUE (kept.why.isNotEmpty());

        const auto log = home.root.getChildFile ("deploy.log");
        const auto chosen = home.root.getChildFile ("chosen clap");
        const auto options = parseCommandLine (juce::StringArray::fromTokens ("/VERYSILENT /COMPONENTS=clap /CLAPDIR=\"" + chosen.getFullPathName()
                                                                              + "\" /LOG=\"" + log.getFullPathName() + "\"", true));
        Deployment::RunLog runLog (options);
        EXPECT_EQ (Deployment::runWithoutWindow (options, runLog), ExitCode::success);
        EXPECT_TRUE (pluginItemFor (chosen, "Vantorix3", clapFormat).existsAsFile());
        const auto text = log.loadFileAsString();
        EXPECT_TRUE (text.contains ("Settings: not believed, the default folders are used instead: " + home.settingsFolder().getFullPathName())) << text;
        EXPECT_TRUE (text.contains ("CLAP: " + chosen.getFullPathName() + " was used for this run, but not kept in the settings: ")) << text;
        chosen.deleteRecursively();

        EXPECT_EQ (readBytes (home.settingsFile()), bytes);
        EXPECT_FALSE (neverMade.exists());
        EXPECT_EQ (snapshotTree (leftovers), leftoversBefore);
    }
}

#if ! JUCE_WINDOWS
TEST (Redirection, OthersMayAddToTheSettingsFolderButNeverTakeOrSteerWhatIsInIt)
{
    // A shared folder where anyone may add names but, with the sticky bit,
    // remove or rename none of root's: believed, as Windows' own rules for a
    // folder in C:\ProgramData are. A name another user takes first is
    // passed over, and a file of theirs under the settings name is not read.
    if (! platform::isElevated())
        GTEST_SKIP() << "only an elevated program has other users' settings to distrust";

    IsolatedHome home;
    const auto chosen = home.root.getChildFile ("chosen").getFullPathName();
    writeBytes (home.settingsFile(), "<Plugin_Manager_Settings CLAP_Path=\"" + chosen.toStdString() + "\"/>");
    ASSERT_EQ (::chmod (home.settingsFolder().getFullPathName().toRawUTF8(), 01777), 0);

    const auto planted = home.settingsFolder().getChildFile (".PluginManagerSettings.txt." + juce::String ((int) ::getpid()) + "-0.tsr-new");
    writeBytes (planted, "another user's");
    ASSERT_TRUE (giveTo (planted, 65534));

    {
        MainComponent main;
        EXPECT_EQ (main.getInstallFolders()[clapFormat].getFullPathName(), chosen);
        EXPECT_TRUE (main.getSettingsDistrust().isEmpty()) << main.getSettingsDistrust();
    }

    EXPECT_TRUE (SettingsFile::writeFolderSetting (home.settingsFolder(), "AAX_Path", chosen, platform::defaultInstallFolders()));
    EXPECT_EQ (SettingsFile::readDocument (home.settingsFile())->getStringAttribute ("AAX_Path"), chosen);
    EXPECT_EQ (readBytes (planted), "another user's");

    // The settings file itself, made first by another user.
    home.settingsFile().deleteFile();
    writeBytes (home.settingsFile(), "<Plugin_Manager_Settings CLAP_Path=\"/elsewhere\"/>");
    ASSERT_TRUE (giveTo (home.settingsFile(), 65534));
    MainComponent main;
    EXPECT_EQ (main.getInstallFolders()[clapFormat], home.defaultFolder (clapFormat));
    EXPECT_TRUE (main.getSettingsDistrust().contains ("not owned by root")) << main.getSettingsDistrust();
}
#endif

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
        std::cout << made.getFileName() << ": " << securityOf (made) << std::endl;
   #else
    struct stat st;
    ASSERT_EQ (::stat (home.settingsFolder().getFullPathName().toRawUTF8(), &st), 0);
    EXPECT_EQ (st.st_mode & (S_IWGRP | S_IWOTH), 0u);
   #endif
}

#if JUCE_WINDOWS
TEST (Redirection, OnWindowsOnlyAdministratorsAndTheSystemMayOwnOrChangeTrustedSettings)
{
    // Checked on descriptors, since Wine does not keep what is set on a file.
    using platform::TrustedEntry;
    const std::tuple<const wchar_t*, TrustedEntry, bool> cases[] = {
        { L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;WD)", TrustedEntry::file, true },      // as the program makes them
        { L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;WD)", TrustedEntry::folder, true },
        { L"O:SYD:(A;;FA;;;SY)", TrustedEntry::file, true },
        { L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:(A;;FA;;;SY)", TrustedEntry::file, true },   // TrustedInstaller
        { L"O:BAD:(A;;FA;;;SY)(A;OICIIO;FA;;;CO)", TrustedEntry::folder, true },                 // applies only to what is made inside
        { L"O:BAD:(D;;FA;;;WD)(A;;FA;;;SY)", TrustedEntry::file, true },                         // a denial grants nothing
        { L"O:BAD:(A;;0x100;;;WD)", TrustedEntry::file, true },                                  // attributes only
        { L"O:BAD:(A;;0x116;;;BU)", TrustedEntry::folder, true },                                // users may add files and folders
        { L"O:BAD:(A;;0x116;;;BU)", TrustedEntry::file, false },                                 // but not write to the file
        { L"O:BUD:(A;;FA;;;SY)", TrustedEntry::folder, false },                                  // owned by the users
        { L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;SY)", TrustedEntry::file, false },                   // owned by a user's account
        { L"O:BAD:(A;;FA;;;SY)(A;;0x1301bf;;;WD)", TrustedEntry::folder, false },                // everyone may change it
        { L"O:BAD:(A;;FA;;;SY)(A;;FW;;;BU)", TrustedEntry::file, false },
        { L"O:BAD:(A;;FA;;;AU)", TrustedEntry::folder, false },                                  // any signed-in user
        { L"O:BAD:(A;;0x10000;;;WD)", TrustedEntry::folder, false },                             // everyone may delete it
        { L"O:BAD:(A;;0x40;;;BU)", TrustedEntry::folder, false },                                // users may delete what is in it
        { L"O:BAD:(A;;0x40000;;;BU)", TrustedEntry::file, false },                               // users may change its rules
    };

    for (const auto& [sddl, kind, trusted] : cases)
    {
        SCOPED_TRACE (juce::String (sddl));
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE (ConvertStringSecurityDescriptorToSecurityDescriptorW (sddl, SDDL_REVISION_1, &descriptor, nullptr));
        EXPECT_EQ (platform::whyUntrusted (descriptor, kind).isEmpty(), trusted) << platform::whyUntrusted (descriptor, kind);
        LocalFree (descriptor);
    }

    // No access list at all lets everyone do anything.
    SECURITY_DESCRIPTOR open;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof (administrators);
    ASSERT_TRUE (InitializeSecurityDescriptor (&open, SECURITY_DESCRIPTOR_REVISION)
                  && CreateWellKnownSid (WinBuiltinAdministratorsSid, nullptr, administrators, &size)
                  && SetSecurityDescriptorOwner (&open, administrators, FALSE)
                  && SetSecurityDescriptorDacl (&open, TRUE, nullptr, FALSE));
    EXPECT_FALSE (platform::whyUntrusted (&open, platform::TrustedEntry::folder).isEmpty());
}

TEST (Redirection, AFolderOtherInstallersMakeInProgramDataIsBelievedAsWindowsInheritsItsRules)
{
    // C:\ProgramData's own rules, as icacls lists them, and a folder made in
    // it by an administrator's installer, with its rules inherited as the
    // system inherits them: users may add files and folders to it, nothing
    // more. With the right to delete what is in it, or owned by a user, it
    // is not believed.
    const auto childOf = [] (const wchar_t* parentSddl, const wchar_t* creatorSddl)
    {
        PSECURITY_DESCRIPTOR parent = nullptr, creator = nullptr, child = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorW (parentSddl, SDDL_REVISION_1, &parent, nullptr);
        ConvertStringSecurityDescriptorToSecurityDescriptorW (creatorSddl, SDDL_REVISION_1, &creator, nullptr);

        HANDLE token = nullptr;
        OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token);
        GENERIC_MAPPING files { FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS };
        const bool made = CreatePrivateObjectSecurityEx (parent, creator, &child, nullptr, TRUE,
                                                         SEF_DACL_AUTO_INHERIT | SEF_AVOID_OWNER_CHECK | SEF_AVOID_PRIVILEGE_CHECK,
                                                         token, &files);
        CloseHandle (token);
        LocalFree (parent);
        LocalFree (creator);
        return std::unique_ptr<void, void (*) (void*)> (made ? child : nullptr, [] (void* d) { if (d != nullptr) DestroyPrivateObjectSecurity (&d); });
    };

    const auto* programData = L"O:SYG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;0x116;;;BU)";
    const auto* withDeleteChild = L"O:SYG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;0x156;;;BU)";

    // What Windows makes of each, for a system that does not inherit rules
    // itself (Wine answers with an owner and no rules at all).
    const std::tuple<const char*, const wchar_t*, const wchar_t*, const wchar_t*, bool> cases[] = {
        { "made by an administrator's installer", programData, L"O:BAG:BA",
          L"O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;ID;FA;;;BA)(A;OICIIOID;FA;;;CO)(A;OICIID;0x1200a9;;;BU)(A;CIID;0x116;;;BU)", true },
        { "users may delete what is in it", withDeleteChild, L"O:BAG:BA",
          L"O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;ID;FA;;;BA)(A;OICIIOID;FA;;;CO)(A;OICIID;0x1200a9;;;BU)(A;CIID;0x156;;;BU)", false },
        { "made by a user first", programData, L"O:S-1-5-21-1-2-3-1001G:BA",
          L"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;ID;FA;;;S-1-5-21-1-2-3-1001)(A;OICIIOID;FA;;;CO)(A;OICIID;0x1200a9;;;BU)(A;CIID;0x116;;;BU)", false },
    };

    for (const auto& [name, parent, creator, asWindowsMakesIt, trusted] : cases)
    {
        SCOPED_TRACE (name);
        auto child = childOf (parent, creator);
        ASSERT_NE (child.get(), nullptr);

        PACL dacl = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        if (! GetSecurityDescriptorDacl (child.get(), &present, &dacl, &defaulted) || ! present)
        {
            std::cout << "this system inherits no rules: Windows' own result is used" << std::endl;
            PSECURITY_DESCRIPTOR made = nullptr;
            ASSERT_TRUE (ConvertStringSecurityDescriptorToSecurityDescriptorW (asWindowsMakesIt, SDDL_REVISION_1, &made, nullptr));
            child = { made, [] (void* d) { LocalFree (d); } };
        }

        LPWSTR text = nullptr;
        ConvertSecurityDescriptorToStringSecurityDescriptorW (child.get(), SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr);
        std::cout << name << ": " << juce::String (text) << std::endl;
        LocalFree (text);

        const auto why = platform::whyUntrusted (child.get(), platform::TrustedEntry::folder);
        EXPECT_EQ (why.isEmpty(), trusted) << why;
    }
}
#endif
