#include "Deployment.h"
#include "../install/InstallDetection.h"
#include "../install/SettingsFile.h"
#include "../platform/Platform.h"
#include <Identity.h>

namespace Deployment
{
    ExitCode exitCodeFor (const InstallOutcomes& outcomes)
    {
        for (const auto& outcome : outcomes)
        {
            if (! outcome.processed || outcome.succeeded)
                continue;

            switch (outcome.kind)
            {
                case FailureKind::busy:          return ExitCode::busy;
                case FailureKind::inUse:         return ExitCode::fileInUse;
                case FailureKind::diskFull:      return ExitCode::diskFull;
                case FailureKind::accessDenied:  return ExitCode::accessDenied;
                case FailureKind::damaged:       return ExitCode::damaged;
                case FailureKind::none:
                case FailureKind::stopped:
                case FailureKind::other:         return ExitCode::failed;
            }
        }

        return ExitCode::success;
    }

    void keepChosenFolders (const CommandLine& options, const juce::File& settingsFolder, std::array<juce::File, numFormats>& folders)
    {
        for (size_t i = 0; i < folders.size(); ++i)
        {
            if (options.folders[i].isEmpty())
                continue;

            folders[i] = SettingsFile::installFolderFromSetting (options.folders[i]);
            std::ignore = SettingsFile::writeFolderSetting (settingsFolder, settingsAttributes[i], options.folders[i], folders);
        }
    }

    //==============================================================================
    namespace
    {
        juce::String seconds (double milliseconds)
        {
            return juce::String (milliseconds / 1000.0, 2) + " s";
        }
    }

    RunLog::RunLog (const CommandLine& options)
    {
        if (! options.log)
            return;

        file = options.logFile;
        if (file == juce::File())
            file = platform::temporaryFolder().getChildFile (juce::String (identity::applicationName) + "-"
                                                             + juce::Time::getCurrentTime().formatted ("%Y-%m-%d_%H-%M-%S") + ".log");

        file.getParentDirectory().createDirectory();
        std::ignore = file.deleteFile();
        out = std::make_unique<juce::FileOutputStream> (file);

        if (out->failedToOpen())
        {
            out.reset();
            return;
        }

        write (juce::String (identity::applicationName) + " " + identity::applicationVersion + ", carrying "
               + productDisplayName (identity::productNameLiteral) + " " + identity::productVersion);
        write ("System: " + juce::SystemStats::getOperatingSystemName());
        write ("Started: " + juce::Time::getCurrentTime().toISO8601 (true));
        write ("Command line: " + options.arguments);
    }

    void RunLog::write (const juce::String& line)
    {
        const std::lock_guard<std::mutex> guard (lock);

        if (out == nullptr)
            return;

       #if JUCE_WINDOWS
        out->writeText (line + "\r\n", false, false, nullptr);
       #else
        out->writeText (line + "\n", false, false, nullptr);
       #endif
        out->flush();
    }

    void RunLog::follow (InstallRun& run)
    {
        if (out == nullptr)
            return;

        const auto& request = run.getRequest();

        for (int format = 0; format < numFormats; ++format)
        {
            if (! request.formats[(size_t) format])
                continue;

            const auto& folder = request.folders[(size_t) format];
            const auto found = detectInstallState (folder, request.productName, request.productVersion, format);
            write (juce::String (formatNames[(size_t) format]) + ": folder " + (folder == juce::File() ? "(none)" : folder.getFullPathName())
                   + "; found " + installStateText (found) + "; to " + (request.uninstall ? "remove" : "install " + request.productVersion));
        }

        run.onFormatStarted = [this] (int format)
        {
            started[(size_t) format] = juce::Time::getMillisecondCounterHiRes();
        };

        run.onProgress = [this] (int format, const Progress& progress)
        {
            // A wait is told once per file, not at every try.
            if (progress.phase != Phase::waiting || waitedFor[(size_t) format] == progress.waitingFor)
                return;

            waitedFor[(size_t) format] = progress.waitingFor;
            write (juce::String (formatNames[(size_t) format]) + ": waiting for a file in use: " + progress.waitingFor);
        };

        run.onFormatFinished = [this, uninstall = request.uninstall] (int format, const FormatOutcome& outcome)
        {
            const auto took = seconds (juce::Time::getMillisecondCounterHiRes() - started[(size_t) format]);
            const juce::String name (formatNames[(size_t) format]);

            if (! outcome.succeeded)
                write (name + ": failed in " + took + ": " + outcome.reason + (outcome.detail.isNotEmpty() ? " (" + outcome.detail + ")" : juce::String()));
            else if (outcome.note.isNotEmpty())
                write (name + ": " + outcome.note + "; /FORCE replaces it");
            else
                write (name + ": " + (uninstall ? "removed" : "installed") + " in " + took);
        };
    }

    void RunLog::finish (ExitCode code)
    {
        write ("Exit code: " + juce::String ((int) code));
    }

    //==============================================================================
    ExitCode runWithoutWindow (const CommandLine& options)
    {
        RunLog log (options);

        const auto settingsFolder = SettingsFile::settingsFolderIn (platform::machineDataFolder());
        auto folders = platform::defaultInstallFolders();
        SettingsFile::loadSettings (settingsFolder, folders, [] { return platform::vst2DefaultFolder(); });
        keepChosenFolders (options, settingsFolder, folders);

        InstallRun::Request request;
        request.formats = options.formats;
        request.folders = folders;
        request.productName = productDisplayName (identity::productNameLiteral);
        request.productVersion = identity::productVersion;
        request.uninstall = options.uninstall;
        request.replaceNewer = options.force;

        InstallRun run (request);
        log.follow (run);
        run.start();
        run.waitUntilFinished();

        const auto code = exitCodeFor (run.status().outcomes);
        log.finish (code);
        return code;
    }

    ExitCode refuse (const CommandLine& options)
    {
        const auto message = "Invalid command line: " + options.error;
        std::ignore = platform::printToConsole (message + "\n", true);

        RunLog log (options);
        log.write (message);
        log.finish (ExitCode::invalidParameters);
        return ExitCode::invalidParameters;
    }
}
