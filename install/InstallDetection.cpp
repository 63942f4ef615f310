#include "InstallDetection.h"

juce::File versionSourceFor (const juce::File& pluginItem, const juce::String& productName, int format)
{
    switch (format)
    {
        case vst3Format: return pluginItem.getChildFile ("Contents/x86_64-win/" + productName + ".vst3");
        case aaxFormat:  return pluginItem.getChildFile ("Contents/x64/" + productName + ".aaxplugin");
        default:         return pluginItem;
    }
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

juce::String installStateText (const DetectedInstall& detected)
{
    if (detected.state == InstallState::NotInstalled)
        return "NOT INSTALLED";

    const juce::String prefix = detected.installedVersion.isNotEmpty() ? "v" + detected.installedVersion + " " : juce::String();
    return prefix + (detected.state == InstallState::NeedsUpdate ? "NEEDS UPDATE" : "INSTALLED");
}
