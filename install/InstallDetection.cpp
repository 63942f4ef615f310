#include "InstallDetection.h"

juce::File versionSourceFor (const juce::File& pluginItem, const juce::String& productName, int format)
{
    if (! isBundleFormat[(size_t) format])
        return pluginItem;

    return pluginItem.getChildFile (binaryFolderInItem[(size_t) format] + productName + itemExtensions[(size_t) format]);
}

/** The version of the item's binary, reached from the install folder one
    name at a time; "" when any step is not what the format's shape says. */
static juce::String installedVersion (const platform::Folder& installFolder, const juce::String& itemName,
                                      const juce::String& productName, int format, const VersionReader& readVersion)
{
    if (! isBundleFormat[(size_t) format])
        return readVersion (installFolder, itemName);

    auto& fs = platform::systemFileSystem();
    platform::Folder at;

    for (const auto& name : juce::StringArray::fromTokens (itemName + "/" + binaryFolderInItem[(size_t) format], "/", {}))
    {
        platform::Folder next;
        if (name.isNotEmpty() && ! fs.openFolder (at.isOpen() ? at : installFolder, name, next).ok())
            return {};

        if (next.isOpen())
            at = std::move (next);
    }

    return readVersion (at, productName + itemExtensions[(size_t) format]);
}

DetectedInstall detectInstallState (const juce::File& installFolder,
                                    const juce::String& productName,
                                    const juce::String& productVersion,
                                    int format,
                                    const VersionReader& readVersion)
{
    const auto item = pluginItemFor (installFolder, productName, format);
    if (item == juce::File())
        return {};

    auto& fs = platform::systemFileSystem();
    platform::Folder folder;

    if (! fs.openFolder (installFolder, folder).ok() || fs.kindOf (folder, item.getFileName()) == platform::EntryKind::missing)
        return {};

    const auto version = installedVersion (folder, item.getFileName(), productName, format, readVersion);

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
