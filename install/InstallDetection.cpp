#include "InstallDetection.h"

juce::File versionSourceFor (const juce::File& pluginItem, const juce::String& productName, int format)
{
    if (! isBundleFormat[(size_t) format])
        return pluginItem;

    return pluginItem.getChildFile (binaryFolderInItem[(size_t) format] + productName + itemExtensions[(size_t) format]);
}

DetectedInstall detectInstallState (const juce::File& installFolder,
                                    const juce::String& productName,
                                    const juce::String& productVersion,
                                    int format,
                                    const VersionReader& readVersion)
{
    const auto item = pluginItemFor (installFolder, productName, format);

    if (! isPluginItemPresent (item))
        return {};

    const auto version = readVersion (versionSourceFor (item, productName, format));

    if (version.isEmpty())
        return { InstallState::Installed, {} };

    const bool older = version.compareNatural (productVersion, false) < 0;
    return { older ? InstallState::NeedsUpdate : InstallState::Installed, version };
}

int compareVersions (const juce::String& a, const juce::String& b)
{
    const auto partsOf = [] (const juce::String& v) { return juce::StringArray::fromTokens (v, ".", {}); };
    const auto pa = partsOf (a), pb = partsOf (b);
    const auto isNumber = [] (const juce::String& p) { return p.isNotEmpty() && p.length() <= 9 && p.containsOnly ("0123456789"); };

    if (! std::all_of (pa.begin(), pa.end(), isNumber) || ! std::all_of (pb.begin(), pb.end(), isNumber))
        return a.compareNatural (b, false);

    for (int i = 0; i < std::max (pa.size(), pb.size()); ++i)
    {
        const auto x = pa[i].getIntValue(), y = pb[i].getIntValue();   // a missing part reads as 0
        if (x != y)
            return x < y ? -1 : 1;
    }

    return 0;
}

bool isNewerThanCarried (const DetectedInstall& detected, const juce::String& productVersion)
{
    return detected.state == InstallState::Installed && detected.installedVersion.isNotEmpty()
            && compareVersions (detected.installedVersion, productVersion) > 0;
}

juce::String installStateText (const DetectedInstall& detected)
{
    if (detected.state == InstallState::NotInstalled)
        return "NOT INSTALLED";

    const juce::String prefix = detected.installedVersion.isNotEmpty() ? "v" + detected.installedVersion + " " : juce::String();
    return prefix + (detected.state == InstallState::NeedsUpdate ? "NEEDS UPDATE" : "INSTALLED");
}
