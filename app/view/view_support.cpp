#include "app/view/view_support.h"

#include <cstring>

namespace tarn::view {

QString screenText(const QString& text)
{
    QString result = text;
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

std::optional<QString> missingDisplayMessage(int argc, const char* const* argv,
                                             const std::function<QString(const char*)>& getenv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-platform") == 0 || std::strcmp(arg, "--platform") == 0
            || std::strncmp(arg, "-platform=", 10) == 0 || std::strncmp(arg, "--platform=", 11) == 0)
            return std::nullopt;
    }
    if (!getenv("QT_QPA_PLATFORM").isEmpty() || !getenv("DISPLAY").isEmpty()
        || !getenv("WAYLAND_DISPLAY").isEmpty())
        return std::nullopt;
    const QString program = argc > 0 && argv[0] ? QString::fromLocal8Bit(argv[0])
                                                : QStringLiteral("TarnPilot");
    return QStringLiteral("TarnPilot: no display found (DISPLAY is not set); run it under a "
                          "virtual display: xvfb-run -a %1")
        .arg(program);
}

} // namespace tarn::view
