// DllRegisterServer / DllUnregisterServer: the class's registry keys and
// the type library registration.
#include "registration.h"

#include "server_module.h"

#include <cstring>
#include <string>

namespace zb {

namespace {

HRESULT FromWin32(LONG error)
{
    return static_cast<HRESULT>(0x80070000UL | (static_cast<ULONG>(error) & 0xFFFFUL));
}

LONG SetDefaultString(HKEY key, const char *subkey, const char *value)
{
    HKEY target = key;
    LONG rc = ERROR_SUCCESS;
    if (subkey) {
        rc = RegCreateKeyExA(key, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &target,
                             nullptr);
        if (rc != ERROR_SUCCESS) return rc;
    }
    rc = RegSetValueExA(target, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                        static_cast<DWORD>(std::strlen(value) + 1));
    if (subkey) RegCloseKey(target);
    return rc;
}

} // namespace

HRESULT RegisterProgId(const char *progId, const char *description, const char *clsidText)
{
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, progId, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return FromWin32(rc);
    SetDefaultString(key, nullptr, description);
    SetDefaultString(key, "CLSID", clsidText);
    RegCloseKey(key);
    return S_OK;
}

HRESULT UpdateClassRegistry(bool registerMode)
{
    if (!registerMode) {
        DeleteKeyTree(HKEY_CLASSES_ROOT, kProgId);
        DeleteKeyTree(HKEY_CLASSES_ROOT, kVersionIndependentProgId);
        HKEY clsidRoot = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_ALL_ACCESS, &clsidRoot) == ERROR_SUCCESS) {
            DeleteKeyTree(clsidRoot, kClsidText);
            RegCloseKey(clsidRoot);
        }
        return S_OK;
    }

    char description[257] = {};
    LoadStringA(ServerModule().instance, 1, description, 256);
    const std::string path = ModuleFilePathA();

    HRESULT hr = RegisterProgId(kProgId, description, kClsidText);
    if (SUCCEEDED(hr)) hr = RegisterProgId(kVersionIndependentProgId, description, kClsidText);
    if (FAILED(hr)) return hr;

    HKEY clsidRoot = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_ALL_ACCESS, &clsidRoot) == ERROR_SUCCESS) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(clsidRoot, kClsidText, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            SetDefaultString(key, nullptr, description);
            SetDefaultString(key, "ProgID", kProgId);
            SetDefaultString(key, "VersionIndependentProgID", kVersionIndependentProgId);
            HKEY inproc = nullptr;
            if (RegCreateKeyExA(key, "InprocServer32", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                &inproc, nullptr) == ERROR_SUCCESS) {
                SetDefaultString(inproc, nullptr, path.c_str());
                RegSetValueExA(inproc, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE *>(kThreadingModel),
                               static_cast<DWORD>(sizeof kThreadingModel));
                RegCloseKey(inproc);
            }
            RegCloseKey(key);
        }
        RegCloseKey(clsidRoot);
    }
    return S_OK;
}

LONG DeleteKeyTree(HKEY parent, const char *name)
{
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key);
    if (rc != ERROR_SUCCESS) return rc;
    for (;;) {
        char sub[257] = {};
        DWORD len = 256;
        rc = RegEnumKeyExA(key, 0, sub, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) break; // no subkey left
        rc = DeleteKeyTree(key, sub);
        if (rc != ERROR_SUCCESS) {
            RegCloseKey(key);
            return rc;
        }
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name);
}

HRESULT RegisterTypeLibrary()
{
    std::wstring path = ModuleFilePathW();
    ITypeLib *lib = nullptr;
    HRESULT hr = LoadTypeLib(path.c_str(), &lib);
    if (FAILED(hr)) {
        // The type library beside the component, as ZANBIT32.tlb.
        size_t dot = path.find_last_of(L'.');
        size_t sep = path.find_last_of(L"\\/:");
        if (dot != std::wstring::npos && (sep == std::wstring::npos || dot > sep))
            path.resize(dot);
        path += L".tlb";
        hr = LoadTypeLib(path.c_str(), &lib);
        if (FAILED(hr)) return hr;
    }
    std::wstring helpDir = path;
    size_t sep = helpDir.find_last_of(L"\\/:");
    if (sep != std::wstring::npos) helpDir.resize(sep + 1);
    hr = RegisterTypeLib(lib, path.data(), helpDir.data());
    lib->Release();
    return hr;
}

HRESULT RegisterServer()
{
    for (ClassTableRow *row = ServerModule().ClassTable; row && row->clsid; ++row) {
        HRESULT hr = row->updateRegistry(true);
        if (FAILED(hr)) return hr;
    }
    return RegisterTypeLibrary();
}

HRESULT UnregisterServer()
{
    for (ClassTableRow *row = ServerModule().ClassTable; row && row->clsid; ++row)
        row->updateRegistry(false);
    return S_OK;
}

} // namespace zb
