// Installs and uninstalls that fail or stop at every file-system call they make.
//
// Each scenario first runs once cleanly through the recording file system;
// the calls it made are the steps. Then, for every step in turn, the run is
// repeated from the same starting disk with that step failing (each error
// such a call meets in the field, once and for good), and with the process
// stopping there, after which the recovery that the next start runs is
// applied. What the folder may hold afterwards: the old item whole or the
// new item whole (for an uninstall, the old item whole or nothing), matching
// what the run reported, and nothing beside it.

#include "TestEnvironment.h"
#include "FaultyFileSystem.h"
#include "LinkPlanting.h"
#include "ScenarioDisk.h"
#include "../install/Installer.h"
#include "../install/Recovery.h"
#include "../ui/MainComponent.h"

using Op = FaultyFileSystem::Op;

namespace
{
    juce::String expectedAfter (const ScenarioDisk& disk, const FormatOutcome& outcome)
    {
        if (! outcome.succeeded)
            return oldState;

        return disk.scenario.uninstall ? emptyState : newState;
    }

    /** Nothing inside the working folder may end in the format's extension, or
        a host scanning the install folder could load it as a plug-in. */
    void expectNoVisibleWorkingNames (const ScenarioDisk& disk)
    {
        const auto extension = juce::String (itemExtensions[(size_t) disk.scenario.format]);
        const auto work = WorkingItems::folderFor (pluginItemFor (disk.folder, productName, disk.scenario.format));

        if (! work.isDirectory())
            return;

        for (const auto& entry : juce::RangedDirectoryIterator (work, true, "*", juce::File::findFilesAndDirectories))
            EXPECT_FALSE (entry.getFile().getFileName().endsWithIgnoreCase (extension)) << entry.getFile().getFullPathName();
    }

}

//==============================================================================
TEST (Interruption, CleanRunsFlushBeforeTheyMakeAnythingLiveAndStayInTheirFolder)
{
    for (const auto& scenario : scenarios)
    {
        SCOPED_TRACE (scenario.name);
        IsolatedHome home;
        ScenarioDisk disk (scenario, home.root);

        FaultyFileSystem fs;
        const auto outcome = disk.run (fs);
        ASSERT_TRUE (outcome.succeeded) << outcome.reason;
        EXPECT_EQ (disk.now(), expectedAfter (disk, outcome));

        const auto item = pluginItemFor (disk.folder, productName, scenario.format).getFullPathName();
        std::set<juce::String> unflushedFiles, unflushedFolders;
        bool swapped = false, folderFlushedAfterSwap = false;

        for (const auto& call : fs.calls)
        {
            EXPECT_TRUE (juce::File (call.path) == disk.folder || juce::File (call.path).isAChildOf (disk.folder)) << call.path;

            switch (call.op)
            {
                case Op::createFile:    unflushedFiles.insert (call.path); break;
                case Op::flush:         unflushedFiles.erase (call.path); break;
                case Op::createFolder:  unflushedFolders.insert (call.path); break;
                case Op::flushFolder:
                    unflushedFolders.erase (call.path);
                    folderFlushedAfterSwap = folderFlushedAfterSwap || (swapped && call.path == disk.folder.getFullPathName());
                    break;
                case Op::move:
                    if (call.target == item && ! scenario.uninstall)
                    {
                        // The staged copy goes live: all of it must be on the disk.
                        EXPECT_TRUE (unflushedFiles.empty()) << *unflushedFiles.begin();
                        EXPECT_TRUE (unflushedFolders.empty()) << *unflushedFolders.begin();
                        swapped = true;
                    }
                    else if (call.path == item && scenario.uninstall)
                    {
                        swapped = true;
                    }
                    break;
                case Op::removeFile:
                case Op::removeFolder:
                    // Clearing up starts only once the new state is on the disk.
                    EXPECT_TRUE (folderFlushedAfterSwap) << "removed before the folder was flushed: " << call.path;
                    break;
                case Op::write:
                case Op::close:
                case Op::openFolder:
                    break;
            }
        }

        EXPECT_TRUE (swapped);
    }
}

