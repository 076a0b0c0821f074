#include "uut/driver.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QRegularExpression>

#include "toml/toml_reader.h"

#include <cmath>

namespace tarn {

namespace {

const char* const kKindNames[kMeasureKindCount] = {"amplitude", "peak_to_peak", "mean",
                                                   "frequency", "period",       "rise_time"};

QString stringOf(const toml::node& node)
{
    const std::string& s = node.as_string()->get();
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

class Reader {
public:
    QList<DriverProblem> problems;

    void problem(int line, const QString& message) { problems.append({line, message}); }

    UutDriver read(const toml::table& root, const QString& name)
    {
        UutDriver d;
        d.name = name;
        static const QStringList known = {QStringLiteral("description"), QStringLiteral("identify"),
                                          QStringLiteral("setup"),       QStringLiteral("number"),
                                          QStringLiteral("no_measurement"), QStringLiteral("timeout_ms"),
                                          QStringLiteral("settle_ms"),   QStringLiteral("measure")};
        for (auto&& [key, node] : root) {
            if (!known.contains(tomlKey(key)))
                problem(tomlLine(node), QStringLiteral("unknown key \"%1\"; a driver has %2")
                                          .arg(tomlKey(key), known.join(QStringLiteral(", "))));
        }
        d.description = text(root, "description", false);
        d.identify = text(root, "identify", true);
        if (!d.identify.isEmpty())
            checkPattern(d.identify, *root.get("identify"), "identify", false);
        d.setup = commands(root, "setup");
        if (const toml::node* number = root.get("number")) {
            d.number = text(root, "number", false);
            if (!d.number.isEmpty())
                checkPattern(d.number, *number, "number", true);
        }
        if (const toml::node* none = root.get("no_measurement")) {
            const toml::array* list = none->as_array();
            if (!list)
                problem(tomlLine(*none), QStringLiteral("no_measurement must be a list of replies, e.g. [\"9.9E37\", \"****\"]"));
            else
                for (const toml::node& item : *list) {
                    if (item.is_string() && !stringOf(item).trimmed().isEmpty())
                        d.noMeasurement << stringOf(item).trimmed();
                    else if (item.is_number())
                        d.noMeasurement << QString::number(item.value_or(0.0), 'g', 17);
                    else
                        problem(tomlLine(item), QStringLiteral("each no_measurement entry is a reply text or a number"));
                }
        }
        d.timeoutMs = milliseconds(root, "timeout_ms", d.timeoutMs, 1);
        d.settleMs = milliseconds(root, "settle_ms", d.settleMs, 0);

        const toml::node* measure = root.get("measure");
        const toml::table* table = measure ? measure->as_table() : nullptr;
        if (!table || table->empty()) {
            problem(measure ? tomlLine(*measure) : 1,
                    QStringLiteral("a driver needs at least one [measure.KIND] table (KIND one of %1)").arg(kindList()));
            return d;
        }
        for (auto&& [key, node] : *table) {
            const auto kind = MeasureKindFromName(tomlKey(key));
            if (!kind) {
                problem(tomlLine(node), QStringLiteral("\"%1\" is no measurement; they are %2").arg(tomlKey(key), kindList()));
                continue;
            }
            const toml::table* m = node.as_table();
            if (!m) {
                problem(tomlLine(node), QStringLiteral("measure.%1 must be a table with select and query").arg(tomlKey(key)));
                continue;
            }
            for (auto&& [mkey, mnode] : *m) {
                if (tomlKey(mkey) != QLatin1String("select") && tomlKey(mkey) != QLatin1String("query"))
                    problem(tomlLine(mnode), QStringLiteral("unknown key \"%1\" in measure.%2; it has select and query")
                                               .arg(tomlKey(mkey), tomlKey(key)));
            }
            DriverMeasurement out;
            out.select = commands(*m, "select");
            out.query = text(*m, "query", true, tomlLine(node), true);
            if (!out.query.isEmpty() && !out.query.contains(u'?'))
                problem(tomlLine(*m->get("query")),
                        QStringLiteral("query \"%1\" asks nothing: a query has a \"?\"").arg(out.query));
            d.measurements[static_cast<std::size_t>(*kind)] = out;
        }
        return d;
    }

private:
    static QString kindList()
    {
        QStringList names;
        for (const char* n : kKindNames)
            names << QString::fromLatin1(n);
        return names.join(QStringLiteral(", "));
    }

    // `command`: a text sent to the unit, where only {ch} may stand in braces.
    QString text(const toml::table& t, const char* key, bool required, int line = 1, bool command = false)
    {
        const toml::node* node = t.get(key);
        if (!node) {
            if (required)
                problem(line, QStringLiteral("%1 is missing").arg(QLatin1String(key)));
            return {};
        }
        if (!node->is_string() || stringOf(*node).trimmed().isEmpty()) {
            problem(tomlLine(*node), QStringLiteral("%1 must be a text that is not empty").arg(QLatin1String(key)));
            return {};
        }
        const QString value = stringOf(*node);
        if (value.contains(u'\n') || value.contains(u'\r'))
            problem(tomlLine(*node), QStringLiteral("%1 must be one line").arg(QLatin1String(key)));
        if (command)
            checkPlaceholders(value, *node);
        return value;
    }

    // A list of commands, or one command as a text.
    QStringList commands(const toml::table& t, const char* key)
    {
        const toml::node* node = t.get(key);
        if (!node)
            return {};
        if (node->is_string())
            return {text(t, key, false, 1, true)};
        const toml::array* list = node->as_array();
        if (!list) {
            problem(tomlLine(*node), QStringLiteral("%1 must be a list of commands").arg(QLatin1String(key)));
            return {};
        }
        QStringList out;
        for (const toml::node& item : *list) {
            if (!item.is_string() || stringOf(item).trimmed().isEmpty()) {
                problem(tomlLine(item), QStringLiteral("each %1 command must be a text that is not empty").arg(QLatin1String(key)));
                continue;
            }
            const QString command = stringOf(item);
            if (command.contains(u'\n') || command.contains(u'\r'))
                problem(tomlLine(item), QStringLiteral("a command must be one line"));
            checkPlaceholders(command, item);
            out << command;
        }
        return out;
    }

    void checkPlaceholders(const QString& value, const toml::node& node)
    {
        static const QRegularExpression brace(QStringLiteral("\\{([^}]*)\\}"));
        for (auto it = brace.globalMatch(value); it.hasNext();) {
            const QString inside = it.next().captured(1);
            if (inside != QLatin1String("ch"))
                problem(tomlLine(node), QStringLiteral("\"{%1}\" is no placeholder; the channel is {ch}").arg(inside));
        }
    }

    void checkPattern(const QString& pattern, const toml::node& node, const char* key, bool needsGroup)
    {
        const QRegularExpression re(pattern);
        if (!re.isValid())
            problem(tomlLine(node), QStringLiteral("%1 is not a regular expression: %2")
                                      .arg(QLatin1String(key), re.errorString()));
        else if (needsGroup && re.captureCount() < 1)
            problem(tomlLine(node), QStringLiteral("%1 needs a group in parentheses around the number").arg(QLatin1String(key)));
    }

    int milliseconds(const toml::table& t, const char* key, int fallback, int least)
    {
        const toml::node* node = t.get(key);
        if (!node)
            return fallback;
        const auto value = node->as_integer();
        if (!value || value->get() < least || value->get() > 600000) {
            problem(tomlLine(*node), QStringLiteral("%1 must be a whole number of milliseconds from %2 to 600000")
                                       .arg(QLatin1String(key))
                                       .arg(least));
            return fallback;
        }
        return static_cast<int>(value->get());
    }
};

bool printable(const QByteArray& bytes)
{
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t')
            return false;
        if (u == 0x7f)
            return false;
    }
    return QString::fromUtf8(bytes).toUtf8() == bytes;  // no broken UTF-8
}

// SI prefixes a reply's unit may carry.
std::optional<double> prefixFactor(const QString& prefix)
{
    if (prefix.isEmpty())
        return 1.0;
    static const QHash<QString, double> factors = {
        {QStringLiteral("p"), 1e-12}, {QStringLiteral("n"), 1e-9}, {QStringLiteral("u"), 1e-6},
        {QStringLiteral("µ"), 1e-6},  {QStringLiteral("m"), 1e-3}, {QStringLiteral("k"), 1e3},
        {QStringLiteral("K"), 1e3},   {QStringLiteral("M"), 1e6},  {QStringLiteral("G"), 1e9}};
    const auto it = factors.find(prefix);
    if (it == factors.end())
        return std::nullopt;
    return *it;
}

} // namespace

QString MeasureKindName(MeasureKind kind)
{
    return QString::fromLatin1(kKindNames[static_cast<int>(kind)]);
}

std::optional<MeasureKind> MeasureKindFromName(const QString& name)
{
    for (int i = 0; i < kMeasureKindCount; ++i)
        if (name == QLatin1String(kKindNames[i]))
            return static_cast<MeasureKind>(i);
    return std::nullopt;
}

QString MeasureKindUnit(MeasureKind kind)
{
    switch (kind) {
    case MeasureKind::Amplitude:
    case MeasureKind::PeakToPeak:
    case MeasureKind::Mean: return QStringLiteral("V");
    case MeasureKind::Frequency: return QStringLiteral("Hz");
    case MeasureKind::Period:
    case MeasureKind::RiseTime: return QStringLiteral("s");
    }
    return {};
}

QString DefaultNumberPattern()
{
    return QStringLiteral("([^\\s,;:]+)\\s*$");
}

DriverReading ReadUutDriver(const QByteArray& text, const QString& name)
{
    DriverReading out;
    const TomlReading toml = ReadToml(text);
    if (!toml.table) {
        out.problems.append({toml.problem ? toml.problem->line : 1,
                             toml.problem ? toml.problem->message : QStringLiteral("cannot be read")});
        return out;
    }
    Reader reader;
    UutDriver driver = reader.read(*toml.table, name);
    out.problems = reader.problems;
    std::stable_sort(out.problems.begin(), out.problems.end(),
                     [](const DriverProblem& a, const DriverProblem& b) { return a.line < b.line; });
    if (out.problems.isEmpty())
        out.driver = driver;
    return out;
}

DriverReading ReadUutDriverFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        DriverReading out;
        out.problems.append({0, QStringLiteral("cannot be read: ") + file.errorString()});
        return out;
    }
    return ReadUutDriver(file.readAll(), QFileInfo(path).completeBaseName());
}

