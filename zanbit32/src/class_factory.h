// The class object of a ClassTable row, and the exported entry points.
#pragma once

#include "server_module.h"

namespace zb {

// Creates a class object for the given instance creator and asks it for iid.
HRESULT CreateClassObject(InstanceCreator creator, REFIID iid, void **result);

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **result);
HRESULT CanUnloadNow();

} // namespace zb