TEST (Interruption, EveryStepThatFailsLeavesOneWholeItemAndTellsTheTruth)
{
    for (const auto& scenario : scenarios)
    {
        SCOPED_TRACE (scenario.name);
        IsolatedHome home;
        ScenarioDisk disk (scenario, home.root);

        const auto steps = disk.stepsOfACleanRun();

        for (size_t step = 1; step <= steps.size(); ++step)
        {
            for (const auto error : FaultyFileSystem::realisticErrors (steps[step - 1].op))
            {
                for (const int times : { 1, -1 })
                {
                    SCOPED_TRACE (juce::String ("step ") + juce::String ((int) step) + " " + FaultyFileSystem::nameOf (steps[step - 1].op)
                                  + " " + steps[step - 1].path + ", error " + juce::String ((int) error)
                                  + (times < 0 ? " for good" : " once"));
                    FaultyFileSystem fs;
                    fs.failCall ((int) step, error, times);
                    const auto outcome = disk.run (fs);

                    EXPECT_EQ (outcome.succeeded, outcome.reason.isEmpty()) << outcome.reason;

                    expectNoVisibleWorkingNames (disk);

                    if (times > 0)
                    {
                        // A single refusal is retried or rolled back without a trace.
                        EXPECT_EQ (disk.now(), expectedAfter (disk, outcome));
                    }
                    else
                    {
                        // A lasting one may keep a hidden copy that the system
                        // will not let go; the next run's recovery removes it.
                        ASSERT_TRUE (recoverInstallFolder (disk.folder, productName, scenario.format, platform::systemFileSystem(), 0));
                        EXPECT_EQ (disk.now(), expectedAfter (disk, outcome));
                    }

                    disk.reset();
                }
            }
        }
    }
}

TEST (Interruption, EveryStepWhereTheProcessStopsIsPutRightByTheNextStart)
{
    for (const auto& scenario : scenarios)
    {
        SCOPED_TRACE (scenario.name);
        IsolatedHome home;
        ScenarioDisk disk (scenario, home.root);

        const auto steps = disk.stepsOfACleanRun().size();

        const auto finalState = scenario.uninstall ? emptyState : newState;

        for (size_t step = 1; step <= steps + 1; ++step)
        {
            SCOPED_TRACE ("stopped at step " + juce::String ((int) step));
            FaultyFileSystem fs;
            fs.stopAt ((int) step);
            std::ignore = disk.run (fs);
            expectNoVisibleWorkingNames (disk);

            // The next start, as the main component runs it.
            EXPECT_TRUE (recoverInstallFolder (disk.folder, productName, scenario.format, platform::systemFileSystem(), 0));
            const auto state = disk.now();
            EXPECT_TRUE (state == oldState || state == finalState) << state;

            if (step > steps)
            {
                EXPECT_EQ (state, finalState);
            }

            disk.reset();
        }
    }
}

TEST (Interruption, AFileInUseIsWaitedForUpToTenSecondsThenTheHolderIsNamed)
{
    IsolatedHome home;
    ScenarioDisk disk (scenarios[0], home.root);
    const auto item = pluginItemFor (disk.folder, productName, vst3Format).getFullPathName();

    const auto steps = disk.stepsOfACleanRun();
    const auto swap = std::find_if (steps.begin(), steps.end(),
                                    [&] (const FaultyFileSystem::Call& c) { return c.op == Op::move && c.target == item; });
    ASSERT_NE (swap, steps.end());
    const auto swapStep = (int) (swap - steps.begin()) + 1;

    // Held for 2 s, as a virus scanner holds a new binary: waited out, with
    // the wait reported once per pause and the file named.
    FaultyFileSystem scanned;
    scanned.failCall (swapStep, platform::FileError::inUse, -1);
    scanned.releaseAfterMilliseconds = 2000;
    std::vector<Progress> waits;
    const RunHooks hooks { [&] (const Progress& p) { if (p.phase == Phase::waiting) waits.push_back (p); }, {} };
    EXPECT_TRUE (installFormat (disk.folder, productName, vst3Format, view (disk.newer), scanned, hooks).succeeded);
    EXPECT_GE (scanned.pausedMilliseconds, 2000);
    EXPECT_LT (scanned.pausedMilliseconds, 4000);
    ASSERT_FALSE (waits.empty());
    EXPECT_EQ (waits.front().waitingFor, swap->path);
    EXPECT_EQ (disk.now(), newState);

    // Held for good (a host with the plug-in loaded): given up after 10 s of
    // pauses growing to a second, with the program the system names.
    disk.reset();
    FaultyFileSystem loaded;
    loaded.failCall (swapStep, platform::FileError::inUse, -1);
    loaded.holders = { "Studio Host 12" };
    const auto outcome = disk.run (loaded);
    EXPECT_FALSE (outcome.succeeded);
    EXPECT_EQ (outcome.kind, FailureKind::inUse);
    EXPECT_EQ (outcome.reason, "could not replace the installed copy, a file is in use by Studio Host 12");
    EXPECT_TRUE (outcome.detail.contains ("injected move failure")) << outcome.detail;
    EXPECT_EQ (loaded.pausedMilliseconds, 10000);
    EXPECT_EQ (loaded.longestPause, 1000);
    EXPECT_EQ (disk.now(), oldState);

    // When the system names nobody, the words stay as they were.
    disk.reset();
    FaultyFileSystem nobody;
    nobody.failCall (swapStep, platform::FileError::inUse, -1);
    EXPECT_EQ (disk.run (nobody).reason, "could not replace the installed copy, a file is in use");

    // A full disk is no passing state: no retries.
    disk.reset();
    FaultyFileSystem full;
    full.failCall (swapStep, platform::FileError::diskFull);
    const auto fullOutcome = disk.run (full);
    EXPECT_EQ (fullOutcome.reason, "the disk is full");
    EXPECT_EQ (fullOutcome.kind, FailureKind::diskFull);
    EXPECT_EQ (full.pauses, 0);
    EXPECT_EQ (disk.now(), oldState);
}

