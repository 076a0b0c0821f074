#include "app/test_fakes.h"

#include <vector>

namespace tarn::testing {

namespace {
Journal* g_journal = nullptr;
QtMessageHandler g_previous = nullptr;
// Logs alive at once (a test with two harnesses): the handler is installed
// by the first and removed by the last, and the newest journal collects.
std::vector<Journal*> g_open;

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
    g_open.push_back(&j);
    if (g_open.size() > 1)
        return;
    QLoggingCategory::setFilterRules(QStringLiteral("tarn.channel.debug=true"));
    g_previous = qInstallMessageHandler(capture);
}

PieceLog::~PieceLog()
{
    g_open.pop_back();
    g_journal = g_open.empty() ? nullptr : g_open.back();
    if (!g_open.empty())
        return;
    qInstallMessageHandler(g_previous);
    QLoggingCategory::setFilterRules(QString());
}

} // namespace tarn::testing
