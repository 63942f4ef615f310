#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include <gtest/gtest.h>
#include <array>
#include <map>
#include <optional>

/** Points every place the program looks at into places of the test's own, and
    puts everything back afterwards.

    On Linux that is a fresh folder standing in for the home folder: HOME,
    XDG_DATA_HOME, VST_PATH and TMPDIR point there. On Windows the machine-wide
    places cannot be redirected; tests run inside a Wine prefix of the build
    tree, one at a time, and this removes what they may leave there (the
    Tessarine folder, the product's items in the default folders, the VST2
    registry value) before and after each test. TMP and TEMP point into the
    test's folder.

    The test's folder is /tmp/tsr-XXXXXX or C:\tsr-XXXXXX, paths of fixed
    length, so texts whose line wrapping depends on path lengths are the same
    on every run. */
class IsolatedHome
{
public:
    IsolatedHome();
    ~IsolatedHome();

    juce::File root;

    juce::File tempFolder() const      { return root.getChildFile ("tmp"); }
    juce::File settingsFolder() const;
    juce::File settingsFile() const    { return settingsFolder().getChildFile ("PluginManagerSettings.txt"); }

    /** Where the program's default install folder of a format should be. */
    juce::File defaultFolder (int format) const;

    /** Sets or, with nullopt, removes an environment variable for this test. */
    void setVariable (const char* name, std::optional<juce::String> value);

private:
    void removeMachineState() const;
    std::map<std::string, std::optional<std::string>> saved;
};

/** Bytes of a file as a string, for exact comparisons. */
std::string readBytes (const juce::File& file);

/** Writes bytes to a file, creating its parent folders. */
void writeBytes (const juce::File& file, const std::string& bytes);

/** Replaces every "%ROOT%" with the path of the test's folder; the relative
    path that follows it gets the system's separators. */
std::string withRoot (std::string text, const juce::File& root);

/** Runs a command and returns its exit code, or -1 when it did not start. */
int runCommand (const juce::StringArray& command);

/** Runs a shell command's guard: does `apply` now, `undo` at scope exit. */
struct CommandGuard
{
    CommandGuard (juce::StringArray apply, juce::StringArray undoCommand) : undo (std::move (undoCommand))
    {
        applied = runCommand (apply) == 0;
    }
    ~CommandGuard()  { if (applied) runCommand (undo); }

    bool applied = false;
    juce::StringArray undo;
};

/** Every file and folder below a folder, by relative path with "/" separators;
    a file maps to its bytes, a folder to "<dir>", a link (never followed) to "<link>". */
std::map<std::string, std::string> snapshotTree (const juce::File& folder);

/** A version fixture made at build time by the project's PE generator. */
juce::File versionFixture (const char* name);

/** The version fixtures and the version each carries ("" for none). */
inline const std::pair<const char*, const char*> versionFixtureCases[] = {
    { "v3.2.1.0.dll", "3.2.1.0" },
    { "v3.3.0.0.dll", "3.3.0.0" },
    { "v3.4.0.0.dll", "3.4.0.0" },
    { "v3.10.0.0.dll", "3.10.0.0" },
    { "v3.9.0.0-pe32.dll", "3.9.0.0" },
    { "no-version.dll", "" },
};

/** The child button of a component with the given name; throws when there is none. */
juce::Button& buttonNamed (juce::Component& parent, const juce::String& name);