TEST (Interruption, LeftoversOfEarlierVersionsAreRecovered)
{
    IsolatedHome home;
    const auto folder = home.root.getChildFile ("vst3");
    ASSERT_TRUE (installFormat (folder, productName, vst3Format, archiveFor (vst3Format)).succeeded);
    const auto installed = snapshotTree (folder);

    // Killed between setting the old copy aside and moving the new one in,
    // after an earlier run had already left a staging folder behind.
    const auto item = folder.getChildFile ("Vantorix3.vst3");
    ASSERT_TRUE (item.moveFileTo (folder.getChildFile (".Vantorix3.vst3.previous")));
    writeBytes (folder.getChildFile (".Vantorix3.vst3.staging/Vantorix3.vst3/Contents/x86_64-win/Vantorix3.vst3"), "part");
    writeBytes (folder.getChildFile (".Vantorix3.vst3.staging2/Vantorix3.vst3/Contents/x86_64-win/Vantorix3.vst3"), "part");
    writeBytes (folder.getChildFile (".Vantorix3.vst3.removed/Contents/moduleinfo.json"), "part");
    writeBytes (folder.getChildFile (".Vantorix3.vst3.staging-notes.txt"), "not ours");

    EXPECT_TRUE (recoverInstallFolder (folder, productName, vst3Format, platform::systemFileSystem(), 0));

    auto expected = installed;
    expected[".Vantorix3.vst3.staging-notes.txt"] = "not ours";
    EXPECT_EQ (snapshotTree (folder), expected);
}

TEST (Interruption, RecoveryRemovesAPlantedLinkButNothingItPointsTo)
{
   #if JUCE_WINDOWS
    GTEST_SKIP() << "symbolic links need a privilege the test may lack";
   #else
    IsolatedHome home;
    const auto folder = home.root.getChildFile ("clap");
    const auto elsewhere = home.root.getChildFile ("precious");
    writeBytes (elsewhere.getChildFile ("keep.txt"), "keep");
    folder.createDirectory();
    ASSERT_TRUE (elsewhere.createSymbolicLink (WorkingItems::folderFor (folder.getChildFile ("Vantorix3.clap")), true));

    EXPECT_TRUE (recoverInstallFolder (folder, productName, clapFormat, platform::systemFileSystem(), 0));
    EXPECT_TRUE (snapshotTree (folder).empty());
    EXPECT_EQ (readBytes (elsewhere.getChildFile ("keep.txt")), "keep");
   #endif
}

//==============================================================================
// Two copies of the program: one holds its install just before the swap while
// the other starts. The starting copy's recovery must leave the working copy
// alone; both then end with the whole new item.

namespace
{
    const char* const pausedInstallVariable = "TSR_TEST_PAUSED_INSTALL";
}

/** The other copy, run by the test in a process of its own (see TestMain):
    installs the newer CLAP item into the folder named by the variable and,
    just before moving it in, writes "paused" there and waits for "go". */
