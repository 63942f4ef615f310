// The command line a deployment tool uses: what it accepts and refuses, the
// exit codes it leads to, and that its folders are kept as the settings
// panel keeps a choice. The run is the window's; here it is carried out in
// this process as the program does for /VERYSILENT.

#include "TestEnvironment.h"
#include "LinkPlanting.h"
#include "../app/Deployment.h"
#include "../install/SettingsFile.h"
#include "../panels/panel_settings.h"
#include "../platform/FolderLock.h"
#include "../platform/Platform.h"
#include "../platform/UninstallEntry.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <unistd.h>
#endif

namespace
{
    CommandLine parse (const juce::String& text)
    {
        return parseCommandLine (juce::StringArray::fromTokens (text, true));
    }

    juce::File itemOf (const IsolatedHome& home, int format)
    {
        return pluginItemFor (home.defaultFolder (format), "Vantorix3", format);
    }

    ExitCode runQuietly (const juce::String& text)
    {
        const auto options = parse (text);
        EXPECT_TRUE (options.error.isEmpty()) << options.error;
        Deployment::RunLog log (options);
        return Deployment::runWithoutWindow (options, log);
    }
}

TEST (Deployment, SwitchesAreReadAsAdministratorsWriteThemAndAnythingElseIsRefused)
{
    IsolatedHome home;
    const auto folder = home.root.getChildFile ("my plug-ins").getFullPathName();

    // No switches, and words without a slash or dash: the window, as always.
    for (const auto* plain : { "", "word", "two words" })
    {
        const auto options = parse (plain);
        EXPECT_FALSE (options.asksForWork()) << plain;
        EXPECT_TRUE (options.error.isEmpty()) << plain;
    }

    auto options = parse ("/verysilent -Components=\"VST3,clap\" /VST3DIR=\"" + folder + "\" /Log /FORCE /SuppressMsgBoxes /NORESTART");
    EXPECT_TRUE (options.error.isEmpty()) << options.error;
    EXPECT_EQ (options.mode, CommandLine::Mode::verySilent);
    EXPECT_EQ (options.formats, (std::array<bool, 4> { true, false, true, false }));
    EXPECT_EQ (options.folders[vst3Format], folder);
    EXPECT_TRUE (options.log && options.force && ! options.uninstall);
    EXPECT_EQ (options.logFile, juce::File());

    options = parse ("/SILENT /UNINSTALL /LOG=\"" + home.root.getChildFile ("run.log").getFullPathName() + "\"");
    EXPECT_EQ (options.mode, CommandLine::Mode::silent);
    EXPECT_EQ (options.formats, (std::array<bool, 4> { true, true, true, true }));
    EXPECT_EQ (options.logFile, home.root.getChildFile ("run.log"));
    EXPECT_EQ (parse ("/?").mode, CommandLine::Mode::help);
    EXPECT_EQ (parse ("-help").mode, CommandLine::Mode::help);

    const std::pair<const char*, const char*> refused[] = {
        { "/INSTALLDIR=C:\\x", "unknown switch" },
        { "/COMPONENTS=vst3,au", "unknown format \"au\"" },
        { "/COMPONENTS=", "needs a value" },
        { "/COMPONENTS", "needs a value" },
        { "/VST3DIR=plugins/vst3", "needs a full path" },
        { "/CLAPDIR=", "needs a value" },
        { "/FORCE=yes", "takes no value" },
        { "/LOG=relative.log", "needs a full path" },
       #if JUCE_WINDOWS
        { "/AAXDIR=\\\\.\\PhysicalDrive0", "needs a full path" },
        // Names Windows cannot make, which would poison every later run once kept.
        { "/VST3DIR=C:\\Plug|ins", "which Windows does not allow" },
        { "/VST3DIR=C:\\Plugins\\VST3?", "which Windows does not allow" },
        { "/VST2DIR=C:\\Plugins\\CON", "names a device" },
        { "/VST2DIR=C:\\Plugins\\lpt1.dir\\VST2", "names a device" },
        { "/CLAPDIR=C:\\Plugins\\CLAP.", "ends in a dot or a space" },
        { "/AAXDIR=C:\\Plugins\\AAX:stream", "a colon other than the drive's" },
        { "/LOG=C:\\logs\\<run>.log", "which Windows does not allow" },
       #endif
    };

    for (const auto& [text, why] : refused)
        EXPECT_TRUE (parse (juce::String ("/VERYSILENT ") + text).error.contains (why)) << text << ": " << parse (text).error;

    // Windows' own argument rules read a backslash before a closing quote as
    // a quote of the value, and the rest of the line with it: refused, and
    // the line says why.
    const auto typo = parseCommandLine ({ "/VERYSILENT", "/VST3DIR=" + home.root.getChildFile ("Studio Plugins").getFullPathName()
                                                          + "\" /COMPONENTS=vst3 /LOG=" + home.root.getChildFile ("tb.log").getFullPathName() });
    EXPECT_TRUE (typo.error.contains ("A backslash before a closing quote makes the quote part of the value")) << typo.error;
    EXPECT_FALSE (parseCommandLine ({ "/VERYSILENT", juce::String ("/LOG=") + home.root.getFullPathName() + "/a\nb.log" }).error.isEmpty());
}

