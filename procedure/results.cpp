#include "procedure/results.h"

#include <QRegularExpression>
#include <QUuid>

#include <cmath>

namespace tarn {

namespace {

template <typename E>
struct Named {
    E value;
    const char* text;
};
constexpr Named<Verdict> kVerdicts[] = {
    {Verdict::Pass, "Pass"},
    {Verdict::Fail, "Fail"},
    {Verdict::ConditionalPass, "Conditional pass"},
    {Verdict::ConditionalFail, "Conditional fail"},
    {Verdict::Skipped, "Skipped"},
    {Verdict::NoDecision, "No decision"},
};
constexpr Named<Overall> kOveralls[] = {
    {Overall::Pass, "PASS"},
    {Overall::Fail, "FAIL"},
    {Overall::Incomplete, "INCOMPLETE"},
};

template <typename E, std::size_t N>
QString textOf(const Named<E> (&names)[N], E value)
{
    for (const auto& n : names)
        if (n.value == value)
            return QString::fromLatin1(n.text);
    return {};
}

template <typename E, std::size_t N>
std::optional<E> valueOf(const Named<E> (&names)[N], const QString& text)
{
    for (const auto& n : names)
        if (text == QLatin1String(n.text))
            return n.value;
    return std::nullopt;
}

// One field, quoted when it holds a comma, a quote or a line end.
QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString isoWithOffset(const QDateTime& time)
{
    if (!time.isValid())
        return {};
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

QString verdictText(Verdict verdict)
{
    return textOf(kVerdicts, verdict);
}

std::optional<Verdict> verdictFromText(const QString& text)
{
    return valueOf(kVerdicts, text);
}

QString overallText(Overall overall)
{
    return textOf(kOveralls, overall);
}

std::optional<Overall> overallFromText(const QString& text)
{
    return valueOf(kOveralls, text);
}

Overall overallOf(const QList<PointResult>& points, int pointsInProcedure, bool aborted)
{
    bool skipped = aborted || points.size() < pointsInProcedure;
    for (const auto& p : points) {
        if (p.result == Verdict::Fail || p.result == Verdict::ConditionalFail)
            return Overall::Fail;
        if (p.result == Verdict::Skipped || p.result == Verdict::NoDecision)
            skipped = true;
    }
    return skipped ? Overall::Incomplete : Overall::Pass;
}

QByteArray ResultsCsv(const RunRecord& run)
{
    const QString crlf = QStringLiteral("\r\n");
    QString out = QStringLiteral(
                      "point,test,function,setting,nominal,indicated,actual,error,lower,upper,"
                      "unit,tolerance_used,result,uncertainty,coverage_factor,tur")
                  + crlf;
    for (const auto& p : run.points) {
        const QStringList fields = {
            QString::number(p.point),
            csvField(p.test),
            csvField(p.function),
            csvField(p.setting),
            resultsNumber(p.nominal),
            resultsNumber(p.indicated),
            resultsNumber(p.actual),
            resultsNumber(p.error),
            resultsNumber(p.lower),
            resultsNumber(p.upper),
            csvField(p.unit),
            p.toleranceUsed ? QString::number(*p.toleranceUsed, 'f', 1) : QString(),
            csvField(verdictText(p.result)),
            resultsNumber(p.uncertainty),
            p.coverageFactor ? QString::number(*p.coverageFactor, 'f', 2) : QString(),
            p.tur ? QString::number(*p.tur, 'f', 1) : QString(),
        };
        out += fields.join(QLatin1Char(',')) + crlf;
    }
    out += crlf;
    const RunInfo& i = run.info;
    // With a calibrator file the calibrator is named by it, and the
    // connection's own identification follows on a line of its own.
    const bool specified = !i.calibratorSpecSha256.isEmpty();
    const QString calibrator = specified ? i.calibratorModel + QLatin1Char(' ') + i.calibratorSerial : i.calibrator;
    const std::pair<const char*, QString> meta[] = {
        {"procedure", i.procedureTitle},
        {"revision", i.procedureRevision},
        {"sha256", i.procedureSha256},
        {"model", i.unitModel},
        {"serial", i.unitSerial},
        {"asset", i.unitAsset},
        {"customer", i.customer},
        {"operator", i.operatorName},
        {"temperature", i.temperature},
        {"humidity", i.humidity},
        {"start", isoWithOffset(i.start)},
        {"end", isoWithOffset(i.end)},
        {"calibrator", calibrator},
        {"calibrator_device", specified ? i.calibrator : QString()},
        {"calibrator_certificate", i.calibratorCertificate},
        {"calibrator_due", i.calibratorDue.toString(Qt::ISODate)},
        {"calibrator_specification", i.calibratorSpecSha256},
        {"decision", i.guard.isEmpty() ? i.decisionRule
                                       : i.decisionRule + QStringLiteral(" (guard ") + i.guard
                                             + QLatin1Char(')')},
        {"overall", i.overall ? overallText(*i.overall) : QString()},
    };
    for (const auto& [key, value] : meta) {
        const bool optional = QLatin1String(key).startsWith(QLatin1String("calibrator_"));
        if (optional && !specified)
            continue;
        out += QStringLiteral("# ") + QLatin1String(key) + QLatin1Char(',') + csvField(value) + crlf;
    }
    // The notes the certificate prints as footnotes: what was adjusted, the
    // operator's remarks and every correction with its reason.
    const auto note = [&](const char* key, const QString& value) {
        out += QStringLiteral("# ") + QLatin1String(key) + QLatin1Char(',') + csvField(value) + crlf;
    };
    if (!i.adjustment.isEmpty())
        note("adjustment", i.adjustment);
    for (const auto& p : run.points) {
        if (!p.remark.isEmpty())
            note("remark", QStringLiteral("point %1: %2").arg(p.point).arg(p.remark));
        if (!p.correctionReason.isEmpty())
            note("correction", QStringLiteral("point %1: %2 (by %3, %4)")
                                   .arg(p.point)
                                   .arg(p.correctionReason, p.correctedBy, isoWithOffset(p.takenAt)));
    }
    return out.toUtf8();
}

QString newRunId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString resultsFileName(const QString& serial, const QDateTime& start)
{
    QString safe = serial;
    safe.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")));
    return safe + QLatin1Char('_') + start.toString(QStringLiteral("yyyyMMdd-HHmmss"))
           + QStringLiteral(".csv");
}

} // namespace tarn
