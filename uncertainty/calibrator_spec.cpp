#include "uncertainty/calibrator_spec.h"

#include "channel/number_format.h"
#include "toml/toml_reader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>


#include <algorithm>
#include <cmath>
#include <string_view>

namespace tarn {

namespace {

constexpr const char* kTopKeys[] = {"calibrator", "spec"};
constexpr const char* kCalibratorKeys[] = {"model", "serial", "certificate", "calibrated", "due"};
constexpr const char* kSpecKeys[] = {"function", "load",      "waveform", "percent",
                                     "floor",    "ppm",       "rise_time", "coverage"};
constexpr const char* kFunctions[] = {"amplitude", "frequency", "period", "fastrise"};

class Reader {
public:
    QList<CalibratorProblem> problems;

    std::optional<CalibratorSpec> read(const toml::table& root)
    {
        CalibratorSpec spec;
        checkKeys(root, kTopKeys);
        const toml::node* calibrator = root.get("calibrator");
        if (!calibrator || !calibrator->is_table())
            problem(calibrator ? tomlLine(*calibrator) : 1, QStringLiteral("no [calibrator] table"));
        else
            readCalibrator(*calibrator->as_table(), spec);

        const toml::node* entries = root.get("spec");
        const toml::array* list = entries ? entries->as_array() : nullptr;
        if (!list || list->empty() || !list->is_array_of_tables())
            problem(entries ? tomlLine(*entries) : 1, QStringLiteral("no [[spec]] entries"));
        else
            for (const toml::node& e : *list)
                if (auto entry = readEntry(*e.as_table()))
                    spec.entries.append(*entry);
        if (!problems.isEmpty())
            return std::nullopt;
        return spec;
    }

private:
    void problem(int line, const QString& message) { problems.append({line, OneLine(message)}); }

    template <size_t N>
    void checkKeys(const toml::table& table, const char* const (&known)[N])
    {
        for (const auto& [key, node] : table) {
            const QString k = tomlKey(key);
            if (std::none_of(std::begin(known), std::end(known), [&](const char* n) { return k == QLatin1String(n); }))
                problem(static_cast<int>(key.source().begin.line), QStringLiteral("unknown key `%1`").arg(k));
        }
    }

    QString text(const toml::table& t, const char* key, int tableLine, bool required)
    {
        const toml::node* node = t.get(key);
        if (!node) {
            if (required)
                problem(tableLine, QStringLiteral("missing `%1`").arg(QLatin1String(key)));
            return {};
        }
        const auto* s = node->as_string();
        if (!s || QString::fromStdString(s->get()).trimmed().isEmpty()) {
            problem(tomlLine(*node), QStringLiteral("`%1` must be a text").arg(QLatin1String(key)));
            return {};
        }
        return QString::fromStdString(s->get()).trimmed();
    }

    QDate date(const toml::table& t, const char* key, int tableLine, bool required)
    {
        const toml::node* node = t.get(key);
        if (!node) {
            if (required)
                problem(tableLine, QStringLiteral("missing `%1`").arg(QLatin1String(key)));
            return {};
        }
        const auto* d = node->as_date();
        const QDate value = d ? QDate(d->get().year, d->get().month, d->get().day) : QDate();
        if (!value.isValid())
            problem(tomlLine(*node),
                    QStringLiteral("`%1` must be a date without quotes, e.g. 2027-03-02").arg(QLatin1String(key)));
        return value;
    }

    void readCalibrator(const toml::table& t, CalibratorSpec& spec)
    {
        const int line = tomlLine(t);
        checkKeys(t, kCalibratorKeys);
        spec.model = text(t, "model", line, true);
        spec.serial = text(t, "serial", line, true);
        spec.certificate = text(t, "certificate", line, true);
        spec.calibrated = date(t, "calibrated", line, false);
        spec.due = date(t, "due", line, true);
        if (spec.calibrated.isValid() && spec.due.isValid() && spec.due < spec.calibrated)
            problem(tomlLine(*t.get("due")), QStringLiteral("`due` is before `calibrated`"));
    }

    // A number not below zero (above zero when positive), or a problem.
    std::optional<double> number(const toml::node& node, const char* key, const char* what, bool positive)
    {
        const auto value = node.is_number() ? node.value<double>() : std::nullopt;
        if (!value || !std::isfinite(*value) || *value < 0 || (positive && *value == 0)) {
            problem(tomlLine(node), QStringLiteral("`%1` must be %2").arg(QLatin1String(key), QLatin1String(what)));
            return std::nullopt;
        }
        return value;
    }

