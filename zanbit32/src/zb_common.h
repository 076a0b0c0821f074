// Common includes of the ZANBIT32 component.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>

#include "ZANBIT32_h.h"
#include "zb_constants.h"

namespace zb {

// Texts and identifiers of the ZBUtility class.
inline constexpr char kProgId[] = "Zanbit32.ZBUtility.1";
inline constexpr char kVersionIndependentProgId[] = "Zanbit32.ZBUtility";
inline constexpr char kClsidText[] = "{5B1D2A46-7C3E-11D0-9A4B-6C2F1E0D3A57}";
inline constexpr char kThreadingModel[] = "Apartment";
inline constexpr char kHelpFileName[] = "zbsystem.hlp";
inline constexpr char kHelpProductKey[] = "ZBKIT";
inline constexpr char kVersionText[] = "0.00.001: Halden Utility 1.0 Library.";
inline constexpr DWORD kHelpContext = 1;

} // namespace zb
