#pragma once

#include "CommandLine.h"
#include "ExitCodes.h"
#include "../install/InstallRun.h"
#include <mutex>

/** Running the program from a deployment tool: the folders the command line
    names, the log, and the exit code. The run itself is the window's. */
namespace Deployment
{
    /** 0 when every chosen format is installed, kept newer, or removed;
        otherwise the first failure in catalogue order decides. */
    ExitCode exitCodeFor (const InstallOutcomes&);

    /** Puts the command line's folders in place of the ones in use, and keeps
        each in the shared settings file as the settings panel keeps a choice. */
    void keepChosenFolders (const CommandLine&, const juce::File& settingsFolder, std::array<juce::File, numFormats>& folders);

    /** The log of a run: UTF-8, the system's line ends, each line on the disk
        as soon as it is written, so a killed process leaves what happened so
        far. Only opened when the command line asks for it. */
    class RunLog
    {
    public:
        explicit RunLog (const CommandLine&);

        [[nodiscard]] bool isOpen() const noexcept   { return out != nullptr; }
        [[nodiscard]] juce::File getFile() const     { return file; }

        /** Writes a line; from any thread. */
        void write (const juce::String& line);

        /** Follows a run about to start: what each chosen format held before,
            what is done to it, how it ends and how long it took. */
        void follow (InstallRun&);

        void finish (ExitCode);

    private:
        juce::File file;
        std::unique_ptr<juce::FileOutputStream> out;
        std::mutex lock;
        std::array<double, numFormats> started {};
        std::array<juce::String, numFormats> waitedFor;
    };

    /** Carries the command line out with no window: reads the settings,
        applies its folders, runs, logs; the exit code. */
    ExitCode runWithoutWindow (const CommandLine&);

    /** Says why a command line cannot be carried out, on the console the
        program was started from and in the log when it asks for one. */
    ExitCode refuse (const CommandLine&);
}
