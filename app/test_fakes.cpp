#include "app/test_fakes.h"

namespace tarn::testing {

namespace {
Journal* g_journal = nullptr;
QtMessageHandler g_previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_journal && type == QtDebugMsg && context.category &&
        QByteArrayView(context.category) == "tarn.channel") {
        g_journal->add(QStringLiteral("piece:") + message);
        return;
    }
    if (g_previous)
        g_previous(type, context, message);
}
} // namespace

PieceLog::PieceLog(Journal& j)
{
    g_journal = &j;
    QLoggingCategory::setFilterRules(QStringLiteral("tarn.channel.debug=true"));
    g_previous = qInstallMessageHandler(capture);
}

PieceLog::~PieceLog()
{
    qInstallMessageHandler(g_previous);
    QLoggingCategory::setFilterRules(QString());
    g_journal = nullptr;
}

} // namespace tarn::testing
