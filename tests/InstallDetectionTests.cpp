#include "TestEnvironment.h"
#include "LinkPlanting.h"
#include "../install/InstallDetection.h"
#include "../platform/Platform.h"
#include <future>

namespace
{
    enum class Setup { nothing, emptyBundle, moduleWithoutVersion, module, plainFileAsBundle, folderAsDll, otherItemOnly };

    struct DetectionCase
    {
        const char* name;
        FormatIndex format;
        Setup setup;
        const char* fixture;          // the version fixture placed as the binary
        const char* carriedVersion;
        InstallState state;
        const char* text;
    };

    const DetectionCase detectionCases[] = {
        { "absent",                   vst3Format, Setup::nothing,              nullptr,         "3.3.0", InstallState::NotInstalled, "NOT INSTALLED" },
        { "VST3 bundle, no module",   vst3Format, Setup::emptyBundle,          nullptr,         "3.3.0", InstallState::Installed,    "INSTALLED" },
        { "AAX bundle, no module",    aaxFormat,  Setup::emptyBundle,          nullptr,         "3.3.0", InstallState::Installed,    "INSTALLED" },
        { "module without version",   vst3Format, Setup::moduleWithoutVersion, "no-version.dll", "3.3.0", InstallState::Installed,   "INSTALLED" },
        { "older VST3",               vst3Format, Setup::module,               "v3.2.1.0.dll",  "3.3.0", InstallState::NeedsUpdate,  "v3.2.1.0 NEEDS UPDATE" },
        { "current AAX",              aaxFormat,  Setup::module,               "v3.3.0.0.dll",  "3.3.0", InstallState::Installed,    "v3.3.0.0 INSTALLED" },
        { "newer CLAP",               clapFormat, Setup::module,               "v3.4.0.0.dll",  "3.3.0", InstallState::Installed,    "v3.4.0.0 INSTALLED" },
        { "3.10 against 3.9",         vst2Format, Setup::module,               "v3.10.0.0.dll", "3.9.0", InstallState::Installed,    "v3.10.0.0 INSTALLED" },
        { "3.9 against 3.10",         vst2Format, Setup::module,               "v3.9.0.0-pe32.dll", "3.10.0", InstallState::NeedsUpdate, "v3.9.0.0 NEEDS UPDATE" },
        { "plain file as VST3",       vst3Format, Setup::plainFileAsBundle,    nullptr,         "3.3.0", InstallState::Installed,    "INSTALLED" },
        { "folder as VST2",           vst2Format, Setup::folderAsDll,          nullptr,         "3.3.0", InstallState::Installed,    "INSTALLED" },
        { "another product only",    clapFormat, Setup::otherItemOnly,        nullptr,         "3.3.0", InstallState::NotInstalled, "NOT INSTALLED" },
    };

    void prepare (const juce::File& folder, const DetectionCase& c)
    {
        const auto item = pluginItemFor (folder, "Vantorix3", c.format);
        const auto source = versionSourceFor (item, "Vantorix3", c.format);

        switch (c.setup)
        {
            case Setup::nothing:              folder.createDirectory(); break;
            case Setup::emptyBundle:          item.getChildFile ("Contents").createDirectory(); break;
            case Setup::plainFileAsBundle:    writeBytes (item, "not a bundle"); break;
            case Setup::folderAsDll:          item.createDirectory(); break;
            case Setup::otherItemOnly:        writeBytes (folder.getChildFile ("Other.clap"), readBytes (versionFixture ("v3.3.0.0.dll"))); break;
            case Setup::moduleWithoutVersion:
            case Setup::module:               writeBytes (source, readBytes (versionFixture (c.fixture))); break;
        }
    }
}

TEST (InstallDetection, StatesAndTextsOnRealFolders)
{
    for (const auto& c : detectionCases)
    {
        IsolatedHome home;
        const auto folder = home.root.getChildFile ("plugins");
        prepare (folder, c);

        const auto detected = detectInstallState (folder, "Vantorix3", c.carriedVersion, c.format);
        EXPECT_EQ (detected.state, c.state) << c.name;
        EXPECT_EQ (installStateText (detected), c.text) << c.name;
    }
}

