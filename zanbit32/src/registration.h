// Self-registration: registry keys of the class and the type library.
#pragma once

#include "zb_common.h"

namespace zb {

// Writes (registerMode true) or removes the registry entries of ZBUtility.
HRESULT UpdateClassRegistry(bool registerMode);
HRESULT RegisterProgId(const char *progId, const char *description, const char *clsidText);
// Deletes the key name under parent with all its subkeys.
LONG DeleteKeyTree(HKEY parent, const char *name);
HRESULT RegisterTypeLibrary();
HRESULT RegisterServer();
HRESULT UnregisterServer();

} // namespace zb
