#include "CommandLine.h"
#include "../platform/Platform.h"
#include <Identity.h>

namespace
{
    /** The switches that name a format's folder, in FormatIndex order. */
    constexpr std::array<const char*, numFormats> folderSwitches { "VST3DIR", "VST2DIR", "CLAPDIR", "AAXDIR" };

    /** Why a path switch's value can name no place, for the one line a
        refusal prints; empty when it can. A value that kept a quote was
        almost always cut short by Windows' own rule for a backslash before
        a closing quote, which reads the rest of the line into it. */
    juce::String whyNotAPath (const juce::String& name, const juce::String& value)
    {
        // A quote in a folder's name is allowed on Linux, but on a command
        // line it is a typo everywhere.
        auto why = platform::whyNotAPath (value);
        if (why.isEmpty() && value.containsChar ('"'))
            why = "it holds a quote";

        if (why.isEmpty())
            return {};

        auto line = "/" + name + "=" + value + ": " + why;
        if (value.containsChar ('"'))
            line << ". A backslash before a closing quote makes the quote part of the value: end the folder without "
                    "the backslash (\"C:\\Plugins\\VST3\"), or with two (\"C:\\Plugins\\VST3\\\\\")";

        return line;
    }

    juce::String unquoted (juce::String value)
    {
        value = value.trim();
        return value.length() >= 2 && value.startsWithChar ('"') && value.endsWithChar ('"')
                ? value.substring (1, value.length() - 1) : value;
    }
}

bool CommandLine::asksForWork() const noexcept
{
    return mode != Mode::window || formatsGiven || uninstall || force || log
            || std::any_of (folders.begin(), folders.end(), [] (const juce::String& f) { return f.isNotEmpty(); });
}

CommandLine parseCommandLine (const juce::StringArray& arguments)
{
    CommandLine options;
    options.arguments = arguments.joinIntoString (" ");

    const auto fail = [&options] (const juce::String& why)
    {
        if (options.error.isEmpty())
            options.error = why;
    };

    for (const auto& argument : arguments)
    {
        if (! argument.startsWithChar ('/') && ! argument.startsWithChar ('-'))
            continue;       // a word of no switch: ignored, as it always was

        const auto body = argument.substring (1);
        const bool hasValue = body.containsChar ('=');
        const auto name = body.upToFirstOccurrenceOf ("=", false, false).toUpperCase();
        const auto value = unquoted (body.fromFirstOccurrenceOf ("=", false, false));

        const auto flag = [&] (auto&& set)
        {
            if (hasValue)
                fail ("/" + name + " takes no value");
            else
                set();
        };

        const auto needsValue = [&]
        {
            if (value.isEmpty())
                fail ("/" + name + " needs a value: /" + name + "=...");
            return value.isNotEmpty();
        };

        if (name == "VERYSILENT")           flag ([&] { options.mode = CommandLine::Mode::verySilent; });
        else if (name == "SILENT")          flag ([&] { if (options.mode == CommandLine::Mode::window) options.mode = CommandLine::Mode::silent; });
        else if (name == "SUPPRESSMSGBOXES" || name == "NORESTART")  flag ([] {});
        else if (name == "UNINSTALL")       flag ([&] { options.uninstall = true; });
        else if (name == "FORCE")           flag ([&] { options.force = true; });
        else if (name == "?" || name == "HELP")  flag ([&] { options.mode = CommandLine::Mode::help; });
        else if (name == "LOG")
        {
            options.log = true;

            if (hasValue)
            {
                if (! platform::isAbsoluteFolderPath (value))
                    fail ("/LOG= needs a full path, not " + value.quoted());
                else if (const auto why = whyNotAPath (name, value); why.isNotEmpty())
                    fail (why);
                else
                    options.logFile = juce::File (value);
            }
        }
        else if (name == "COMPONENTS")
        {
            if (! needsValue())
                continue;

            options.formats.fill (false);
            options.formatsGiven = true;

            for (const auto& word : juce::StringArray::fromTokens (value, ",", {}))
            {
                const auto wanted = word.trim();
                const auto found = std::find_if (formatNames.begin(), formatNames.end(),
                                                 [&] (const char* n) { return wanted.equalsIgnoreCase (n); });
                if (found == formatNames.end())
                    fail ("unknown format " + wanted.quoted() + " in /COMPONENTS: the formats are vst3, vst2, clap and aax");
                else
                    options.formats[(size_t) (found - formatNames.begin())] = true;
            }
        }
        else if (const auto folder = std::find_if (folderSwitches.begin(), folderSwitches.end(), [&] (const char* s) { return name == s; });
                 folder != folderSwitches.end())
        {
            if (! needsValue())
                continue;

            // The same rule as for the settings file: a full path, and on
            // Windows never the device namespace.
            if (! platform::isAbsoluteFolderPath (value))
                fail ("/" + name + " needs a full path to a folder, not " + value.quoted());
            else if (const auto why = whyNotAPath (name, value); why.isNotEmpty())
                fail (why);
            else
                options.folders[(size_t) (folder - folderSwitches.begin())] = juce::File (value).getFullPathName();
        }
        else
        {
            fail ("unknown switch " + argument.quoted() + "; /? lists them");
        }
    }

    return options;
}

juce::String commandLineUsage()
{
    return juce::String (identity::applicationName) + " " + identity::applicationVersion + ": installs "
         + productDisplayName (identity::productNameLiteral) + " " + identity::productVersion + R"(.

  /VERYSILENT          no window: install, then exit with a code
  /SILENT              the window shows the run and closes by itself
  /COMPONENTS=a,b      the formats to act on: vst3, vst2, clap, aax (default: all)
  /VST3DIR=folder      the VST3 folder, kept in the shared settings as the
  /VST2DIR=folder        settings panel keeps a choice (full paths only)
  /CLAPDIR=folder
  /AAXDIR=folder
  /UNINSTALL           remove the chosen formats instead
  /FORCE               also replace a newer installed copy (kept otherwise)
  /LOG, /LOG="file"    write a log (default: a dated file in the temporary folder)
  /SUPPRESSMSGBOXES, /NORESTART   accepted; the program needs neither
  /?, /HELP            this text

Exit codes: 0 done (installed, kept newer, or removed); 1639 invalid
parameters; 1618 another installer is working in a folder; 32 a file is in
use; 112 the disk is full; 5 no permission; 1392 the installer's copy is
damaged; 1603 any other failure. With several formats failing, the first of
VST3, VST2, CLAP, AAX decides.
)";
}
