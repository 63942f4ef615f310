// The install run on its own thread: the screen hears of it while the disk
// works, is never held up by it, and a close in the middle leaves every
// format whole. And the finished screen's hint line: where things went.

#include "TestEnvironment.h"
#include "FaultyFileSystem.h"
#include "ScenarioDisk.h"
#include "../install/Recovery.h"
#include "../ui/MainComponent.h"
#include "../platform/Platform.h"
#include <atomic>
#include <thread>

using Op = FaultyFileSystem::Op;

namespace
{
    void click (MainComponent& main, const juce::String& name)
    {
        main.buttonClicked (&buttonNamed (main, name));
    }

    juce::File itemOf (const IsolatedHome& home, int format)
    {
        return pluginItemFor (home.defaultFolder (format), productName, format);
    }

    double millisecondsOf (const std::function<void()>& work)
    {
        const auto start = juce::Time::getMillisecondCounterHiRes();
        work();
        return juce::Time::getMillisecondCounterHiRes() - start;
    }

    /** Holds the run's thread at a call until the test lets it go. */
    struct Gate
    {
        std::atomic<bool> reached { false }, open { false };

        void holdHere()
        {
            reached = true;
            for (int i = 0; i < 20000 && ! open; ++i)
                juce::Thread::sleep (1);
        }

        bool waitUntilReached()
        {
            for (int i = 0; i < 20000 && ! reached; ++i)
                juce::Thread::sleep (1);
            return reached;
        }
    };

    juce::MouseEvent pointerAt (juce::Component& component, juce::Point<float> position)
    {
        const auto now = juce::Time::getCurrentTime();
        return { juce::Desktop::getInstance().getMainMouseSource(), position, {},
                 juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                 juce::MouseInputSource::defaultRotation, juce::MouseInputSource::defaultTiltX,
                 juce::MouseInputSource::defaultTiltY, &component, &component, now, position, now, 0, false };
    }
}

//==============================================================================
TEST (Run, TheScreenHearsOfProgressWhileTheDiskWorksAndIsNeverHeldUp)
{
    // What the run's thread uses is declared before the screen that owns
    // the run, so it outlives the run when an ASSERT ends the test early.
    IsolatedHome home;
    FaultyFileSystem fs;
    Gate gate;
    int writes = 0;
    MainComponent main;

    // Held inside a write of the CLAP binary, a slice into it.
    fs.beforeCall = [&] (int, const FaultyFileSystem::Call& call)
    {
        if (call.op == Op::write && ++writes == 2)
            gate.holdHere();
    };
    main.setFileSystemForRuns (fs);
    click (main, "CLAP");

    // The gate holds the worker for up to 20 s: a run on this thread would
    // take that long. How long the screen is held is the benchmark's to say.
    const auto starting = millisecondsOf ([&] { click (main, "INSTALL"); });
    EXPECT_LT (starting, 2000.0) << "starting the run held the screen";
    EXPECT_TRUE (main.isRunning());
    ASSERT_TRUE (gate.waitUntilReached());

    // The worker is inside a write; the screen takes its progress at once.
    const auto showing = millisecondsOf ([&] { main.showRunProgress(); });
    EXPECT_LT (showing, 2000.0);
    const auto& shown = main.getShownRunStatus();
    EXPECT_EQ (shown.format, clapFormat);
    EXPECT_EQ (shown.progress.phase, Phase::writing);
    EXPECT_GT (shown.fractionWritten(), 0.05);
    EXPECT_LT (shown.fractionWritten(), 0.5);

    // Painting the run's display asks nothing of the run's disk, and waits for nothing.
    const auto callsBefore = fs.calls.size();
    juce::Image image (juce::Image::ARGB, 600, 600, true);
    const auto painting = millisecondsOf ([&] { juce::Graphics g (image); main.paintEntireComponent (g, true); });
    EXPECT_LT (painting, 2000.0);
    EXPECT_EQ (fs.calls.size(), callsBefore);

    // Clicks do nothing while it works; the hint line still follows the pointer.
    click (main, "EULA");
    EXPECT_EQ (main.getEulaPanel(), nullptr);
    buttonNamed (main, "SUPPORT").setState (juce::Button::buttonOver);
    EXPECT_EQ (main.getHintLabel().getText(), "Email and Discord support");
    buttonNamed (main, "SUPPORT").setState (juce::Button::buttonNormal);

    gate.open = true;
    main.waitForInstallRun();
    EXPECT_TRUE (main.didInstallSucceed());
    EXPECT_TRUE (itemOf (home, clapFormat).existsAsFile());
}