TEST (Deployment, TheFirstFailureInCatalogueOrderDecidesTheCode)
{
    const auto failed = [] (FailureKind kind) { return FormatOutcome { true, false, "r", "d", kind, {} }; };
    const auto done = FormatOutcome { true, true, {}, {}, FailureKind::none, {} };
    const auto kept = FormatOutcome { true, true, {}, {}, FailureKind::none, "kept the newer v10.0.0.0 installed" };

    const std::array<bool, numFormats> all { true, true, true, true };
    const std::tuple<InstallOutcomes, std::array<bool, numFormats>, ExitCode> cases[] = {
        { { done, FormatOutcome(), kept, done }, { true, false, true, true }, ExitCode::success },
        { { done, done, FormatOutcome(), FormatOutcome() }, all, ExitCode::cancelled },        // stopped before CLAP
        { { done, failed (FailureKind::inUse), failed (FailureKind::diskFull), done }, all, ExitCode::fileInUse },
        { { failed (FailureKind::busy), failed (FailureKind::inUse), done, done }, all, ExitCode::busy },
        { { done, done, done, failed (FailureKind::diskFull) }, all, ExitCode::diskFull },
        { { done, failed (FailureKind::accessDenied), done, done }, all, ExitCode::accessDenied },
        { { failed (FailureKind::damaged), done, done, done }, all, ExitCode::damaged },
        { { done, failed (FailureKind::other), failed (FailureKind::busy), done }, all, ExitCode::failed },
        { { failed (FailureKind::stopped), done, done, done }, all, ExitCode::cancelled },
        { { done, failed (FailureKind::inUse), failed (FailureKind::stopped), FormatOutcome() }, all, ExitCode::fileInUse },
    };

    for (const auto& [outcomes, chosen, code] : cases)
        EXPECT_EQ (Deployment::exitCodeFor (outcomes, chosen), code);
}

TEST (Deployment, AFolderOnTheCommandLineIsKeptAsTheSettingsPanelKeepsIt)
{
    IsolatedHome home;
    const auto chosen = home.root.getChildFile ("studio vst3");
    home.settingsFolder().createDirectory();

    // The panel's choice, on a machine whose file was made at the first start.
    std::string byPanel;
    {
        auto folders = platform::defaultInstallFolders();
        SettingsFile::loadSettings (home.settingsFolder(), folders, [] { return juce::String(); });
        panel_settings panel (home.settingsFile(), folders, {});
        panel.folderChosen (vst3Format, chosen);
        byPanel = readBytes (home.settingsFile());
    }

    home.settingsFile().deleteFile();
    chosen.deleteRecursively();

    // A run that fails to install into the folder keeps nothing of it.
    const auto blocked = home.root.getChildFile ("a file/vst3");
    writeBytes (blocked.getParentDirectory(), "in the way");
    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=vst3 /VST3DIR=\"" + blocked.getFullPathName() + "\""), ExitCode::failed);
    EXPECT_FALSE (home.settingsFile().existsAsFile() && readBytes (home.settingsFile()).find ("a file") != std::string::npos);

    home.settingsFile().deleteFile();
    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=vst3 /VST3DIR=\"" + chosen.getFullPathName() + "\""), ExitCode::success);
    EXPECT_EQ (readBytes (home.settingsFile()), byPanel);
    EXPECT_TRUE (pluginItemFor (chosen, "Vantorix3", vst3Format).isDirectory());
    EXPECT_FALSE (itemOf (home, vst3Format).exists());
}