    // The figure when it lies below the limit, else 0 with the problem named.
    double atMost(const toml::node& node, const char* key, double limit, std::optional<double> value,
                  const char* limitText)
    {
        if (value && *value >= limit) {
            problem(tomlLine(node), QStringLiteral("`%1` must be below %2")
                                      .arg(QLatin1String(key), QLatin1String(limitText)));
            return 0.0;
        }
        return value.value_or(0.0);
    }

    std::optional<double> quantity(const toml::node& node, const char* key, const char* unit, const char* example)
    {
        const auto* s = node.as_string();
        const auto value = s ? parseQuantity(QString::fromStdString(s->get()), QLatin1String(unit)) : std::nullopt;
        if (!value || *value < 0) {
            problem(tomlLine(node), QStringLiteral("`%1` must be a value in %2 with an SI prefix, e.g. \"%3\"")
                                      .arg(QLatin1String(key), QLatin1String(unit), QLatin1String(example)));
            return std::nullopt;
        }
        return value;
    }

    std::optional<CalibratorSpecEntry> readEntry(const toml::table& t)
    {
        const qsizetype before = problems.size();
        CalibratorSpecEntry e;
        e.line = tomlLine(t);
        checkKeys(t, kSpecKeys);
        const QString function = text(t, "function", e.line, true);
        const auto* known = std::find_if(std::begin(kFunctions), std::end(kFunctions),
                                         [&](const char* f) { return function == QLatin1String(f); });
        if (known == std::end(kFunctions)) {
            if (!function.isEmpty())
                problem(tomlLine(*t.get("function")),
                        QStringLiteral("unknown function `%1` (amplitude, frequency, period or fastrise)").arg(function));
            return std::nullopt;
        }
        e.function = static_cast<CalibratorFunction>(known - std::begin(kFunctions));
        const bool amplitude = e.function == CalibratorFunction::Amplitude;
        const bool timing = e.function == CalibratorFunction::Frequency || e.function == CalibratorFunction::Period;
        const bool fastRise = e.function == CalibratorFunction::FastRise;

        const auto belongs = [&](const char* key, bool fits, const char* owners) {
            const toml::node* node = t.get(key);
            if (node && !fits)
                problem(tomlLine(*node), QStringLiteral("`%1` is for %2 entries only").arg(QLatin1String(key),
                                                                                       QLatin1String(owners)));
            return fits ? node : nullptr;
        };
        if (const toml::node* load = belongs("load", amplitude, "amplitude")) {
            const QString value = QString::fromStdString(load->value_or(std::string()));
            if (value == u"50" || value == u"1M")
                e.ohm50 = value == u"50";
            else if (value != u"any")
                problem(tomlLine(*load), QStringLiteral("`load` must be \"1M\", \"50\" or \"any\""));
        }
        if (const toml::node* waveform = belongs("waveform", amplitude, "amplitude")) {
            const QString value = QString::fromStdString(waveform->value_or(std::string()));
            if (value == u"dc" || value == u"square")
                e.dc = value == u"dc";
            else if (value != u"any")
                problem(tomlLine(*waveform), QStringLiteral("`waveform` must be \"dc\", \"square\" or \"any\""));
        }
        const toml::node* percent = belongs("percent", amplitude, "amplitude");
        const toml::node* floor = belongs("floor", amplitude, "amplitude");
        // Figures beyond these are slips (a floor of "20 V" for "20 uV"), and
        // would carry the budget past what a double holds.
        if (percent)
            e.percent = atMost(*percent, "percent", 100, number(*percent, "percent", "a number not below 0", false), "100");
        if (floor)
            e.floor = atMost(*floor, "floor", 1000, quantity(*floor, "floor", "V", "20 uV"), "1000 V");
        if (amplitude && !percent && !floor)
            problem(e.line, QStringLiteral("an amplitude entry needs `percent`, `floor` or both"));

        const toml::node* ppm = belongs("ppm", timing, "frequency and period");
        if (ppm)
            e.ppm = atMost(*ppm, "ppm", 1e6, number(*ppm, "ppm", "a number not below 0", false), "1000000");
        else if (timing)
            problem(e.line, QStringLiteral("missing `ppm`"));

        const toml::node* riseTime = belongs("rise_time", fastRise, "fastrise");
        if (riseTime) {
            const auto value = quantity(*riseTime, "rise_time", "s", "0.3 ns");
            if (value && *value == 0)
                problem(tomlLine(*riseTime), QStringLiteral("`rise_time` must be above 0"));
            e.riseTime = atMost(*riseTime, "rise_time", 1e-6, value, "1 us") * 1e9;
        } else if (fastRise) {
            problem(e.line, QStringLiteral("missing `rise_time`"));
        }

        if (const toml::node* coverage = t.get("coverage")) {
            if (coverage->is_string() && coverage->value_or(std::string()) == "rectangular")
                e.coverage = std::nullopt;
            else if (coverage->is_number()) {
                e.coverage = number(*coverage, "coverage", "a coverage factor above 0 or \"rectangular\"", true);
                if (e.coverage && (*e.coverage < 1 || *e.coverage > 10))
                    problem(tomlLine(*coverage), QStringLiteral("`coverage` must be a coverage factor from 1 to 10 "
                                                              "(2 for k = 2) or \"rectangular\""));
            } else
                problem(tomlLine(*coverage), QStringLiteral("`coverage` must be a coverage factor above 0 (2 for "
                                                          "k = 2) or \"rectangular\""));
        } else {
            problem(e.line, QStringLiteral("missing `coverage` (a coverage factor, e.g. 2, or \"rectangular\")"));
        }
        if (problems.size() != before)
            return std::nullopt;
        return e;
    }
};

} // namespace

QString calibratorFunctionName(CalibratorFunction function)
{
    return QString::fromLatin1(kFunctions[static_cast<int>(function)]);
}

bool CalibratorSpecEntry::fits(CalibratorFunction pointFunction, bool pointOhm50, bool pointDc) const
{
    const auto timing = [](CalibratorFunction f) {
        return f == CalibratorFunction::Frequency || f == CalibratorFunction::Period;
    };
    if (timing(function) && timing(pointFunction))
        return true;
    if (function != pointFunction)
        return false;
    if (function != CalibratorFunction::Amplitude)
        return true;
    return (!ohm50 || *ohm50 == pointOhm50) && (!dc || *dc == pointDc);
}

const CalibratorSpecEntry* CalibratorSpec::entryFor(CalibratorFunction function, bool ohm50, bool dc) const
{
    for (const CalibratorSpecEntry& e : entries)
        if (e.fits(function, ohm50, dc))
            return &e;
    return nullptr;
}

CalibratorSpecReading ReadCalibratorSpec(const QByteArray& text)
{
    CalibratorSpecReading out;
    const TomlReading parsed = ReadToml(text);
    if (!parsed.table) {
        out.problems.append({parsed.problem ? parsed.problem->line : 1,
                             parsed.problem ? parsed.problem->message : QStringLiteral("unreadable")});
        return out;
    }
    Reader reader;
    out.spec = reader.read(*parsed.table);
    out.problems = reader.problems;
    std::stable_sort(out.problems.begin(), out.problems.end(),
                     [](const CalibratorProblem& a, const CalibratorProblem& b) { return a.line < b.line; });
    if (out.spec) {
        out.spec->text = text;
        out.spec->sha256 = QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
    }
    return out;
}

CalibratorSpecFile LoadCalibratorSpec(const QString& file)
{
    CalibratorSpecFile out;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        out.problems << file + QStringLiteral(": cannot be read: ") + in.errorString();
        return out;
    }
    const CalibratorSpecReading reading = ReadCalibratorSpec(in.readAll());
    for (const CalibratorProblem& p : reading.problems)
        out.problems << QStringLiteral("%1:%2: %3").arg(file).arg(p.line).arg(p.message);
    out.spec = reading.spec;
    return out;
}