TEST (InstallDetection, NoFolderOrMissingFolderIsNotInstalled)
{
    IsolatedHome home;
    int reads = 0;
    const VersionReader countingReader = [&reads] (const platform::Folder&, const juce::String&) { ++reads; return juce::String ("3.3.0.0"); };

    for (const auto& folder : { juce::File(), home.root.getChildFile ("missing") })
    {
        const auto detected = detectInstallState (folder, "Vantorix3", "3.3.0", vst3Format, countingReader);
        EXPECT_EQ (detected.state, InstallState::NotInstalled);
        EXPECT_TRUE (detected.installedVersion.isEmpty());
    }

    EXPECT_EQ (reads, 0);   // an absent item has no version to read
}

TEST (InstallDetection, WhatAnotherUserPlantsIsNeitherFollowedNorWaitedOn)
{
    if (! LinkPlanting::canPlantLinks())
        GTEST_SKIP() << "links and pipes cannot be planted here";

    const auto quote = [] (const juce::File& f) { return "'" + LinkPlanting::hostPath (f) + "'"; };

    struct Planted
    {
        const char* name;
        FormatIndex format;
        std::function<void (const juce::File& item, const juce::File& elsewhere)> plant;
    };

    const Planted cases[] = {
        // Opening a pipe for reading waits for a writer that never comes.
        { "a pipe named as the VST2 item", vst2Format,
          [&] (const juce::File& item, const juce::File&) { LinkPlanting::runHostShell ("mkfifo " + quote (item)); } },
        { "a pipe as the VST3 binary", vst3Format,
          [&] (const juce::File& item, const juce::File&)
          {
              item.getChildFile ("Contents/x86_64-win").createDirectory();
              LinkPlanting::runHostShell ("mkfifo " + quote (item.getChildFile ("Contents/x86_64-win/Vantorix3.vst3")));
          } },
        // A link leads to a binary of another's choosing, a newer one here.
        { "a link as the CLAP item", clapFormat,
          [] (const juce::File& item, const juce::File& elsewhere)
          {
              writeBytes (elsewhere.getChildFile ("any.clap"), readBytes (versionFixture ("v3.4.0.0.dll")));
              LinkPlanting::swapForLink (item, elsewhere.getChildFile ("any.clap"));
          } },
        { "a link as the AAX bundle's Contents", aaxFormat,
          [] (const juce::File& item, const juce::File& elsewhere)
          {
              writeBytes (elsewhere.getChildFile ("x64/Vantorix3.aaxplugin"), readBytes (versionFixture ("v3.4.0.0.dll")));
              item.createDirectory();
              LinkPlanting::swapForLink (item.getChildFile ("Contents"), elsewhere);
          } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        IsolatedHome home;
        const auto folder = home.root.getChildFile ("plugins");
        const auto item = pluginItemFor (folder, "Vantorix3", c.format);
        folder.createDirectory();
        c.plant (item, home.root.getChildFile ("elsewhere"));

        auto detection = std::async (std::launch::async, [&] { return detectInstallState (folder, "Vantorix3", "3.3.0", c.format); });

        if (detection.wait_for (std::chrono::seconds (10)) != std::future_status::ready)
        {
            ADD_FAILURE() << "detection waited on what was planted";
            // A writer lets a reader stuck on a pipe go.
            LinkPlanting::runHostShell ("for p in $(find " + quote (folder) + " -type p); do echo > \"$p\" & done");
        }

        const auto detected = detection.get();
        EXPECT_EQ (detected.state, InstallState::Installed);
        EXPECT_EQ (detected.installedVersion, "");
        LinkPlanting::runHostShell ("rm -rf " + quote (folder) + " " + quote (home.root.getChildFile ("elsewhere")));
    }
}
