// TypeInfoCache: the registered type information of IZBUtility, shared by
// all ZBUtility objects of the process.
#pragma once

#include "zb_common.h"

namespace zb {

void TypeInfoCacheAddUser();
void TypeInfoCacheReleaseUser();
// Hands out the cached type information (loading it from the registered
// type library first if need be) with one added reference.
HRESULT TypeInfoCacheGet(LCID lcid, ITypeInfo **result);

} // namespace zb