TEST (Deployment, ANewerCopyIsKeptWithoutForceAndReplacedWithIt)
{
    IsolatedHome home;
    const auto clap = itemOf (home, clapFormat);
    const auto newer = readBytes (versionFixture ("v10.0.0.0.dll"));
    writeBytes (clap, newer);
    const auto log = home.root.getChildFile ("deploy.log");

    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=clap,vst2 /LOG=\"" + log.getFullPathName() + "\""), ExitCode::success);
    EXPECT_EQ (readBytes (clap), newer);
    EXPECT_TRUE (itemOf (home, vst2Format).existsAsFile());

    const auto text = log.loadFileAsString();
    EXPECT_TRUE (text.contains ("CLAP: folder " + home.defaultFolder (clapFormat).getFullPathName() + "; found v10.0.0.0 INSTALLED; to install 3.3.0")) << text;
    EXPECT_TRUE (text.contains ("CLAP: kept the newer v10.0.0.0 installed; /FORCE replaces it")) << text;
    EXPECT_TRUE (text.contains ("VST2: installed in ")) << text;
    EXPECT_TRUE (text.trimEnd().endsWith ("Exit code: 0")) << text;
   #if JUCE_WINDOWS
    EXPECT_TRUE (text.contains ("\r\n"));
   #endif

    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=clap /FORCE"), ExitCode::success);
    EXPECT_EQ (platform::fileVersion (clap), "3.3.0.0");

    EXPECT_EQ (runQuietly ("/VERYSILENT /UNINSTALL"), ExitCode::success);
    for (int format = 0; format < numFormats; ++format)
        EXPECT_FALSE (itemOf (home, format).exists()) << format;
}

TEST (Deployment, TheLogIsAlwaysANewFileNeverThroughALinkNorInPlaceOfAnything)
{
    // Whatever holds the name first stays as it was, and the log goes to the
    // next free name. A name that cannot be made at all stops the run first.
    struct Taken
    {
        const char* name;
        std::function<bool (const juce::File& log, const juce::File& elsewhere)> take;
    };

    const Taken cases[] = {
        { "a link to another file", [] (const juce::File& log, const juce::File& elsewhere)
          { writeBytes (elsewhere, "not yours"); return LinkPlanting::canPlantLinks() && LinkPlanting::swapForLink (log, elsewhere); } },
        { "a folder", [] (const juce::File& log, const juce::File&) { return log.createDirectory().wasOk(); } },
        { "a file", [] (const juce::File& log, const juce::File&) { writeBytes (log, "someone's"); return true; } },
        { "that name and the next", [] (const juce::File& log, const juce::File&)
          { writeBytes (log, "someone's"); writeBytes (log.getSiblingFile ("deploy-2.log"), "someone's"); return true; } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        IsolatedHome home;
        const auto log = home.root.getChildFile ("logs/deploy.log");
        const auto elsewhere = home.root.getChildFile ("elsewhere.txt");
        log.getParentDirectory().createDirectory();

        if (! c.take (log, elsewhere))
            continue;

        const auto before = snapshotTree (home.root);
        EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=clap /LOG=\"" + log.getFullPathName() + "\""), ExitCode::success);

        auto after = snapshotTree (home.root);
        const auto made = std::find_if (after.begin(), after.end(), [] (const auto& entry)
                                        { return entry.first.rfind ("logs/", 0) == 0 && entry.second.find ("Exit code: 0") != std::string::npos; });
        ASSERT_NE (made, after.end());
        EXPECT_TRUE (made->first == "logs/deploy-2.log" || made->first == "logs/deploy-3.log") << made->first;

        for (const auto& [path, content] : before)
            EXPECT_EQ (after[path], content) << path;
    }

    // A log that cannot be made: nothing is installed, and the code says the
    // command line cannot be carried out.
    IsolatedHome home;
    const auto inAFile = home.root.getChildFile ("a file");
    writeBytes (inAFile, "a file");
    const auto options = parse ("/VERYSILENT /COMPONENTS=clap /LOG=\"" + inAFile.getChildFile ("deploy.log").getFullPathName() + "\"");
    const Deployment::RunLog refused (options);
    EXPECT_FALSE (refused.isOpen());
    EXPECT_TRUE (refused.getProblem().contains ("cannot be made")) << refused.getProblem();
    EXPECT_EQ (Deployment::refuse (refused), ExitCode::invalidParameters);
}

