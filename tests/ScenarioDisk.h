#pragma once

// The disks the engine's fault and redirection sweeps start from: an install
// folder holding an older item, and the trees it may hold after a run.

#include "TestEnvironment.h"
#include "FaultyFileSystem.h"
#include "../install/InstallRun.h"

using Tree = std::map<std::string, std::string>;

inline const juce::String productName ("Vantorix3");

/** A small archive of a format's real layout, whose binary is one of the
    version fixtures; the older one also holds a preset the user added. */
juce::MemoryBlock smallArchive (int format, const char* versionFixtureName, bool withPreset);

inline EmbeddedData view (const juce::MemoryBlock& block)  { return { static_cast<const char*> (block.getData()), (int) block.getSize() }; }

struct Scenario
{
    const char* name;
    int format;
    bool uninstall;
};

/** Installs over an older item of each shape, and uninstalls. */
inline const Scenario scenarios[] = {
    { "install VST3 over an older bundle", vst3Format, false },
    { "install CLAP over an older file", clapFormat, false },
    { "install AAX over an older bundle", aaxFormat, false },
    { "uninstall VST3", vst3Format, true },
    { "uninstall VST2", vst2Format, true },
};

inline const juce::String oldState ("old"), newState ("new"), emptyState ("nothing");

/** One scenario's disk: an install folder holding the older item, and the
    trees the folder may hold after a run. */
class ScenarioDisk
{
public:
    ScenarioDisk (const Scenario& s, const juce::File& root)
        : scenario (s), folder (root.getChildFile ("plugins")),
          older (smallArchive (s.format, "v3.2.1.0.dll", true)), newer (smallArchive (s.format, "v3.3.0.0.dll", false))
    {
        reset();
        oldTree = snapshotTree (folder);
        EXPECT_FALSE (oldTree.empty());

        if (scenario.uninstall)
        {
            newTree = {};
        }
        else
        {
            EXPECT_TRUE (installFormat (folder, productName, s.format, view (newer)).succeeded);
            newTree = snapshotTree (folder);
            reset();
        }
    }

    void reset() const
    {
        folder.deleteRecursively();
        const auto outcome = installFormat (folder, productName, scenario.format, view (older));
        ASSERT_TRUE (outcome.succeeded) << outcome.reason;
    }

    /** The scenario's install or uninstall, through a run as the window and
        the command line make it, on the run's own thread. */
    FormatOutcome run (platform::FileSystem& fs) const
    {
        InstallRun::Request request;
        request.formats[(size_t) scenario.format] = true;
        request.folders[(size_t) scenario.format] = folder;
        request.productName = productName;
        request.productVersion = "3.3.0";
        request.uninstall = scenario.uninstall;
        request.archives[(size_t) scenario.format] = view (newer);

        InstallRun run (request, {}, fs);
        run.start();
        run.waitUntilFinished();
        return run.status().outcomes[(size_t) scenario.format];
    }

    /** What the folder holds: the old or the new tree, or something else. */
    juce::String describe (const Tree& tree) const
    {
        if (tree == oldTree)  return "old";
        if (tree == newTree)  return scenario.uninstall ? "nothing" : "new";

        juce::String listing ("something else:");
        for (const auto& [path, bytes] : tree)
            listing << " " << path;
        return listing;
    }

    juce::String now() const  { return describe (snapshotTree (folder)); }

    /** The calls a clean run makes: the steps to fail or stop at. The disk
        is put back afterwards. */
    std::vector<FaultyFileSystem::Call> stepsOfACleanRun() const
    {
        FaultyFileSystem clean;
        EXPECT_TRUE (run (clean).succeeded);
        reset();
        return clean.calls;
    }

    const Scenario scenario;
    const juce::File folder;
    const juce::MemoryBlock older, newer;
    Tree oldTree, newTree;
};
