#include "procedure/uut_keys.h"

#include "toml/toml_reader.h"
#include "uut/resource.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace tarn {

namespace {

constexpr int kDefaultAutomaticReadings = 5;
constexpr int kMostChannels = 16;

} // namespace

QString measureProblem(const ProcedureTest& test, MeasureKind kind)
{
    QStringList fitting;
    switch (test.function) {
    case TestFunction::Amplitude:
        if (test.method == TestMethod::Reading)
            fitting = test.dc ? QStringList{QStringLiteral("mean")}
                              : QStringList{QStringLiteral("peak_to_peak"), QStringLiteral("amplitude")};
        break;
    case TestFunction::Frequency:
        if (test.method == TestMethod::Reading)
            fitting = {QStringLiteral("frequency")};
        break;
    case TestFunction::Period:
        if (test.method == TestMethod::Reading)
            fitting = {QStringLiteral("period")};
        break;
    case TestFunction::FastRise:
        if (test.method == TestMethod::RiseTime)
            fitting = {QStringLiteral("rise_time")};
        break;
    }
    if (fitting.isEmpty())
        return QStringLiteral("`measure` is for reading tests and the risetime method only");
    if (fitting.contains(MeasureKindName(kind)))
        return {};
    QStringList quoted;
    for (const QString& f : fitting)
        quoted << QStringLiteral("\"%1\"").arg(f);
    const QString what = test.function == TestFunction::Amplitude
                             ? (test.dc ? QStringLiteral("a DC level") : QStringLiteral("the square wave"))
                             : QStringLiteral("a %1 test").arg(functionName(test.function));
    return QStringLiteral("measure \"%1\" does not fit %2; it takes %3")
        .arg(MeasureKindName(kind), what, quoted.join(QStringLiteral(" or ")));
}

std::optional<ProcedureUut> ReadUutTable(const toml::table& root, QList<ProcedureProblem>& problems)
{
    const toml::node* node = root.get("uut");
    if (!node)
        return std::nullopt;
    const toml::table* table = node->as_table();
    if (!table) {
        problems.append({tomlLine(*node), QStringLiteral("`uut` must be a table: [uut] with driver, resource and channel")});
        return std::nullopt;
    }
    ProcedureUut uut;
    uut.line = tomlLine(*node);
    for (auto&& [key, value] : *table) {
        const std::string_view name = key.str();
        if (name != "driver" && name != "resource" && name != "channel")
            problems.append({tomlLine(value), QStringLiteral("unknown key `%1` in [uut]; it has driver, resource and channel")
                                                .arg(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())))});
    }
    if (const toml::node* driver = table->get("driver"); driver && driver->is_string()
                                                          && !tomlText(*driver).trimmed().isEmpty()) {
        uut.driver = tomlText(*driver).trimmed();
        uut.driverLine = tomlLine(*driver);
    } else {
        problems.append({driver ? tomlLine(*driver) : uut.line,
                         QStringLiteral("[uut] needs `driver`: a shipped driver's name, e.g. \"keysight-infiniivision\", "
                                        "or the path of a driver file")});
    }
    if (const toml::node* resource = table->get("resource")) {
        uut.resourceLine = tomlLine(*resource);
        QString why;
        if (!resource->is_string())
            problems.append({uut.resourceLine, QStringLiteral("`resource` must be a text, e.g. \"TCPIP::192.168.1.50::5025::SOCKET\"")});
        else if (!ParseUutResource(tomlText(*resource), &why))
            problems.append({uut.resourceLine, why});
        else
            uut.resource = tomlText(*resource).trimmed();
    }
    if (const toml::node* channel = table->get("channel")) {
        const auto value = channel->value_exact<int64_t>();
        if (!value || *value < 1 || *value > kMostChannels)
            problems.append({tomlLine(*channel), QStringLiteral("`channel` must be a whole number from 1 to %1").arg(kMostChannels)});
        else
            uut.channel = static_cast<int>(*value);
    }
    return uut;
}

void ReadMeasureKey(const toml::table& t, ProcedureTest& test, QList<ProcedureProblem>& problems)
{
    const toml::node* node = t.get("measure");
    if (!node)
        return;
    test.measureLine = tomlLine(*node);
    const auto kind = MeasureKindFromName(tomlText(*node).trimmed());
    if (!kind) {
        problems.append({test.measureLine,
                         QStringLiteral("unknown measure `%1` (amplitude, peak_to_peak, mean, frequency, period, "
                                        "rise_time)").arg(tomlText(*node))});
        return;
    }
    if (const QString problem = measureProblem(test, *kind); !problem.isEmpty()) {
        problems.append({test.measureLine, problem});
        return;
    }
    test.measure = kind;
    if (!t.get("readings"))
        test.readings = kDefaultAutomaticReadings;
}

QString ShippedDriversFolder()
{
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    return program + QStringLiteral("/drivers");
}

QList<ProcedureProblem> CheckProcedureUut(const Procedure& procedure, const QString& procedureFile,
                                          const QString& driversFolder)
{
    QList<ProcedureProblem> problems;
    if (!procedure.uut)
        return problems;
    const ProcedureUut& uut = *procedure.uut;
    QString why;
    const auto path = FindUutDriverFile(uut.driver, driversFolder.isEmpty() ? ShippedDriversFolder() : driversFolder,
                                        QFileInfo(procedureFile).absolutePath(), &why);
    if (!path) {
        problems.append({uut.driverLine, why});
        return problems;
    }
    const DriverReading driver = ReadUutDriverFile(*path);
    if (!driver.driver) {
        for (const DriverProblem& p : driver.problems)
            problems.append({uut.driverLine, QStringLiteral("the driver %1 has a problem on its line %2: %3")
                                                 .arg(*path).arg(p.line).arg(p.message)});
        return problems;
    }
    for (const ProcedureTest& test : procedure.tests)
        if (test.measure && !driver.driver->measurement(*test.measure))
            problems.append({test.measureLine, QStringLiteral("the driver %1 has no %2 measurement")
                                                   .arg(driver.driver->name, MeasureKindName(*test.measure))});
    return problems;
}

} // namespace tarn
