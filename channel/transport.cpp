#include "channel/transport.h"

#include <QByteArray>

namespace tarn {

QString serialDeviceForPort(int portNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

bool isExpectedReply(const QByteArray& line)
{
    if (line.isEmpty())
        return false;
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7e)
            return false;
    }
    return true;
}

} // namespace tarn