std::optional<QString> FindUutDriverFile(const QString& nameOrPath, const QString& driversFolder,
                                         const QString& baseFolder, QString* problem)
{
    const QString given = nameOrPath.trimmed();
    const bool isPath = given.contains(u'/') || given.endsWith(QLatin1String(".toml"), Qt::CaseInsensitive);
    QString path;
    if (isPath) {
        path = QDir::isAbsolutePath(given) ? given : QDir(baseFolder).filePath(given);
    } else {
        static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]*$"));
        if (!name.match(given).hasMatch()) {
            if (problem)
                *problem = QStringLiteral("\"%1\" is neither a driver's name nor a path to a driver file").arg(nameOrPath);
            return std::nullopt;
        }
        path = QDir(driversFolder).filePath(given + QStringLiteral(".toml"));
    }
    if (!QFileInfo(path).isFile()) {
        if (problem) {
            if (isPath) {
                *problem = QStringLiteral("there is no driver file %1").arg(path);
            } else {
                QStringList shipped = QDir(driversFolder).entryList({QStringLiteral("*.toml")}, QDir::Files, QDir::Name);
                for (QString& s : shipped)
                    s.chop(5);
                *problem = QStringLiteral("there is no driver \"%1\"; the drivers are %2")
                               .arg(given, shipped.isEmpty() ? QStringLiteral("(none found in %1)").arg(driversFolder)
                                                             : shipped.join(QStringLiteral(", ")));
            }
        }
        return std::nullopt;
    }
    return path;
}