TEST (Deployment, AFolderAnotherInstallerHoldsGivesTheBusyCode)
{
    IsolatedHome home;
    const auto folder = home.defaultFolder (clapFormat);
    folder.createDirectory();
    platform::Folder opened;
    ASSERT_TRUE (platform::systemFileSystem().openFolder (folder, opened).ok());
    platform::FolderLock held (opened);
    ASSERT_TRUE (held.enter (0).ok());

    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=vst2,clap"), ExitCode::busy);
    EXPECT_TRUE (itemOf (home, vst2Format).existsAsFile());       // the others still run
    EXPECT_FALSE (itemOf (home, clapFormat).exists());
}

#if JUCE_WINDOWS
TEST (Deployment, AFileHeldOpenGivesTheInUseCode)
{
    IsolatedHome home;
    ASSERT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=vst2"), ExitCode::success);
    const auto handle = CreateFileW (itemOf (home, vst2Format).getFullPathName().toWideCharPointer(),
                                     GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE (handle, INVALID_HANDLE_VALUE);

    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=vst2"), ExitCode::fileInUse);
    CloseHandle (handle);
}
#else
TEST (Deployment, AFolderNobodyMayWriteAndAFullDiskGiveTheirCodes)
{
    // Root may write anywhere permission bits allow: an immutable folder and
    // a small disk refuse even root.
    IsolatedHome home;
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for chattr and mount";

    const auto locked = home.root.getChildFile ("locked");
    locked.createDirectory();
    {
        CommandGuard immutable ({ "chattr", "+i", locked.getFullPathName() }, { "chattr", "-i", locked.getFullPathName() });
        if (immutable.applied)
        {
            EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=clap /CLAPDIR=\"" + locked.getFullPathName() + "\""), ExitCode::accessDenied);
        }
    }

    const auto small = home.root.getChildFile ("small");
    small.createDirectory();
    CommandGuard mounted ({ "mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", small.getFullPathName() }, { "umount", small.getFullPathName() });
    if (! mounted.applied)
        GTEST_SKIP() << "cannot mount a small tmpfs here";

    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=clap /CLAPDIR=\"" + small.getFullPathName() + "\""), ExitCode::diskFull);
    EXPECT_TRUE (snapshotTree (small).empty());
}
#endif

TEST (Deployment, ASettingsFileNamingOneFolderLeavesTheOthersTheirDefaults)
{
    // As an administrator's script writes it: one attribute, the others left out.
    IsolatedHome home;
    const auto custom = home.root.getChildFile ("studio vst3");
    writeBytes (home.settingsFile(), "<Plugin_Manager_Settings VST3_Path=\"" + custom.getFullPathName().toStdString() + "\"/>");

    EXPECT_EQ (runQuietly ("/VERYSILENT"), ExitCode::success);
    EXPECT_TRUE (pluginItemFor (custom, "Vantorix3", vst3Format).isDirectory());
    for (auto format : { vst2Format, clapFormat, aaxFormat })
        EXPECT_TRUE (itemOf (home, format).exists()) << format;

    EXPECT_EQ (runQuietly ("/VERYSILENT /UNINSTALL /COMPONENTS=clap"), ExitCode::success);
    EXPECT_FALSE (itemOf (home, clapFormat).exists());
    EXPECT_TRUE (itemOf (home, aaxFormat).exists());

    // Removing what is not there says so, rather than "removed".
    const auto log = home.root.getChildFile ("again.log");
    EXPECT_EQ (runQuietly ("/VERYSILENT /UNINSTALL /COMPONENTS=clap /LOG=\"" + log.getFullPathName() + "\""), ExitCode::success);
    EXPECT_TRUE (log.loadFileAsString().contains ("CLAP: nothing to remove")) << log.loadFileAsString();

    // Nothing is written for it beyond the VST2 folder every start adds.
    const auto document = SettingsFile::readDocument (home.settingsFile());
    ASSERT_NE (document, nullptr);
    EXPECT_EQ (document->getNumAttributes(), 2);
    EXPECT_TRUE (document->hasAttribute ("VST2_Path"));
}

