#include "records/certificate.h"

#include "records/dcc.h"

#include <QRegularExpression>

#include <map>

namespace tarn {

namespace {

QString guardText(const RunInfo& info)
{
    return info.guard.isEmpty() ? QStringLiteral("the procedure's guard band") : info.guard;
}

QString withUnit(const std::optional<double>& value, const QString& unit)
{
    const QString number = resultsNumber(value);
    return number.isEmpty() || unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

} // namespace

QString certificateTitle(const CertificateRuns& runs)
{
    const auto demo = [](const RunRecord& r) {
        return r.info.calibrator.isEmpty()
               || r.info.calibrator == QLatin1String(kDemonstrationCalibrator);
    };
    QString title = QStringLiteral("Calibration Certificate");
    if (demo(runs.run) || (runs.asFound && demo(*runs.asFound)))
        title += QStringLiteral(" (demonstration edition: not a calibration)");
    return title;
}

QString decisionRuleInWords(const RunInfo& info)
{
    if (info.decisionRule == QLatin1String("guarded"))
        return QStringLiteral("Guarded acceptance: a point passes only when its error lies within "
                              "the limits narrowed on each side by a guard band of %1 of the "
                              "tolerance; otherwise it fails.")
            .arg(guardText(info));
    if (info.decisionRule == QLatin1String("non-binary"))
        return QStringLiteral("Non-binary statement with a guard band of %1 of the tolerance: a "
                              "point passes inside the narrowed limits, passes conditionally "
                              "between them and the limits, fails conditionally beyond the limits "
                              "by no more than the guard band, and fails beyond that.")
            .arg(guardText(info));
    return QStringLiteral("Simple acceptance: a point passes when its error lies within the "
                          "limits, a result on a limit included; no guard band is used.");
}

QString conformityStatement(const RunInfo& info)
{
    if (!info.overall || !info.end.isValid())
        return QStringLiteral("No statement of conformity is made: the run did not end.");
    switch (*info.overall) {
    case Overall::Pass:
        return QStringLiteral("PASS: every point conforms to its limits under the decision rule.");
    case Overall::Fail:
        return QStringLiteral("FAIL: the unit does not conform; at least one point failed or "
                              "failed conditionally.");
    case Overall::Incomplete:
        break;
    }
    return QStringLiteral("INCOMPLETE: no statement of conformity is made, since points were "
                          "skipped or the run was aborted.");
}

QStringList certificateColumns()
{
    return {QStringLiteral("Point"),     QStringLiteral("Test"),   QStringLiteral("Setting"),
            QStringLiteral("Nominal"),   QStringLiteral("Indicated"), QStringLiteral("Actual"),
            QStringLiteral("Error"),     QStringLiteral("Limits"), QStringLiteral("Tol. used"),
            QStringLiteral("Result")};
}

QStringList certificateRow(const PointResult& p)
{
    QString limits;
    if (p.lower || p.upper) {
        const QString lower = p.lower ? resultsNumber(p.lower) : QStringLiteral("-");
        const QString upper = p.upper ? resultsNumber(p.upper) : QStringLiteral("-");
        limits = lower + QStringLiteral(" to ") + upper
                 + (p.unit.isEmpty() ? QString() : QLatin1Char(' ') + p.unit);
    }
    return {QString::number(p.point),
            p.test,
            p.setting,
            withUnit(p.nominal, p.unit),
            withUnit(p.indicated, p.unit),
            withUnit(p.actual, p.unit),
            withUnit(p.error, p.unit),
            limits,
            p.toleranceUsed ? QString::number(*p.toleranceUsed, 'f', 1) + QStringLiteral(" %") : QString(),
            verdictText(p.result)};
}

QStringList comparisonColumns()
{
    return {QStringLiteral("Point"),           QStringLiteral("Test"),
            QStringLiteral("Setting"),         QStringLiteral("Error as found"),
            QStringLiteral("Tol. used"),       QStringLiteral("Result as found"),
            QStringLiteral("Error as left"),   QStringLiteral("Tol. used"),
            QStringLiteral("Result as left")};
}

QList<QStringList> comparisonRows(const RunRecord& asFound, const RunRecord& asLeft)
{
    // Both runs follow one procedure, so a point number is the same point;
    // one missing from a run (aborted before it) is shown as not taken.
    std::map<int, std::pair<const PointResult*, const PointResult*>> points;
    for (const PointResult& p : asFound.points)
        points[p.point].first = &p;
    for (const PointResult& p : asLeft.points)
        points[p.point].second = &p;
    const auto side = [](const PointResult* p) {
        if (!p)
            return QStringList{QString(), QString(), QStringLiteral("not taken")};
        const QStringList row = certificateRow(*p);
        return QStringList{row[6], row[8], row[9]};
    };
    QList<QStringList> rows;
    for (const auto& [number, pair] : points) {
        const PointResult* any = pair.second ? pair.second : pair.first;
        rows << (QStringList{QString::number(number), any->test, any->setting} + side(pair.first)
                 + side(pair.second));
    }
    return rows;
}

QString conditionText(const QString& typed, const QString& unit)
{
    static const QRegularExpression bare(QStringLiteral("^[-+]?[0-9]+([.,][0-9]+)?$"));
    const QString t = typed.trimmed();
    if (t.isEmpty())
        return QStringLiteral("not recorded");
    return bare.match(t).hasMatch() ? t + QLatin1Char(' ') + unit : t;
}

namespace {

QString refuse(const Services& services, const QString& text)
{
    if (services.messages)
        services.messages->show({QStringLiteral("Certificate"), text, MessageIcon::Exclamation,
                                 MessageButtons::Ok});
    return QString();
}

// Draws the runs into `path` and opens it.
QString writeCertificate(Records& records, const CertificateRuns& runs, const QString& path,
                         const Services& services)
{
    if (!services.certificates)
        return refuse(services, QStringLiteral("This program was built without a certificate writer."));
    QString error;
    if (!services.certificates->write(runs, records.settings().laboratory, path, &error))
        return refuse(services, QStringLiteral("The certificate %1 cannot be written: %2").arg(path, error));
    // A numbered certificate gets its Digital Calibration Certificate
    // beside it, from the same runs and PDF; a draft gets none.
    if (!runs.run.info.certificateNumber.isEmpty())
        writeDccBeside(runs, records.settings().laboratory, path, services);
    if (services.documents && !services.documents->open(path))
        refuse(services, QStringLiteral("The certificate was written to %1, but no viewer could be opened "
                                        "for it.")
                             .arg(path));
    return path;
}

} // namespace

QString writeIssuedCertificate(Records& records, const CertificateRuns& runs, const Services& services)
{
    const QString& number = runs.run.info.certificateNumber;
    if (number.isEmpty())
        return refuse(services, QStringLiteral("The certificate has not been issued."));
    return writeCertificate(records, runs, records.certificatePath(number), services);
}

QString showCertificate(Records& records, const QString& runId, const Services& services)
{
    if (!services.certificates)
        return refuse(services, QStringLiteral("This program was built without a certificate writer."));
    QString error;
    const auto runs = records.certificateRunsOf(runId, &error);
    if (!runs)
        return refuse(services, error);
    if (!runs->run.info.certificateNumber.isEmpty())
        return writeIssuedCertificate(records, *runs, services);
    return writeCertificate(records, *runs, records.draftCertificatePath(runs->run.info), services);
}

QString approveAndIssueCertificate(Records& records, const QString& runId, const QString& approvedBy,
                                   const QDateTime& now, const Services& services)
{
    if (!services.certificates)
        return refuse(services, QStringLiteral("This program was built without a certificate writer."));
    QString error;
    const auto runs = records.issueCertificate(runId, approvedBy, now, &error);
    if (!runs)
        return refuse(services, error);
    return writeIssuedCertificate(records, *runs, services);
}

} // namespace tarn
