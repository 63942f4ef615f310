#include "UserShell.h"
#include "TrustedFiles.h"

#if JUCE_WINDOWS

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>

namespace platform
{
    namespace
    {
        /** Releases a COM interface when it goes. */
        template <typename Interface>
        struct Held
        {
            ~Held()  { if (p != nullptr) p->Release(); }
            Interface* operator->() const noexcept  { return p; }
            Interface* p = nullptr;
        };

        /** The desktop shell's own automation object: what is started through
            it runs as the user the desktop belongs to, not as this process. */
        bool shellExecuteOnTheDesktop (const juce::String& target)
        {
            Held<IShellWindows> windows;
            if (FAILED (CoCreateInstance (CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS (&windows.p))))
                return false;

            VARIANT desktop {}, empty {};
            desktop.vt = VT_I4;
            desktop.lVal = CSIDL_DESKTOP;
            long window = 0;
            Held<IDispatch> found;
            if (windows->FindWindowSW (&desktop, &empty, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &found.p) != S_OK || found.p == nullptr)
                return false;

            Held<IServiceProvider> services;
            Held<IShellBrowser> browser;
            Held<IShellView> view;
            Held<IDispatch> background;
            Held<IShellFolderViewDual> folderView;
            Held<IDispatch> application;
            Held<IShellDispatch2> shell;

            if (FAILED (found->QueryInterface (IID_PPV_ARGS (&services.p)))
                 || FAILED (services->QueryService (SID_STopLevelBrowser, IID_PPV_ARGS (&browser.p)))
                 || FAILED (browser->QueryActiveShellView (&view.p))
                 || FAILED (view->GetItemObject (SVGIO_BACKGROUND, IID_PPV_ARGS (&background.p)))
                 || FAILED (background->QueryInterface (IID_PPV_ARGS (&folderView.p)))
                 || FAILED (folderView->get_Application (&application.p))
                 || FAILED (application->QueryInterface (IID_PPV_ARGS (&shell.p))))
                return false;

            const auto file = SysAllocString (target.toWideCharPointer());
            VARIANT arguments {}, folder {}, operation {}, show {};
            show.vt = VT_I4;
            show.lVal = SW_SHOWNORMAL;
            const auto result = shell->ShellExecute (file, arguments, folder, operation, show);
            SysFreeString (file);
            return SUCCEEDED (result);
        }
    }

    bool openAsUser (const juce::URL& url)
    {
        if (! isElevated())
            return url.launchInDefaultBrowser();

        const auto initialised = CoInitializeEx (nullptr, COINIT_APARTMENTTHREADED);
        const bool opened = shellExecuteOnTheDesktop (url.toString (true));

        if (SUCCEEDED (initialised))
            CoUninitialize();

        return opened;
    }
}

#endif
