#include "FormatCatalogue.h"
#include "../platform/Platform.h"
#include <BinaryData.h>

juce::String product::displayName (const juce::String& literal)
{
    return literal.replace ("_", " ");
}

EmbeddedData archiveFor (int format)
{
    switch (format)
    {
        case vst3Format: return { BinaryData::vst3_zip, BinaryData::vst3_zipSize };
        case vst2Format: return { BinaryData::vst_zip,  BinaryData::vst_zipSize };
        case clapFormat: return { BinaryData::clap_zip, BinaryData::clap_zipSize };
        case aaxFormat:  return { BinaryData::aax_zip,  BinaryData::aax_zipSize };
        default:         return {};
    }
}

bool isUsableInstallFolder (const juce::File& folder)
{
    // An empty File's child resolves to the root of the file system, so an
    // unset folder must never reach getChildFile.
    return folder != juce::File() && platform::isAbsoluteFolderPath (folder.getFullPathName());
}

juce::File pluginItemFor (const juce::File& installFolder, const juce::String& productName, int format)
{
    if (! isUsableInstallFolder (installFolder) || productName.isEmpty()
         || format < 0 || format >= numFormats)
        return {};

    return installFolder.getChildFile (productName + itemExtensions[(size_t) format]);
}

bool isPluginItemPresent (const juce::File& item)
{
    return item != juce::File() && item.exists();
}
