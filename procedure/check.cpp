#include "procedure/check.h"

#include "procedure/procedure.h"
#include "procedure/uut_keys.h"

#include <QFile>

#include <cmath>

namespace tarn {

namespace {

// A figure of a budget in its unit with a prefix, to four significant
// digits: "170 µV", "1.732 µV", "288.7 Hz".
QString figure(double value, const QString& unit)
{
    if (value == 0.0)
        return QStringLiteral("0 ") + unit;
    const ShownUnit shown = shownUnitOf(value, unit);
    return QString::number(value / shown.scale, 'g', 4) + u' ' + shown.text;
}

void printBudget(QTextStream& out, const QString& file, const ProcedureTest& test, int point, int number,
                 const Budget& b)
{
    const QString unit = nominalUnit(test.function);
    const bool riseTime = test.method == TestMethod::RiseTime;
    out << file << ": point " << number << " (" << pointLabel(test, point) << "), " << test.name << Qt::endl;
    const auto row = [&](const QString& name, const QString& value, const QString& distribution,
                         const QString& divisor, const QString& sensitivity, const QString& u, const QString& nu) {
        out << "  " << name.leftJustified(28) << u' ' << value.rightJustified(12) << "  "
            << distribution.leftJustified(12) << u' ' << divisor.rightJustified(7) << u' '
            << sensitivity.rightJustified(11) << u' ' << u.rightJustified(12) << u' ' << nu.rightJustified(5)
            << Qt::endl;
    };
    row(QStringLiteral("component"), QStringLiteral("value"), QStringLiteral("distribution"), QStringLiteral("divisor"),
        QStringLiteral("sensitivity"), QStringLiteral("u_i"), QStringLiteral("nu_i"));
    for (const BudgetComponent& c : b.components)
        // A rise time's components are lengths of time in ns.
        row(c.name, riseTime ? figure(c.value * 1e-9, QStringLiteral("s")) : figure(c.value, unit),
            c.distribution, QString::number(c.divisor, 'g', 4), QString::number(c.sensitivity, 'g', 4),
            figure(c.standardUncertainty, unit),
            c.degreesOfFreedom ? QString::number(*c.degreesOfFreedom) : QStringLiteral("inf"));
    out << "  u_c " << figure(b.combined, unit) << ", nu_eff "
        << (b.effectiveDof ? QString::number(*b.effectiveDof, 'f', 1) : QStringLiteral("inf")) << ", k "
        << QString::number(b.coverageFactor, 'f', 2) << ", U " << figure(b.expanded, unit) << ", TUR "
        << (b.tur ? QString::number(*b.tur, 'f', 1) : QStringLiteral("none (one-sided limit)")) << Qt::endl;
}

} // namespace

int RunProcedureCheck(const QString& file, QTextStream& out, const ProcedureCheckOptions& options)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        out << file << ": cannot be read: " << in.errorString() << Qt::endl;
        return 1;
    }
    const ProcedureReading reading = ReadProcedure(in.readAll());
    for (const ProcedureProblem& p : reading.problems)
        out << file << u':' << p.line << ": " << p.message << Qt::endl;
    if (!reading.procedure)
        return 1;
    const Procedure& procedure = *reading.procedure;
    if (const QList<ProcedureProblem> uut = CheckProcedureUut(procedure, file, options.driversFolder); !uut.isEmpty()) {
        for (const ProcedureProblem& p : uut)
            out << file << u':' << p.line << ": " << p.message << Qt::endl;
        return 1;
    }

    std::optional<CalibratorSpec> spec;
    if (!options.calibratorFile.isEmpty()) {
        const CalibratorSpecFile loaded = LoadCalibratorSpec(options.calibratorFile);
        for (const QString& line : loaded.problems)
            out << line << Qt::endl;
        if (!loaded.spec)
            return 1;
        spec = loaded.spec;
    } else if (procedure.guardIsUncertainty) {
        out << file << u':' << procedure.guardLine
            << ": guard \"U\" needs a calibrator file, and there is none" << Qt::endl;
        return 1;
    }

    bool failed = false;
    if (spec) {
        struct Worked {
            const ProcedureTest* test;
            int point;
            int number;
            Budget budget;
        };
        QList<Worked> budgets;
        int number = 0;
        for (const ProcedureTest& t : procedure.tests)
            for (int i = 0; i < t.points.size(); ++i) {
                ++number;
                if (t.method == TestMethod::Check)
                    continue;
                const int line = t.pointLines.value(i, t.line);
                QString error;
                const auto budget = pointBudget(t, i, *spec, std::nullopt, {}, std::nullopt, &error);
                if (!budget) {
                    out << file << u':' << line << ": point " << number << " (" << pointLabel(t, i) << "): "
                        << error << " (" << options.calibratorFile << ')' << Qt::endl;
                    failed = true;
                    continue;
                }
                if (budget->tur && *budget->tur < procedure.minTur)
                    out << file << u':' << line << ": warning: point " << number << " (" << pointLabel(t, i)
                        << "): TUR " << QString::number(*budget->tur, 'f', 1) << " is below "
                        << resultsNumber(procedure.minTur) << Qt::endl;
                budgets.append({&t, i, number, *budget});
            }
        if (options.budget)
            for (const Worked& w : budgets)
                printBudget(out, file, *w.test, w.point, w.number, w.budget);
    } else if (options.budget) {
        out << file << ": no calibrator file, so no budgets" << Qt::endl;
    }
    if (failed)
        return 1;
    out << file << ": " << procedure.tests.size() << " tests, " << procedure.pointCount() << " points" << Qt::endl;
    return 0;
}

} // namespace tarn
