// Processor I/O ports.
#include "port_io.h"

namespace zb {

bool IsWindowsNT()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = 148;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL ok = GetVersionExA(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return ok && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void PortWriteByte(uint16_t port, uint8_t data) { __asm__ __volatile__("outb %0, %1" : : "a"(data), "Nd"(port)); }
void PortWriteWord(uint16_t port, uint16_t data) { __asm__ __volatile__("outw %0, %1" : : "a"(data), "Nd"(port)); }
void PortWriteDword(uint16_t port, uint32_t data) { __asm__ __volatile__("outl %0, %1" : : "a"(data), "Nd"(port)); }

uint8_t PortReadByte(uint16_t port)
{
    uint8_t data;
    __asm__ __volatile__("inb %1, %0" : "=a"(data) : "Nd"(port));
    return data;
}

uint16_t PortReadWord(uint16_t port)
{
    uint16_t data;
    __asm__ __volatile__("inw %1, %0" : "=a"(data) : "Nd"(port));
    return data;
}

uint32_t PortReadDword(uint16_t port)
{
    uint32_t data;
    __asm__ __volatile__("inl %1, %0" : "=a"(data) : "Nd"(port));
    return data;
}

} // namespace zb
