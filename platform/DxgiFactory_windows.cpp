// The framework's vertical-blank dispatcher calls CreateDXGIFactory and uses
// what it gets without checking that it got a factory. Where the system has
// none to give (seen under Wine, and possible on Windows without a display
// driver) the program would end on a null pointer, most often as a window
// closes. This definition is linked in the import's place: it gives the
// system's factory when there is one, and otherwise one with no adapters, so
// the dispatcher finds no display to wait on and the window goes on (under
// Wine the repaint pump keeps it painting).

#ifdef _WIN32

#include <windows.h>
#include <dxgi.h>

namespace
{
    /** A factory with no adapters; one for the whole process, never freed. */
    struct NoAdapters final : IDXGIFactory
    {
        HRESULT __stdcall QueryInterface (REFIID riid, void** out) override
        {
            if (out == nullptr)
                return E_POINTER;

            const bool known = riid == __uuidof (IUnknown) || riid == __uuidof (IDXGIObject) || riid == __uuidof (IDXGIFactory);
            *out = known ? this : nullptr;
            return known ? S_OK : E_NOINTERFACE;
        }

        ULONG __stdcall AddRef() override   { return 1; }
        ULONG __stdcall Release() override  { return 1; }

        HRESULT __stdcall SetPrivateData (REFGUID, UINT, const void*) override   { return E_NOTIMPL; }
        HRESULT __stdcall SetPrivateDataInterface (REFGUID, const IUnknown*) override  { return E_NOTIMPL; }
        HRESULT __stdcall GetPrivateData (REFGUID, UINT*, void*) override  { return DXGI_ERROR_NOT_FOUND; }
        HRESULT __stdcall GetParent (REFIID, void** parent) override       { if (parent != nullptr) *parent = nullptr; return E_NOINTERFACE; }

        HRESULT __stdcall EnumAdapters (UINT, IDXGIAdapter** adapter) override
        {
            if (adapter != nullptr)
                *adapter = nullptr;

            return DXGI_ERROR_NOT_FOUND;
        }

        HRESULT __stdcall MakeWindowAssociation (HWND, UINT) override    { return DXGI_ERROR_UNSUPPORTED; }
        HRESULT __stdcall GetWindowAssociation (HWND* window) override   { if (window != nullptr) *window = nullptr; return DXGI_ERROR_UNSUPPORTED; }
        HRESULT __stdcall CreateSwapChain (IUnknown*, DXGI_SWAP_CHAIN_DESC*, IDXGISwapChain** chain) override
        {
            if (chain != nullptr)
                *chain = nullptr;

            return DXGI_ERROR_UNSUPPORTED;
        }
        HRESULT __stdcall CreateSoftwareAdapter (HMODULE, IDXGIAdapter** adapter) override  { return EnumAdapters (0, adapter); }
    };
}

extern "C" HRESULT __stdcall CreateDXGIFactory (REFIID riid, void** factory)
{
    if (factory == nullptr)
        return E_POINTER;

    using Create = HRESULT (__stdcall*) (REFIID, void**);
    static const auto system = []
    {
        const auto dxgi = ::LoadLibraryExW (L"dxgi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return dxgi != nullptr ? reinterpret_cast<Create> (reinterpret_cast<void*> (::GetProcAddress (dxgi, "CreateDXGIFactory"))) : nullptr;
    }();

    *factory = nullptr;
    if (system != nullptr && SUCCEEDED (system (riid, factory)) && *factory != nullptr)
        return S_OK;

    static NoAdapters none;
    return none.QueryInterface (riid, factory);
}

#endif
