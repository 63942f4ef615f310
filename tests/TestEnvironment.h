#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>

/** Points every place the program looks at (home, data folder, VST_PATH,
    temporary folder) into a fresh folder of the test's own, and puts the
    environment back afterwards. Nothing a test does reaches the real user's
    folders.

    The folder is always /tmp/tsr-XXXXXX, a path of fixed length, so texts whose
    line wrapping depends on path lengths are the same on every run. */
class IsolatedHome
{
public:
    IsolatedHome();
    ~IsolatedHome();

    juce::File root;

    juce::File dataFolder() const      { return root.getChildFile (".local/share"); }
    juce::File settingsFolder() const  { return dataFolder().getChildFile ("Tessarine"); }
    juce::File settingsFile() const    { return settingsFolder().getChildFile ("PluginManagerSettings.txt"); }
    juce::File tempFolder() const      { return root.getChildFile ("tmp"); }

    /** Sets or, with nullopt, removes an environment variable for this test. */
    void setVariable (const char* name, std::optional<juce::String> value);

private:
    std::map<std::string, std::optional<std::string>> saved;
};

/** Bytes of a file as a string, for exact comparisons. */
std::string readBytes (const juce::File& file);

/** Writes bytes to a file, creating its parent folders. */
void writeBytes (const juce::File& file, const std::string& bytes);

/** Replaces every "%ROOT%" with the path of the isolated home. */
std::string withRoot (std::string text, const juce::File& root);
