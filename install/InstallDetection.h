#pragma once

#include "FormatCatalogue.h"
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

/** Maps a binary to its file version, "" when it has none. */
using VersionReader = std::function<juce::String (const juce::File&)>;

/** The file whose version resource tells the installed version: the inner
    module of a bundle, or the item itself for single-file formats. */
juce::File versionSourceFor (const juce::File& pluginItem, const juce::String& productName, int format);

DetectedInstall detectInstallState (const juce::File& installFolder,
                                    const juce::String& productName,
                                    const juce::String& productVersion,
                                    int format,
                                    const VersionReader& readVersion);

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
