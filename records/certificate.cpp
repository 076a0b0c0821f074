#include "records/certificate.h"

#include "records/dcc.h"
#include "uncertainty/budget.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include <map>

namespace tarn {

namespace {

QString guardText(const RunInfo& info)
{
    return info.guard.isEmpty() ? QStringLiteral("the procedure's guard band") : info.guard;
}

bool guardIsU(const RunInfo& info)
{
    return info.guard.trimmed().compare(QLatin1String("U"), Qt::CaseInsensitive) == 0;
}

bool hasCalibratorSpecification(const RunInfo& info)
{
    return !info.calibratorModel.isEmpty() || !info.calibratorSpecSha256.isEmpty();
}

// A prefix and the unit it makes: the scale a value is divided by.
struct Prefix {
    double scale = 1.0;
    QString unit;
};

// The engineering prefix under which a magnitude reads from 1 to 999. A
// bandwidth stays in MHz, as it is written everywhere.
Prefix prefixFor(double magnitude, const QString& unit)
{
    static const std::pair<int, const char*> kPrefixes[] = {
        {-12, "p"}, {-9, "n"}, {-6, "\u00b5"}, {-3, "m"}, {0, ""}, {3, "k"}, {6, "M"}, {9, "G"},
    };
    if (unit.isEmpty() || unit == QLatin1String("MHz") || !(magnitude > 0) || !std::isfinite(magnitude))
        return {1.0, unit};
    // Nudged so that 1e-3, whose logarithm may come out a hair below -3,
    // reads 1 m and not 1000 µ.
    const int exponent = std::clamp(int(std::floor((std::log10(magnitude) + 1e-9) / 3)) * 3, -12, 9);
    for (const auto& [e, prefix] : kPrefixes)
        if (e == exponent)
            return {std::pow(10.0, e), QString::fromUtf8(prefix) + unit};
    return {1.0, unit};
}

int decade(double magnitude)
{
    return int(std::floor(std::log10(magnitude) + 1e-9));
}

// The decimals that write a value exactly, once rounded to nine
// significant digits (which takes off what binary arithmetic adds).
int exactDecimals(const std::optional<double>& value, double scale)
{
    if (!value || *value == 0 || !std::isfinite(*value))
        return 0;
    const double m = *value / scale;
    const int decimals = std::clamp(8 - decade(std::fabs(m)), 0, 12);
    QString text = QString::number(m, 'f', decimals);
    if (!text.contains(QLatin1Char('.')))
        return 0;
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    return int(text.size() - text.indexOf(QLatin1Char('.')) - 1);
}

// The decimals that give four significant digits.
int fourDigits(double magnitude)
{
    return magnitude > 0 && std::isfinite(magnitude) ? std::max(0, 3 - decade(magnitude)) : 0;
}

// A number to a decimal place: more than four decimals are grouped in
// threes ("1.000 012"), places above the units are rounded ("-600" to the
// tens), and a zero has no sign.
QString fixed(double value, int decimals)
{
    if (decimals < 0) {
        const double step = std::pow(10.0, -decimals);
        value = std::round(value / step) * step;
        decimals = 0;
    }
    QString text = QString::number(value, 'f', decimals);
    static const QRegularExpression zero(QStringLiteral("^-0(\\.0*)?$"));
    if (zero.match(text).hasMatch())
        text.remove(0, 1);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    if (point >= 0 && decimals > 4)
        for (qsizetype at = point + 4; at < text.size(); at += 4)
            text.insert(at, QLatin1Char(' '));
    return text;
}

QString withUnit(const QString& number, const QString& unit)
{
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

// A trimmed number with at most `digits` significant digits.
QString significant(double value, int digits)
{
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0");
    const int decimals = std::max(0, digits - 1 - decade(std::fabs(value)));
    QString text = fixed(value, decimals).remove(QLatin1Char(' '));
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}

// The decimal place of U in its prefix: the place of its second
// significant digit, as a count of decimals (negative above the units).
int placeOfU(double u, double scale)
{
    return 1 - decade(std::fabs(u / scale));
}

// The row's prefix: from the nominal, or where it is zero or missing from
// the largest of the other values.
double rowMagnitude(const PointResult& p)
{
    if (p.nominal && *p.nominal != 0)
        return std::fabs(*p.nominal);
    double m = 0;
    for (const auto& v : {p.indicated, p.actual, p.lower, p.upper})
        if (v)
            m = std::max(m, std::fabs(*v));
    return m;
}

bool isBandwidth(const PointResult& p)
{
    return p.function == QLatin1String("fastrise") || p.riseTime.has_value();
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
    const bool withU = hasCalibratorSpecification(info);
    QString rule;
    if (info.decisionRule == QLatin1String("guarded") && guardIsU(info))
        rule = QStringLiteral("Guarded acceptance with a guard band w = U: a point passes only when its "
                              "error lies within the limits narrowed on each side by the point's own "
                              "expanded uncertainty U; otherwise it fails. For a minimum bandwidth the "
                              "acceptance limit is the minimum plus U.");
    else if (info.decisionRule == QLatin1String("guarded"))
        rule = QStringLiteral("Guarded acceptance: a point passes only when its error lies within "
                              "the limits narrowed on each side by a guard band of %1 of the "
                              "tolerance; otherwise it fails.")
                   .arg(guardText(info));
    else if (info.decisionRule == QLatin1String("non-binary") && guardIsU(info))
        rule = QStringLiteral("Non-binary statement with a guard band w = U, the point's own expanded "
                              "uncertainty: a point passes inside the limits narrowed by U, passes "
                              "conditionally between them and the limits, fails conditionally beyond "
                              "the limits by no more than U, and fails beyond that.");
    else if (info.decisionRule == QLatin1String("non-binary"))
        rule = QStringLiteral("Non-binary statement with a guard band of %1 of the tolerance: a "
                              "point passes inside the narrowed limits, passes conditionally "
                              "between them and the limits, fails conditionally beyond the limits "
                              "by no more than the guard band, and fails beyond that.")
                   .arg(guardText(info));
    else
        rule = QStringLiteral("Simple acceptance: a point passes when its error lies within the "
                              "limits, a result on a limit included; no guard band is used.");
    if (!withU)
        return rule + QStringLiteral(" No measurement uncertainty was stated or taken into account, "
                                     "since no calibrator file was in use.");
    if (!guardIsU(info))
        rule += info.decisionRule == QLatin1String("simple") || info.decisionRule.isEmpty()
                    ? QStringLiteral(" The expanded uncertainty U is stated beside each result but does "
                                     "not move the limits, so the risk of a wrong decision is shared.")
                    : QStringLiteral(" The expanded uncertainty U is stated beside each result; the "
                                     "guard band does not depend on it.");
    return rule + QStringLiteral(" A point whose U reaches its tolerance on either side leaves no "
                                 "acceptance zone and is given no statement of conformity "
                                 "(\"No decision\").");
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
                          "skipped or had no decision, or the run was aborted.");
}

QString uncertaintyStatement(const LaboratoryInfo& laboratory)
{
    if (!laboratory.uncertaintyStatement.trimmed().isEmpty())
        return laboratory.uncertaintyStatement.trimmed();
    return QStringLiteral("The reported expanded uncertainty of measurement is stated as the standard "
                          "uncertainty of measurement multiplied by the coverage factor k, which for a "
                          "normal distribution corresponds to a coverage probability of approximately "
                          "95 %");
}

QString traceabilityText(const RunInfo& info)
{
    if (!hasCalibratorSpecification(info))
        return QStringLiteral("No calibrator file was in use, so the traceability of "
                              "these results is not stated.");
    const auto given = [](const QString& t) { return t.isEmpty() ? QStringLiteral("not stated") : t; };
    QString text = QStringLiteral("Calibrator %1, serial number %2, calibrated under certificate %3, "
                                  "due for calibration on %4.")
                       .arg(given(info.calibratorModel), given(info.calibratorSerial),
                            given(info.calibratorCertificate),
                            info.calibratorDue.isValid() ? info.calibratorDue.toString(Qt::ISODate)
                                                         : QStringLiteral("a date not stated"));
    if (info.calibratorPastDue)
        text += QStringLiteral(" The calibrator was past its calibration due date when this "
                               "calibration was made.");
    return text;
}

QString conditionsText(const RunInfo& info)
{
    const auto given = [](const std::optional<double>& number, const QString& typed, const QString& unit) {
        return number ? QString::number(*number) + QLatin1Char(' ') + unit : conditionText(typed, unit);
    };
    return QStringLiteral("Temperature %1, humidity %2")
        .arg(given(info.temperatureC, info.temperature, QStringLiteral("\u00b0C")),
             given(info.humidityRH, info.humidity, QStringLiteral("% rh")));
}

bool isDraft(const RunInfo& info)
{
    return info.certificateNumber.trimmed().isEmpty();
}

CertificateCells certificateCells(const PointResult& p)
{
    CertificateCells c;
    c.result = verdictText(p.result);
    if (p.unit.isEmpty() && !p.nominal && !p.indicated)
        return c;  // a check: only its result
    const Prefix row = prefixFor(rowMagnitude(p), p.unit);
    const bool bandwidth = isBandwidth(p);

    // Nominal, indicated and actual to one decimal place, enough for each
    // to be written exactly and for at least four significant digits. A
    // bandwidth is worked out, not read: it is written like the error.
    int decimals = fourDigits(rowMagnitude(p) / row.scale);
    for (const auto& v : {p.nominal, bandwidth ? std::nullopt : p.indicated, p.actual})
        decimals = std::max(decimals, exactDecimals(v, row.scale));
    const auto rowValue = [&](const std::optional<double>& v) {
        return v ? withUnit(fixed(*v / row.scale, decimals), row.unit) : QString();
    };
    // A bandwidth has a minimum, not a nominal (the runner leaves zero there).
    c.nominal = bandwidth ? QString() : rowValue(p.nominal);
    c.actual = bandwidth ? QString() : rowValue(p.actual);
    if (bandwidth && p.indicated) {
        const int d = p.uncertainty && *p.uncertainty > 0 ? placeOfU(*p.uncertainty, row.scale)
                                                          : fourDigits(std::fabs(*p.indicated / row.scale));
        c.indicated = withUnit(fixed(*p.indicated / row.scale, d), row.unit);
    } else {
        c.indicated = rowValue(p.indicated);
    }
    if (p.riseTime)
        c.riseTime = QStringLiteral("tr %1 ns").arg(significant(*p.riseTime, 6));

    // The error and U share a prefix, from the larger of them; the error
    // goes to the decimal place of U.
    const bool hasU = p.uncertainty && *p.uncertainty > 0;
    std::optional<double> error = p.error;
    if (error && std::fabs(*error) <= 1e-10 * std::max(std::fabs(p.nominal.value_or(0)), std::fabs(p.actual.value_or(0))))
        error = 0.0;  // what is left of subtracting two equal readings in binary
    if (hasU && error && std::fabs(*error) > 1000 * *p.uncertainty) {
        // An error of thousands of times U (a slip) would need a dozen
        // places in U's prefix: each is written in its own.
        const Prefix e = prefixFor(std::fabs(*error), p.unit);
        const Prefix u = prefixFor(*p.uncertainty, p.unit);
        c.error = withUnit(fixed(*error / e.scale, fourDigits(std::fabs(*error) / e.scale)), e.unit);
        c.uncertainty = withUnit(fixed(*p.uncertainty / u.scale, placeOfU(*p.uncertainty, u.scale)), u.unit);
        if (p.coverageFactor)
            c.uncertainty += QStringLiteral(" (%1)").arg(QString::number(*p.coverageFactor, 'f', 2));
    } else if (hasU || (error && *error != 0)) {
        const double magnitude = std::max(hasU ? *p.uncertainty : 0.0, error ? std::fabs(*error) : 0.0);
        const Prefix e = prefixFor(magnitude, p.unit);
        const int d = hasU ? placeOfU(*p.uncertainty, e.scale) : fourDigits(std::fabs(*error) / e.scale);
        if (error)
            c.error = withUnit(fixed(*error / e.scale, d), e.unit);
        if (hasU) {
            c.uncertainty = withUnit(fixed(*p.uncertainty / e.scale, d), e.unit);
            if (p.coverageFactor)
                c.uncertainty += QStringLiteral(" (%1)").arg(QString::number(*p.coverageFactor, 'f', 2));
        }
    } else if (error) {
        c.error = withUnit(fixed(0.0, decimals), row.unit);
    }

    if (p.lower || p.upper) {
        const int d = std::max(exactDecimals(p.lower, row.scale), exactDecimals(p.upper, row.scale));
        const auto limit = [&](double v) { return fixed(v / row.scale, d); };
        if (p.lower && p.upper)
            c.limits = withUnit(limit(*p.lower) + QStringLiteral(" to ") + limit(*p.upper), row.unit);
        else if (p.lower)
            c.limits = withUnit(QStringLiteral("\u2265 ") + limit(*p.lower), row.unit);
        else
            c.limits = withUnit(QStringLiteral("\u2264 ") + limit(*p.upper), row.unit);
    }
    if (p.toleranceUsed)
        c.toleranceUsed = QString::number(*p.toleranceUsed, 'f', *p.toleranceUsed >= 10 ? 0 : 1)
                          + QStringLiteral(" %");
    if (p.tur)
        c.tur = QString::number(*p.tur, 'f', 1);
    return c;
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
    const CertificateCells c = certificateCells(p);
    const QString indicated = c.riseTime.isEmpty() ? c.indicated
                                                   : c.indicated + QStringLiteral(" (") + c.riseTime + QLatin1Char(')');
    return {QString::number(p.point), p.test, p.setting, c.nominal, indicated, c.actual,
            c.error, c.limits, c.toleranceUsed, c.result};
}

ResultsTable resultsTable(const RunRecord& run)
{
    ResultsTable table;
    table.columns = {QStringLiteral("Point"),   QStringLiteral("Test"),      QStringLiteral("Setting"),
                     QStringLiteral("Nominal"), QStringLiteral("Indicated"), QStringLiteral("Actual"),
                     QStringLiteral("Error"),   QStringLiteral("U (k)"),     QStringLiteral("Limits"),
                     QStringLiteral("Tol. used"), QStringLiteral("TUR"),     QStringLiteral("Result")};
    for (const PointResult& p : run.points) {
        const CertificateCells c = certificateCells(p);
        QString point = QString::number(p.point);
        QStringList note;
        if (!p.remark.trimmed().isEmpty())
            note << p.remark.trimmed();
        if (!p.correctionReason.trimmed().isEmpty() || !p.correctedBy.trimmed().isEmpty())
            note << QStringLiteral("Corrected after the run by %1: %2. The reading first recorded is "
                                   "kept in the laboratory's records.")
                        .arg(p.correctedBy.trimmed().isEmpty() ? QStringLiteral("a person not named")
                                                               : p.correctedBy.trimmed(),
                             p.correctionReason.trimmed().isEmpty() ? QStringLiteral("no reason given")
                                                                    : p.correctionReason.trimmed());
        if (!note.isEmpty()) {
            const QString mark = QStringLiteral("[%1]").arg(table.notes.size() + 1);
            point += QLatin1Char(' ') + mark;
            table.notes << QStringLiteral("%1 Point %2: %3").arg(mark).arg(p.point).arg(note.join(QLatin1Char(' ')));
        }
        table.rows << QStringList{point,     p.test,   p.setting,
                                  c.nominal, c.riseTime.isEmpty() ? c.indicated : c.indicated + QLatin1Char('\n') + c.riseTime,
                                  c.actual,  c.error,  c.uncertainty, c.limits, c.toleranceUsed, c.tur, c.result};
    }
    return table;
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
        const CertificateCells c = certificateCells(*p);
        return QStringList{c.error, c.toleranceUsed, c.result};
    };
    QList<QStringList> rows;
    for (const auto& [number, pair] : points) {
        const PointResult* any = pair.second ? pair.second : pair.first;
        rows << (QStringList{QString::number(number), any->test, any->setting} + side(pair.first)
                 + side(pair.second));
    }
    return rows;
}

QStringList budgetColumns()
{
    return {QStringLiteral("Component"),   QStringLiteral("Value"), QStringLiteral("Distribution"),
            QStringLiteral("Divisor"),     QStringLiteral("Sensitivity"),
            QStringLiteral("u_i"),     QStringLiteral("\u03bd_i")};
}

QList<QStringList> budgetRows(const PointResult& p)
{
    if (p.budget.isEmpty())
        return {};
    double uc2 = 0;
    for (const BudgetComponent& b : p.budget)
        uc2 += b.standardUncertainty * b.standardUncertainty;
    const double uc = std::sqrt(uc2);
    const Prefix unit = prefixFor(p.uncertainty && *p.uncertainty > 0 ? *p.uncertainty : uc, p.unit);
    const auto inUnit = [&](double v, int digits) { return withUnit(significant(v / unit.scale, digits), unit.unit); };
    const QString infinite = QStringLiteral("\u221e");
    QList<QStringList> rows;
    for (const BudgetComponent& b : p.budget) {
        // A bandwidth's components are times carried into MHz by their
        // sensitivities; every other component is in the point's unit.
        const bool time = isBandwidth(p) && b.sensitivity != 1.0;
        rows << QStringList{b.name,
                            time ? withUnit(significant(b.value, 4), QStringLiteral("ns")) : inUnit(b.value, 4),
                            b.distribution,
                            significant(b.divisor, 4),
                            time ? withUnit(significant(b.sensitivity, 4), QStringLiteral("MHz/ns"))
                                 : significant(b.sensitivity, 4),
                            inUnit(b.standardUncertainty, 3),
                            b.degreesOfFreedom ? significant(*b.degreesOfFreedom, 6) : infinite};
    }
    const auto summary = [](const QString& name, const QString& value) {
        return QStringList{name, QString(), QString(), QString(), QString(), value, QString()};
    };
    rows << summary(QStringLiteral("Combined standard uncertainty u_c"), inUnit(uc, 3));
    const auto nu = welchSatterthwaite(p.budget);
    rows << summary(QStringLiteral("Effective degrees of freedom \u03bd_eff"),
                    nu ? QString::number(std::floor(*nu + 1e-9), 'f', 0) : infinite);
    if (p.coverageFactor)
        rows << summary(QStringLiteral("Coverage factor k"), QString::number(*p.coverageFactor, 'f', 2));
    if (p.uncertainty && *p.uncertainty > 0)
        rows << summary(QStringLiteral("Expanded uncertainty U"),
                        withUnit(fixed(*p.uncertainty / unit.scale, placeOfU(*p.uncertainty, unit.scale)), unit.unit));
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