int runPausedInstallIfAsked()
{
    const auto folderPath = juce::SystemStats::getEnvironmentVariable (pausedInstallVariable, {});
    if (folderPath.isEmpty())
        return -1;

    const juce::File folder (folderPath), signals = folder.getSiblingFile ("signals");
    const auto item = pluginItemFor (folder, productName, clapFormat).getFullPathName();
    FaultyFileSystem fs;
    fs.beforeCall = [&] (int, const FaultyFileSystem::Call& call)
    {
        if (call.op != Op::move || call.target != item)
            return;

        signals.getChildFile ("paused").create();
        for (int i = 0; i < 6000 && ! signals.getChildFile ("go").exists(); ++i)
            juce::Thread::sleep (10);
    };

    const auto newer = smallArchive (clapFormat, "v3.3.0.0.dll", false);
    return installFormat (folder, productName, clapFormat, view (newer), fs).succeeded ? 0 : 1;
}

TEST (Interruption, AStartingCopyLeavesAnotherCopysWorkAlone)
{
    IsolatedHome home;
    const Scenario scenario { "install CLAP", clapFormat, false };
    ScenarioDisk disk (scenario, home.root);
    const auto signals = disk.folder.getSiblingFile ("signals");
    signals.createDirectory();

    home.setVariable (pausedInstallVariable, disk.folder.getFullPathName());
    juce::ChildProcess other;
    ASSERT_TRUE (other.start (juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName(), 0));
    home.setVariable (pausedInstallVariable, std::nullopt);

    for (int i = 0; i < 3000 && ! signals.getChildFile ("paused").exists(); ++i)
        juce::Thread::sleep (10);
    ASSERT_TRUE (signals.getChildFile ("paused").exists()) << "the other copy never reached its swap";

    const auto working = snapshotTree (disk.folder);
    EXPECT_NE (working, disk.oldTree);      // its working folder is there

    // This copy starts: recovery finds the folder taken and touches nothing.
    EXPECT_FALSE (recoverInstallFolder (disk.folder, productName, clapFormat, platform::systemFileSystem(), 0));
    EXPECT_EQ (snapshotTree (disk.folder), working);

    signals.getChildFile ("go").create();
    EXPECT_TRUE (other.waitForProcessToFinish (60000));
    EXPECT_EQ (other.getExitCode(), 0u);
    EXPECT_EQ (disk.now(), newState);

    // And this copy's own install, now that the folder is free.
    EXPECT_TRUE (disk.run (platform::systemFileSystem()).succeeded);
    EXPECT_EQ (disk.now(), newState);
}

TEST (Interruption, TheMainScreenStartsWithAStoppedRunPutRight)
{
    IsolatedHome home;
    const auto folder = home.defaultFolder (vst3Format);
    const auto item = pluginItemFor (folder, productName, vst3Format);
    ASSERT_TRUE (installFormat (folder, productName, vst3Format, archiveFor (vst3Format)).succeeded);
    const auto installed = snapshotTree (folder);

    // A reinstall killed right after it set the old copy aside.
    FaultyFileSystem fs;
    fs.beforeCall = [&] (int number, const FaultyFileSystem::Call& call)
    {
        if (call.op == Op::move && call.path == item.getFullPathName())
            fs.stopAt (number + 1);
    };
    std::ignore = installFormat (folder, productName, vst3Format, archiveFor (vst3Format), fs);
    ASSERT_FALSE (item.exists());

    MainComponent main;
    EXPECT_TRUE (main.isSelected (vst3Format));
    EXPECT_EQ (snapshotTree (folder), installed);
}

