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

    The engine's calls run unchanged on that thread, the one thread of the
    program's own besides the message thread (the framework keeps threads of
    its own too). What it is doing can be asked at any time from any thread
    (status()); the outcomes are final once its `finished` says so.
    Stopping lets the format being worked on complete or roll back, and
    leaves the formats not yet started untouched.

    The file system it is given must outlive it: its thread works on it
    until the run is destroyed. */
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

        /** A run of the product this program carries, as the window and the
            command line both start one. */
        static Request ofCarriedProduct (const std::array<bool, numFormats>& formats, const std::array<juce::File, numFormats>& folders,
                                         bool uninstall, bool replaceNewer, std::optional<ProductRegistration::Product> registration);
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

    /** Who hears, on the run's own thread, of each format as it starts,
        moves on and ends, and of the product's registration: a log. */
    struct Observer
    {
        std::function<void (int format)> formatStarted;
        std::function<void (int format, const Progress&)> progress;
        std::function<void (int format, const FormatOutcome&)> formatFinished;
        std::function<void (const juce::String& registered)> registered;
    };

    explicit InstallRun (Request, Observer = {}, platform::FileSystem& = platform::systemFileSystem());

    /** Stops the run as stop() does and waits for it. */
    ~InstallRun();

    /** Starts the work; once only. */
    void start();

    [[nodiscard]] Status status() const;
    [[nodiscard]] const Request& getRequest() const noexcept  { return request; }

    /** Asks the run to stop as soon as it safely can. Returns at once. */
    void stop() noexcept                               { stopping.store (true); }

    /** Waits until the run has finished (a negative time: for as long as it
        takes); whether it has. */
    bool waitUntilFinished (int timeoutMilliseconds = -1);


private:
    void work();
    void finishFormat (int format, const FormatOutcome&);

    const Request request;
    const Observer observer;
    platform::FileSystem& fs;
    std::thread thread;
    std::atomic<bool> stopping { false };
    mutable std::mutex lock;
    std::condition_variable finishing;
    Status current;     /**< guarded by lock */

    JUCE_DECLARE_NON_COPYABLE (InstallRun)
};
