#include "TestEnvironment.h"
#include "../install/InstallDetection.h"
#include "../platform/Platform.h"

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