TEST (Run, ClosingMidRunLeavesEachFormatWholeAndTheRestUntouched)
{
    // Asked to stop while writing CLAP's new copy, the run rolls CLAP back;
    // asked while moving it in, it finishes CLAP. AAX is never started.
    struct Case
    {
        const char* name;
        Op op;
        bool newClap;
    };

    for (const auto& c : { Case { "while writing", Op::write, false }, Case { "while moving it in", Op::move, true } })
    {
        SCOPED_TRACE (c.name);
        IsolatedHome home;
        for (int format : { vst3Format, clapFormat, aaxFormat })
            ASSERT_TRUE (installFormat (home.defaultFolder (format), productName, format,
                                        view (smallArchive (format, "v3.2.1.0.dll", true))).succeeded);

        const auto oldClap = snapshotTree (home.defaultFolder (clapFormat));
        const auto oldAax = snapshotTree (home.defaultFolder (aaxFormat));
        const auto clapItem = itemOf (home, clapFormat).getFullPathName();

        FaultyFileSystem fs;
        Gate gate;
        fs.beforeCall = [&] (int, const FaultyFileSystem::Call& call)
        {
            const bool inClap = call.path.contains (".Vantorix3.clap.tsr-work");
            if (inClap && call.op == c.op && (c.op != Op::move || call.target == clapItem) && ! gate.reached)
            {
                gate.reached = true;
                juce::Thread::sleep (100);      // the window closes meanwhile
            }
        };

        auto main = std::make_unique<MainComponent>();
        main->setFileSystemForRuns (fs);
        ASSERT_TRUE (main->isSelected (vst3Format) && main->isSelected (clapFormat) && main->isSelected (aaxFormat));
        main->buttonClicked (&buttonNamed (*main, "INSTALL"));
        ASSERT_TRUE (gate.waitUntilReached());
        main.reset();           // as closing the window does: waits for the run to let go

        // VST3 was done before: new. CLAP old or new, whole. AAX untouched.
        const auto versionOf = [&] (int format) { return platform::fileVersion (versionSourceFor (itemOf (home, format), productName, format)); };
        EXPECT_EQ (versionOf (vst3Format), "3.3.0.0");
        EXPECT_EQ (versionOf (clapFormat), c.newClap ? "3.3.0.0" : "3.2.1.0");

        if (! c.newClap)
        {
            EXPECT_EQ (snapshotTree (home.defaultFolder (clapFormat)), oldClap);
        }

        EXPECT_EQ (snapshotTree (home.defaultFolder (aaxFormat)), oldAax);

        for (int format : { vst3Format, clapFormat, aaxFormat })
            EXPECT_FALSE (WorkingItems::folderFor (itemOf (home, format)).exists()) << "a working folder was left";
    }
}

//==============================================================================
TEST (Run, TheFinishedHintLineSaysWhereThingsWentAndAFailureLineWhy)
{
    IsolatedHome home;

    {
        // One format: formats before folders, then what comes next.
        MainComponent main;
        click (main, "VST3");
        click (main, "INSTALL");
        main.waitForInstallRun();
        const auto vst3Line = "VST3 installed in " + home.defaultFolder (vst3Format).getFullPathName() + ". Restart to change more.";
        EXPECT_EQ (main.getHintLabel().getText(), vst3Line);

        // The line comes back to it after a link was hovered.
        buttonNamed (main, "EULA").setState (juce::Button::buttonOver);
        buttonNamed (main, "EULA").setState (juce::Button::buttonNormal);
        EXPECT_EQ (main.getHintLabel().getText(), vst3Line);
    }

    {
        // Several in folders of their own: each format names its folder,
        // shortened to fit. What is there from before starts selected.
        {
            MainComponent installing;
            click (installing, "CLAP");
            click (installing, "VST2");
            click (installing, "INSTALL");
            installing.waitForInstallRun();
        }

        MainComponent main;
        main.modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::shiftModifier));
        click (main, "INSTALL");
        main.waitForInstallRun();
        const auto line = main.getHintLabel().getText();
        EXPECT_TRUE (line.endsWith (" Restart to change more.")) << line;
        for (int format : { vst3Format, vst2Format, clapFormat })
            EXPECT_TRUE (line.contains (formatNames[(size_t) format])) << line;
        const auto& hint = main.getHintLabel();
        EXPECT_LE (hint.getFont().getStringWidthFloat (line), (float) hint.getWidth()) << "it fits the line";
    }

    {
        // A failure: its line on the finished screen shows the detail when hovered.
        FaultyFileSystem fs;
        fs.beforeCall = [&] (int number, const FaultyFileSystem::Call& call)
        {
            if (call.op == Op::createFile && call.path.contains (".Vantorix3.clap.tsr-work"))
                fs.failCall (number, platform::FileError::diskFull, -1);
        };

        MainComponent main;
        main.setFileSystemForRuns (fs);
        click (main, "VST3");
        click (main, "CLAP");
        click (main, "INSTALL");
        main.waitForInstallRun();
        ASSERT_FALSE (main.didInstallSucceed());
        EXPECT_EQ (main.getHintLabel().getText(), "VST3 installed in " + home.defaultFolder (vst3Format).getFullPathName() + ". Restart to change more.");

        const auto u = main.getLayoutUnit();
        main.mouseMove (pointerAt (main, { 50.0f * u, 30.0f * u }));          // the first failure line
        EXPECT_EQ (main.getHintLabel().getText(),
                   "CLAP: " + WorkingItems::folderFor (itemOf (home, clapFormat)).getChildFile ("new").getFullPathName()
                   + ": injected createFile failure");

        main.mouseMove (pointerAt (main, { 50.0f * u, 50.0f * u }));          // off it
        EXPECT_EQ (main.getHintLabel().getText(), "VST3 installed in " + home.defaultFolder (vst3Format).getFullPathName() + ". Restart to change more.");
    }
}