QString WithChannel(const QString& command, int channel)
{
    QString out = command;
    return out.replace(QStringLiteral("{ch}"), QString::number(channel));
}

ParsedReply ParseUutReply(const UutDriver& driver, MeasureKind kind, const QByteArray& reply)
{
    ParsedReply out;
    auto unparsable = [&](const QString& why) {
        out.outcome = ParsedReply::Outcome::Unparsable;
        out.reason = why;
        return out;
    };
    const QByteArray bytes = reply.trimmed();  // line ends and spaces around it
    if (!printable(bytes))
        return unparsable(QStringLiteral("the reply is not text"));
    const QString text = QString::fromUtf8(bytes);
    if (text.isEmpty())
        return unparsable(QStringLiteral("the reply is empty"));
    const QRegularExpression pattern(driver.number.isEmpty() ? DefaultNumberPattern() : driver.number);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return unparsable(QStringLiteral("the driver's number pattern does not match the reply"));
    const QString field = match.captured(pattern.captureCount() >= 1 ? 1 : 0).trimmed();

    for (const QString& none : driver.noMeasurement) {
        if (field.compare(none, Qt::CaseInsensitive) == 0 || text.compare(none, Qt::CaseInsensitive) == 0) {
            out.outcome = ParsedReply::Outcome::NoMeasurement;
            return out;
        }
    }
    static const QRegularExpression numberAndUnit(
        QStringLiteral("^([-+]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][-+]?\\d+)?)\\s*(\\S*)$"));
    const QRegularExpressionMatch parts = numberAndUnit.match(field);
    if (!parts.hasMatch())
        return unparsable(QStringLiteral("\"%1\" is not a number").arg(field));
    bool ok = false;
    const double number = parts.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return unparsable(QStringLiteral("\"%1\" is not a number").arg(field));
    for (const QString& none : driver.noMeasurement) {
        bool isNumber = false;
        const double sentinel = none.toDouble(&isNumber);
        if (isNumber && std::fabs(number - sentinel) <= 1e-6 * std::fabs(sentinel)) {
            out.outcome = ParsedReply::Outcome::NoMeasurement;
            return out;
        }
    }
    if (std::fabs(number) >= 9.9e37) {
        out.outcome = ParsedReply::Outcome::NoMeasurement;
        return out;
    }
    double factor = 1.0;
    const QString unit = parts.captured(2);
    if (!unit.isEmpty()) {
        const QString base = MeasureKindUnit(kind);
        if (!unit.endsWith(base, Qt::CaseInsensitive))
            return unparsable(QStringLiteral("the unit \"%1\" is not %2 for a %3 reading")
                                  .arg(unit, base, MeasureKindName(kind)));
        const auto prefix = prefixFactor(unit.left(unit.size() - base.size()));
        if (!prefix)
            return unparsable(QStringLiteral("the unit \"%1\" has an unknown prefix").arg(unit));
        factor = *prefix;
    }
    out.outcome = ParsedReply::Outcome::Value;
    out.value = number * factor;
    return out;
}

int RunDriverCheck(const QString& file, QTextStream& out)
{
    const DriverReading reading = ReadUutDriverFile(file);
    for (const DriverProblem& p : reading.problems) {
        if (p.line > 0)
            out << file << u':' << p.line << ": " << p.message << Qt::endl;
        else
            out << file << ": " << p.message << Qt::endl;
    }
    if (!reading.driver)
        return 1;
    int count = 0;
    for (const auto& m : reading.driver->measurements)
        count += m ? 1 : 0;
    out << file << ": driver " << reading.driver->name << ", " << count
        << (count == 1 ? " measurement" : " measurements") << Qt::endl;
    return 0;
}

} // namespace tarn