TEST (Interruption, ALeftoverDeeperThanAnyBundleIsRefusedAndNeverEndsTheRun)
{
    // Folders are walked without recursion, so that no depth a user plants
    // can exhaust the run's stack; past a depth no bundle has, a leftover is
    // not the program's own and is refused with the reason.
    for (const int depth : { 60, 300 })
    {
        SCOPED_TRACE (depth);
        IsolatedHome home;
        const auto folder = home.defaultFolder (clapFormat);
        const auto work = folder.getChildFile (".Vantorix3.clap.tsr-work");
        folder.createDirectory();

        juce::String nested ("discard");
        for (int level = 1; level < depth; ++level)
            nested << "/d";

        const auto quote = [] (const juce::File& f) { return "'" + LinkPlanting::hostPath (f) + "'"; };
        ASSERT_EQ (LinkPlanting::runHostShell ("cd " + quote (work.getParentDirectory()) + " && mkdir -p '" + work.getFileName() + "/" + nested
                                               + "' && touch '" + work.getFileName() + "/" + nested + "/deepest'"), 0);

        const auto outcome = installFormat (folder, "Vantorix3", clapFormat, archiveFor (clapFormat));

        if (depth <= FileTree::maxDepth)
        {
            EXPECT_TRUE (outcome.succeeded) << outcome.reason << " " << outcome.detail;
            EXPECT_FALSE (work.exists());
        }
        else
        {
            // Wine cannot name a handle whose path is longer than the old
            // limit of 260 characters, so there every entry is refused from
            // about a hundred levels on, as one whose path cannot be checked.
            EXPECT_FALSE (outcome.succeeded);
            EXPECT_TRUE (outcome.detail.contains ("nested deeper than 256 levels")
                          || (LinkPlanting::renamesGoByPath() && outcome.detail.contains ("cannot be resolved"))) << outcome.detail;
        }

        LinkPlanting::runHostShell ("rm -rf " + quote (folder));
    }
}

//==============================================================================
// Power cuts: what the run had not flushed is lost as well (see
// FaultyFileSystem::losePowerAt). A run's flushes are what makes the next
// start find one whole item.

namespace
{
    /** The disk after the scenario's run stopped at `step`: by a power cut,
        or as a killed process with the system keeping all it was given. */
    void stopRunAt (const ScenarioDisk& disk, int step, bool powerCut)
    {
        FaultyFileSystem fs;
        powerCut ? fs.losePowerAt (step) : fs.stopAt (step);
        std::ignore = disk.run (fs);
        const auto lost = fs.powerComesBack();
        EXPECT_TRUE (lost.isEmpty()) << lost.joinIntoString ("; ");
    }
}

TEST (Interruption, APowerCutAtEveryStepOfTheNextStartOrOfARunLeavesOneWholeItem)
{
    for (const auto& scenario : scenarios)
    {
        SCOPED_TRACE (scenario.name);
        IsolatedHome home;
        ScenarioDisk disk (scenario, home.root);

        const auto steps = (int) disk.stepsOfACleanRun().size();
        const auto finalState = scenario.uninstall ? emptyState : newState;
        int recoveriesCut = 0;
        std::set<Tree> startsSwept;       // the next start from the same disk is the same run

        for (int step = 1; step <= steps + 1; ++step)
        for (const bool powerCut : { true, false })
        {
            SCOPED_TRACE ((powerCut ? "power cut at step " : "killed at step ") + juce::String (step));
            stopRunAt (disk, step, powerCut);
            const bool sweepRecovery = startsSwept.insert (snapshotTree (disk.folder)).second;

            // The next start's recovery, cut at each of its own steps, then
            // the start after that.
            FaultyFileSystem recovering;
            EXPECT_TRUE (recoverInstallFolder (disk.folder, productName, scenario.format, recovering, 0));
            const auto recoverySteps = (int) recovering.calls.size();
            auto state = disk.now();
            EXPECT_TRUE (state == oldState || state == finalState) << state;

            // Past its last call the run has said it succeeded: that must hold.
            if (step > steps)
            {
                EXPECT_EQ (state, finalState);
            }

            for (int cut = 1; sweepRecovery && cut <= recoverySteps; ++cut)
            {
                SCOPED_TRACE ("and again at step " + juce::String (cut) + " of the next start");
                disk.reset();
                stopRunAt (disk, step, powerCut);

                FaultyFileSystem again;
                again.losePowerAt (cut);
                std::ignore = recoverInstallFolder (disk.folder, productName, scenario.format, again, 0);
                const auto lost = again.powerComesBack();
                EXPECT_TRUE (lost.isEmpty()) << lost.joinIntoString ("; ");

                EXPECT_TRUE (recoverInstallFolder (disk.folder, productName, scenario.format, platform::systemFileSystem(), 0));
                state = disk.now();
                EXPECT_TRUE (state == oldState || state == finalState) << state;
                ++recoveriesCut;
            }

            disk.reset();
        }

        EXPECT_GT (recoveriesCut, 0) << "no cut left anything for the next start to do";
    }
}
