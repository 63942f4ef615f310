#include "InstallRun.h"
#include "InstallDetection.h"
#include "../platform/Platform.h"
#include <Identity.h>

double InstallRun::Status::fractionWritten() const
{
    if (progress.bytesTotal == 0)
        return 0.0;

    return std::clamp ((double) progress.bytesWritten / (double) progress.bytesTotal, 0.0, 1.0);
}

InstallRun::Request InstallRun::Request::ofCarriedProduct (const std::array<bool, numFormats>& formats, const std::array<juce::File, numFormats>& folders,
                                                        bool uninstall, bool replaceNewer, std::optional<ProductRegistration::Product> registration)
{
    Request request;
    request.formats = formats;
    request.folders = folders;
    request.productName = productDisplayName (identity::productNameLiteral);
    request.productVersion = identity::productVersion;
    request.uninstall = uninstall;
    request.replaceNewer = replaceNewer;
    request.registration = std::move (registration);
    return request;
}

InstallRun::InstallRun (Request r, Observer o, platform::FileSystem& f) : request (std::move (r)), observer (std::move (o)), fs (f) {}

InstallRun::~InstallRun()
{
    stop();

    if (thread.joinable())
        thread.join();
}

void InstallRun::start()
{
    jassert (! thread.joinable());
    thread = std::thread ([this] { work(); });
}

InstallRun::Status InstallRun::status() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return current;
}

bool InstallRun::waitUntilFinished (int timeoutMilliseconds)
{
    std::unique_lock<std::mutex> guard (lock);

    if (timeoutMilliseconds < 0)
        finishing.wait (guard, [this] { return current.finished; });
    else
        finishing.wait_for (guard, std::chrono::milliseconds (timeoutMilliseconds), [this] { return current.finished; });

    return current.finished;
}

void InstallRun::finishFormat (int format, const FormatOutcome& outcome)
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        current.outcomes[(size_t) format] = outcome;
    }

    if (observer.formatFinished)
        observer.formatFinished (format, outcome);
}

void InstallRun::work()
{
    for (int format = 0; format < numFormats; ++format)
    {
        if (! request.formats[(size_t) format] || stopping.load())
            continue;

        {
            const std::lock_guard<std::mutex> guard (lock);
            current.format = format;
            current.progress = {};
        }

        if (observer.formatStarted)
            observer.formatStarted (format);

        const RunHooks hooks {
            [this, format] (const Progress& progress)
            {
                {
                    const std::lock_guard<std::mutex> guard (lock);
                    current.progress = progress;
                }

                if (observer.progress)
                    observer.progress (format, progress);
            },
            [this] { return stopping.load(); }
        };

        const auto& folder = request.folders[(size_t) format];

        if (! request.uninstall && ! request.replaceNewer)
        {
            const auto found = detectInstallState (folder, request.productName, request.productVersion, format);

            if (isNewerThanCarried (found, request.productVersion))
            {
                FormatOutcome kept { true, true, {}, {}, FailureKind::none,
                                     "kept the newer v" + found.installedVersion + " installed" };
                finishFormat (format, kept);
                continue;
            }
        }

        const auto& given = request.archives[(size_t) format];
        const auto archive = given.data != nullptr ? given : archiveFor (format);
        const auto outcome = request.uninstall ? uninstallFormat (folder, request.productName, format, fs, hooks)
                                               : installFormat (folder, request.productName, format, archive, fs, hooks);

        finishFormat (format, outcome);
    }

    const auto registered = request.registration ? ProductRegistration::update (*request.registration, request.folders) : juce::String();

    if (registered.isNotEmpty() && observer.registered)
        observer.registered (registered);

    {
        const std::lock_guard<std::mutex> guard (lock);
        current.format = -1;
        current.registered = registered;
        current.finished = true;
    }

    finishing.notify_all();
}
