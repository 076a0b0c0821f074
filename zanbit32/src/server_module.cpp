// ServerModule: the process-wide state of the component server.
#include "server_module.h"

#include "class_factory.h"
#include "registration.h"
#include "zbutility.h"

namespace zb {

namespace {

ServerModuleState g_module;

ClassTableRow g_classTable[] = {
    {&CLSID_ZBUtility, &UpdateClassRegistry, &CreateClassObject, &ZBUtility::CreateInstance, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

} // namespace

ServerModuleState &ServerModule() { return g_module; }

void ServerModuleAttach(HINSTANCE instance)
{
    g_module.instance = instance;
    g_module.LockCount = 0;
    g_module.ClassTable = g_classTable;
    InitializeCriticalSection(&g_module.classTableLock);
    InitializeCriticalSection(&g_module.typeInfoLock);
    g_module.attached = true;
}

void ServerModuleDetach()
{
    if (!g_module.attached) return;
    for (ClassTableRow *row = g_module.ClassTable; row && row->clsid; ++row) {
        if (row->classObject) {
            row->classObject->Release();
            row->classObject = nullptr;
        }
    }
    DeleteCriticalSection(&g_module.classTableLock);
    DeleteCriticalSection(&g_module.typeInfoLock);
    g_module.attached = false;
}

LONG LockModule() { return InterlockedIncrement(&g_module.LockCount); }
LONG UnlockModule() { return InterlockedDecrement(&g_module.LockCount); }

std::string ModuleFilePathA()
{
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(g_module.instance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::string(); // failed or truncated
    return std::string(path, n);
}

std::wstring ModuleFilePathW()
{
    std::string a = ModuleFilePathA();
    if (a.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, a.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, a.c_str(), -1, w.data(), n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

} // namespace zb
