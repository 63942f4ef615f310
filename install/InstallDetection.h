#pragma once

#include "FormatCatalogue.h"
#include "../platform/Platform.h"
#include <functional>

/** What the main screen shows for one format: whether the carried product is
    on this machine, and whether the copy found is older. Detection only reads
    the file system, and reads it afresh on every call. */
enum class InstallState
{
    NotInstalled,
    Installed,
    NeedsUpdate
};

struct DetectedInstall
{
    InstallState state = InstallState::NotInstalled;
    juce::String installedVersion;
};

/** Maps a binary, an entry of an open folder, to its file version; "" when
    it has none. */
using VersionReader = std::function<juce::String (const platform::Folder&, const juce::String& name)>;

/** The file whose version resource tells the installed version: the inner
    module of a bundle, or the item itself for single-file formats. */
juce::File versionSourceFor (const juce::File& pluginItem, const juce::String& productName, int format);

/** What is installed in a format's folder. The folder is opened by its path
    (a link the user made to it is followed); below it nothing is: the item,
    the bundle's folders and the binary are each opened from the one before,
    and a link, a pipe or a device on the way reads as no version. So neither
    the window nor a silent run ever waits on what sits in a shared folder. */
DetectedInstall detectInstallState (const juce::File& installFolder,
                                    const juce::String& productName,
                                    const juce::String& productVersion,
                                    int format,
                                    const VersionReader& readVersion = platform::fileVersionIn);

/** Compares two versions part by part as numbers, a missing part counting as
    0, so that 3.3.0.0 equals 3.3.0; versions that are not all numbers fall
    back to the natural comparison. Negative, zero or positive. */
int compareVersions (const juce::String& a, const juce::String& b);

/** True when the copy found carries a version above the one this installer
    carries: installing would replace it with an older one. */
bool isNewerThanCarried (const DetectedInstall& detected, const juce::String& productVersion);

/** The state line of a format tile: "NOT INSTALLED", "v3.3.0.0 INSTALLED",
    "v3.2.1.0 NEEDS UPDATE", or "INSTALLED" when no version could be read. */
juce::String installStateText (const DetectedInstall& detected);
