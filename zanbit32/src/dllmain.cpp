// Entry points of ZANBIT32.DLL.
#include "class_factory.h"
#include "memory_heap.h"
#include "registration.h"
#include "server_module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        zb::ServerModuleAttach(instance);
        if (!zb::HeapStartup()) return FALSE;
        DisableThreadLibraryCalls(instance);
        break;
    case DLL_PROCESS_DETACH:
        zb::ServerModuleDetach();
        zb::HeapShutdown();
        break;
    default:
        break;
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void **result)
{
    return zb::GetClassObject(clsid, iid, result);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return zb::CanUnloadNow();
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    return zb::RegisterServer();
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return zb::UnregisterServer();
}