std::optional<double> parseQuantity(const QString& text, const QString& unit)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^([+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?)\\s*([pnu\u00b5mkMG]?)([A-Za-z]+)$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch() || m.captured(3) != unit)
        return std::nullopt;
    const double scale = siPrefixScale(m.captured(2));
    const double value = m.captured(1).toDouble() * scale;
    if (scale == 0.0 || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString calibratorSpecPath(ProfileStore& profile, const QString& settingsFile, const QString& applicationFolder)
{
    const QString named =
        profile.readString(QStringLiteral("Procedures"), QStringLiteral("Calibrator"), QString(), 1024, settingsFile)
            .trimmed();
    if (!named.isEmpty())
        return QDir::isRelativePath(named) ? QDir(QFileInfo(settingsFile).absolutePath()).filePath(named) : named;
    const QString shipped = QDir(applicationFolder).filePath(QLatin1String(kDefaultCalibratorFile));
    return QFileInfo::exists(shipped) ? shipped : QString();
}

int RunCalibratorCheck(const QString& file, QTextStream& out)
{
    const CalibratorSpecFile loaded = LoadCalibratorSpec(file);
    for (const QString& line : loaded.problems)
        out << line << Qt::endl;
    if (!loaded.spec)
        return 1;
    out << file << ": " << loaded.spec->model << u' ' << loaded.spec->serial << ", "
        << loaded.spec->entries.size() << (loaded.spec->entries.size() == 1 ? " entry" : " entries") << ", due "
        << loaded.spec->due.toString(Qt::ISODate) << Qt::endl;
    return 0;
}

} // namespace tarn
