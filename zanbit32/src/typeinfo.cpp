// TypeInfoCache: type information of IZBUtility from the registered type
// library, loaded on first use and dropped with the last object.
#include "typeinfo.h"

#include "server_module.h"

namespace zb {

namespace {

constexpr LCID kLibraryLcid = 1033;

struct TypeInfoCacheState {
    const GUID *libid = &LIBID_ZANBIT32Lib;
    WORD major = 1;
    WORD minor = 0;
    const IID *iid = &IID_IZBUtility;
    LONG users = 0;
    ITypeInfo *typeInfo = nullptr;
} g_cache;

} // namespace

void TypeInfoCacheAddUser()
{
    CRITICAL_SECTION &lock = ServerModule().typeInfoLock;
    EnterCriticalSection(&lock);
    ++g_cache.users;
    LeaveCriticalSection(&lock);
}

void TypeInfoCacheReleaseUser()
{
    CRITICAL_SECTION &lock = ServerModule().typeInfoLock;
    EnterCriticalSection(&lock);
    if (--g_cache.users == 0 && g_cache.typeInfo) {
        g_cache.typeInfo->Release();
        g_cache.typeInfo = nullptr;
    }
    LeaveCriticalSection(&lock);
}

HRESULT TypeInfoCacheGet(LCID lcid, ITypeInfo **result)
{
    if (!result) return E_POINTER;
    *result = nullptr;
    CRITICAL_SECTION &lock = ServerModule().typeInfoLock;
    HRESULT hr = S_OK;
    EnterCriticalSection(&lock);
    if (!g_cache.typeInfo) {
        ITypeLib *lib = nullptr;
        hr = LoadRegTypeLib(*g_cache.libid, g_cache.major, g_cache.minor, lcid, &lib);
        // The library is registered under its own locale (1033); a caller
        // asking for another (or the neutral) locale gets that one.
        if (FAILED(hr) && lcid != kLibraryLcid)
            hr = LoadRegTypeLib(*g_cache.libid, g_cache.major, g_cache.minor, kLibraryLcid, &lib);
        if (SUCCEEDED(hr)) {
            hr = lib->GetTypeInfoOfGuid(*g_cache.iid, &g_cache.typeInfo);
            lib->Release();
        }
    }
    if (g_cache.typeInfo) {
        g_cache.typeInfo->AddRef();
        *result = g_cache.typeInfo;
    }
    LeaveCriticalSection(&lock);
    return hr;
}

} // namespace zb
