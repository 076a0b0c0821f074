// Process-wide state of the component server: module handle, lock count,
// class table and the two locks.
#pragma once

#include "zb_common.h"

#include <string>

namespace zb {

using InstanceCreator = HRESULT (*)(IUnknown *outer, REFIID iid, void **result);
using ClassObjectCreator = HRESULT (*)(InstanceCreator creator, REFIID iid, void **result);
using RegistrationRoutine = HRESULT (*)(bool registerMode);

struct ClassTableRow {
    const CLSID *clsid;                      // null in the closing row
    RegistrationRoutine updateRegistry;
    ClassObjectCreator createClassObject;
    InstanceCreator createInstance;
    IUnknown *classObject;                   // cached class object, counted
};

struct ServerModuleState {
    HINSTANCE instance = nullptr;
    volatile LONG LockCount = 0;
    ClassTableRow *ClassTable = nullptr;
    CRITICAL_SECTION classTableLock;
    CRITICAL_SECTION typeInfoLock;
    bool attached = false;
};

ServerModuleState &ServerModule();

// Library load and unload. Test programs that link the component's code
// directly call these themselves (with their own module handle).
void ServerModuleAttach(HINSTANCE instance);
void ServerModuleDetach();

LONG LockModule();
LONG UnlockModule();

// The component's own file path (ANSI, at most MAX_PATH characters).
std::string ModuleFilePathA();
std::wstring ModuleFilePathW();

} // namespace zb
