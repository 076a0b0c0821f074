// Processor I/O ports and the platform test that bars them.
#pragma once

#include "zb_common.h"

#include <cstdint>

namespace zb {

// True on the Windows NT platform, where a user process has no direct
// port access.
bool IsWindowsNT();

void PortWriteByte(uint16_t port, uint8_t data);
void PortWriteWord(uint16_t port, uint16_t data);
void PortWriteDword(uint16_t port, uint32_t data);
uint8_t PortReadByte(uint16_t port);
uint16_t PortReadWord(uint16_t port);
uint32_t PortReadDword(uint16_t port);

} // namespace zb
