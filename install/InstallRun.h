#pragma once

#include "Installer.h"
#include "ProductRegistration.h"
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

/** One install or uninstall of the chosen formats, in catalogue order, on a
    thread of its own, so that whoever started it (the window, the command
    line) stays free to paint and take input while the disk works.

    The engine's calls run unchanged on that thread; this is the program's
    only other thread. What it is doing can be asked at any time from any
    thread (status()); the outcomes are final once isFinished() says so.
    Stopping lets the format being worked on complete or roll back, and
    leaves the formats not yet started untouched. */
class InstallRun
{
public:
    struct Request
    {
        std::array<bool, numFormats> formats {};       /**< which formats to act on */
        std::array<juce::File, numFormats> folders;    /**< each format's install folder */
        juce::String productName;
        juce::String productVersion;
        bool uninstall = false;

        /** Whether a copy newer than the one carried is replaced; kept (and
            said so) when not. The window replaces it only when chosen on
            purpose, the command line only with /FORCE. */
        bool replaceNewer = true;

        /** The archives to install from: the ones the program carries, unless given. */
        std::array<EmbeddedData, numFormats> archives {};

        /** When given, the product's uninstall entry and kept manager are
            brought in line with the disk once the formats are done, whether
            the run ended or was stopped. */
        std::optional<ProductRegistration::Product> registration;
    };

    /** A copy of what the run is doing. */
    struct Status
    {
        int format = -1;                /**< the format being worked on; -1 before the first and once done */
        Progress progress;              /**< that format's */
        bool finished = false;
        InstallOutcomes outcomes;       /**< of the formats done so far */
        juce::String registered;        /**< what became of the product's registration, in words */

        /** The share of the current format's bytes written, 0 to 1. */
        [[nodiscard]] double fractionWritten() const;
    };

    explicit InstallRun (Request, platform::FileSystem& = platform::systemFileSystem());

    /** Stops the run as stop() does and waits for it. */
    ~InstallRun();

    /** Starts the work; once only. */
    void start();

    [[nodiscard]] Status status() const;
    [[nodiscard]] bool isFinished() const noexcept    { return finished.load(); }
    [[nodiscard]] const Request& getRequest() const noexcept  { return request; }

    /** Asks the run to stop as soon as it safely can. Returns at once. */
    void stop() noexcept                               { stopping.store (true); }

    /** Waits until the run has finished (a negative time: for as long as it
        takes); whether it has. */
    bool waitUntilFinished (int timeoutMilliseconds = -1);

    /** Called on the run's thread as each format starts, moves on and ends,
        for a log; set before start(). */
    std::function<void (int format)> onFormatStarted;
    std::function<void (int format, const Progress&)> onProgress;
    std::function<void (int format, const FormatOutcome&)> onFormatFinished;
    std::function<void (const juce::String& registered)> onRegistered;

private:
    void work();
    void finishFormat (int format, const FormatOutcome&);

    const Request request;
    platform::FileSystem& fs;
    std::thread thread;
    std::atomic<bool> stopping { false }, finished { false };
    mutable std::mutex lock;
    std::condition_variable done;
    Status current;     /**< guarded by lock */

    JUCE_DECLARE_NON_COPYABLE (InstallRun)
};