TEST (Deployment, AnInstallIsRegisteredWithAKeptManagerAndTheLastRemovalUnregistersIt)
{
    IsolatedHome home;
    const auto product = Deployment::thisProduct();
    const auto kept = ProductRegistration::keptProgram (product);
    const auto value = [&] (const char* name) { return platform::uninstallEntryValue (product.code, name); };

    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=clap,vst3"), ExitCode::success);
    ASSERT_TRUE (platform::hasUninstallEntry (product.code));
    EXPECT_EQ (product.code, "Tessarine.Vantorix3");
    EXPECT_EQ (value ("DisplayName"), "Vantorix3");
    EXPECT_EQ (value ("DisplayVersion"), "3.3.0");
    EXPECT_EQ (value ("Publisher"), "Tessarine");
    EXPECT_EQ (value ("DisplayIcon"), kept.getFullPathName());
    EXPECT_EQ (value ("InstallLocation"), kept.getParentDirectory().getFullPathName());
    EXPECT_EQ (value ("UninstallString"), "\"" + kept.getFullPathName() + "\" /SILENT /UNINSTALL");
    EXPECT_EQ (value ("QuietUninstallString"), "\"" + kept.getFullPathName() + "\" /VERYSILENT /UNINSTALL");
    EXPECT_EQ (value ("ModifyPath"), "\"" + kept.getFullPathName() + "\"");
    EXPECT_EQ (value ("InstallDate"), juce::Time::getCurrentTime().formatted ("%Y%m%d"));
    EXPECT_EQ (value ("URLInfoAbout"), productPageUrl);
    EXPECT_TRUE (value ("InstalledFormats").contains ("VST3: " + itemOf (home, vst3Format).getFullPathName())) << value ("InstalledFormats");
    EXPECT_TRUE (value ("InstalledFormats").contains ("CLAP: " + itemOf (home, clapFormat).getFullPathName()));
    EXPECT_EQ (kept.getSize(), platform::runningProgram().getSize());

    // Installed items and the kept manager, in KB.
    const auto size = value ("EstimatedSize").getLargeIntValue();
    EXPECT_GT (size * 1024, kept.getSize() + itemOf (home, clapFormat).getSize());

    // An older version run later leaves the newer one's entry alone.
    platform::UninstallEntry newer;
    newer.text = { { "DisplayVersion", "9.0.0" }, { "DisplayName", "Vantorix3" } };
    ASSERT_TRUE (platform::writeUninstallEntry (product.code, newer));
    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=aax"), ExitCode::success);
    EXPECT_EQ (value ("DisplayVersion"), "9.0.0");
    EXPECT_EQ (value ("InstalledFormats"), "");

    // Removing the last format takes the entry and the manager away.
    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=aax /UNINSTALL"), ExitCode::success);
    platform::removeUninstallEntry (product.code);
    EXPECT_EQ (runQuietly ("/VERYSILENT /COMPONENTS=vst3"), ExitCode::success);
    EXPECT_TRUE (platform::hasUninstallEntry (product.code));
    EXPECT_EQ (runQuietly ("/VERYSILENT /UNINSTALL"), ExitCode::success);
    EXPECT_FALSE (platform::hasUninstallEntry (product.code));
    EXPECT_FALSE (kept.exists());
    EXPECT_FALSE (kept.getParentDirectory().exists());
}

TEST (Deployment, AStopReachesTheLockWaitAndLeavesTheRestCancelled)
{
    IsolatedHome home;
    const auto folder = home.defaultFolder (vst2Format);
    folder.createDirectory();
    platform::Folder opened;
    ASSERT_TRUE (platform::systemFileSystem().openFolder (folder, opened).ok());
    platform::FolderLock held (opened);
    ASSERT_TRUE (held.enter (0).ok());

    InstallRun::Request request;
    request.formats = { true, true, true, true };
    request.folders = platform::defaultInstallFolders();
    request.productName = "Vantorix3";
    request.productVersion = "3.3.0";
    InstallRun run (request);
    run.start();

    // VST3 goes in, then the run waits for VST2's folder until it is stopped.
    while (run.status().format != vst2Format && ! run.status().finished)
        juce::Thread::sleep (5);
    juce::Thread::sleep (300);

    const auto stopped = juce::Time::getMillisecondCounterHiRes();
    run.stop();
    ASSERT_TRUE (run.waitUntilFinished (5000));
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - stopped, 200.0);

    const auto outcomes = run.status().outcomes;
    EXPECT_TRUE (outcomes[vst3Format].succeeded);
    EXPECT_EQ (outcomes[vst2Format].kind, FailureKind::stopped);
    EXPECT_FALSE (outcomes[clapFormat].processed);
    EXPECT_EQ (Deployment::exitCodeFor (outcomes, request.formats), ExitCode::cancelled);
}
