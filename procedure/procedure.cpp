#include "procedure/procedure.h"

#include "amplitude/amplitude_panel.h"
#include "timing/frequency_panel.h"
#include "timing/period_panel.h"
#include "procedure/uut_keys.h"
#include "toml/toml_reader.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace tarn {

namespace {

struct Name {
    const char* text;
    int value;
};
constexpr Name kFunctions[] = {{"amplitude", 0}, {"frequency", 1}, {"period", 2}, {"fastrise", 3}};
constexpr Name kMethods[] = {{"deviation", 0}, {"reading", 1}, {"check", 2}, {"risetime", 3}};
constexpr Name kRules[] = {{"simple", 0}, {"guarded", 1}, {"non-binary", 2}};
constexpr const char* kTopKeys[] = {"title", "instrument", "revision", "decision", "guard", "min_tur", "test",
                                    "specification", "temperature", "humidity", "uut"};
constexpr const char* kTestKeys[] = {"name",    "instruction", "function",  "waveform",
                                     "divisions", "ohm50",     "method",    "tolerance",
                                     "points",  "min_bandwidth", "judgement", "resolution",
                                     "readings", "measure"};
constexpr int kMostReadings = 20;

template <size_t N>
QString nameOf(const Name (&names)[N], int value)
{
    for (const Name& n : names)
        if (n.value == value)
            return QString::fromLatin1(n.text);
    return {};
}

template <size_t N>
std::optional<int> valueOf(const Name (&names)[N], const QString& text)
{
    for (const Name& n : names)
        if (text == QLatin1String(n.text))
            return n.value;
    return std::nullopt;
}

template <size_t N>
QString listOf(const Name (&names)[N])
{
    QStringList out;
    for (const Name& n : names)
        out << QString::fromLatin1(n.text);
    return out.mid(0, out.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + out.last();
}

int editDistance(const QString& a, const QString& b)
{
    std::vector<int> row(static_cast<size_t>(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[static_cast<size_t>(j)];
            row[static_cast<size_t>(j)] = std::min({above + 1, row[static_cast<size_t>(j - 1)] + 1,
                                                    diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

// The known key closest to a misspelt one, within two edits; empty when none.
template <size_t N>
QString closestKey(const QString& key, const char* const (&known)[N])
{
    QString best;
    int bestDistance = 3;  // two edits at most
    for (const char* k : known) {
        const int d = editDistance(key.toLower(), QString::fromLatin1(k));
        if (d < bestDistance) {
            bestDistance = d;
            best = QString::fromLatin1(k);
        }
    }
    return best;
}

bool methodFits(TestFunction function, TestMethod method)
{
    const bool fastRise = function == TestFunction::FastRise;
    return method == TestMethod::Check || (method == TestMethod::Deviation && function == TestFunction::Amplitude)
           || (method == TestMethod::Reading && !fastRise) || (method == TestMethod::RiseTime && fastRise);
}


class Reader {
public:
    QList<ProcedureProblem> problems;

    void problem(int line, const QString& message) { problems.append({line, OneLine(message)}); }

    std::optional<Procedure> read(const toml::table& root)
    {
        Procedure p;
        checkKeys(root, kTopKeys);
        p.title = requiredText(root, "title", 1);
        p.instrument = optionalText(root, "instrument");
        p.revision = optionalText(root, "revision");
        p.dataSheet = optionalText(root, "specification");
        p.temperature = readRange(root, "temperature", QStringLiteral("°C"), -50, 100);
        p.humidity = readRange(root, "humidity", QStringLiteral("%"), 0, 100);
        if (const toml::node* decision = root.get("decision")) {
            const auto rule = valueOf(kRules, tomlText(*decision));
            if (!rule)
                problem(tomlLine(*decision), QStringLiteral("unknown decision rule `%1` (%2)")
                                               .arg(tomlText(*decision), listOf(kRules)));
            else
                p.rule = static_cast<DecisionRule>(*rule);
        }
        const toml::node* guard = root.get("guard");
        if (guard && tomlText(*guard).trimmed() == u"U") {
            // The point's expanded uncertainty is the guard band.
            p.guardText = QStringLiteral("U");
            p.guardIsUncertainty = true;
            p.guardLine = tomlLine(*guard);
        } else if (guard) {
            const QString text = tomlText(*guard);
            QString error;
            const auto side = parseToleranceSide(text, QString(), false, 0, &error);
            if (!side || side->form != ToleranceSide::Form::Percent || side->value >= 100)
                problem(tomlLine(*guard), QStringLiteral("unreadable guard `%1`: a percentage below 100 %, "
                                                       "e.g. \"10%\", or \"U\"").arg(text));
            else if (p.rule != DecisionRule::Simple) {
                p.guardText = text;
                p.guard = side->value / 100.0;
            }
        } else if (p.rule != DecisionRule::Simple) {
            problem(tomlLine(*root.get("decision")),
                    QStringLiteral("the decision rule `%1` needs a `guard`").arg(decisionRuleName(p.rule)));
        }

        if (const toml::node* minTur = root.get("min_tur")) {
            const auto value = minTur->is_number() ? minTur->value<double>() : std::nullopt;
            if (!value || !std::isfinite(*value) || *value <= 0)
                problem(tomlLine(*minTur), QStringLiteral("`min_tur` must be a number above 0, e.g. 4"));
            else
                p.minTur = *value;
        }

        p.uut = ReadUutTable(root, problems);

        const toml::node* tests = root.get("test");
        const toml::array* list = tests ? tests->as_array() : nullptr;
        if (!list || list->empty() || !list->is_array_of_tables())
            problem(tests ? tomlLine(*tests) : 1, QStringLiteral("no [[test]] tables"));
        else
            for (const toml::node& t : *list)
                if (auto test = readTest(*t.as_table())) {
                    if (test->name.trimmed().isEmpty())
                        test->name = QStringLiteral("Test %1").arg(p.tests.size() + 1);
                    p.tests.append(*test);
                }
        for (const ProcedureTest& test : std::as_const(p.tests))
            if (test.measure && !p.uut)
                problem(test.measureLine,
                        QStringLiteral("`measure` takes the results from the unit under test, which needs a [uut] "
                                       "table with its driver and resource"));
        if (!problems.isEmpty())
            return std::nullopt;
        return p;
    }

private:
    // An optional range of the conditions, e.g. `temperature = [18, 28]`:
    // two numbers, the lower first, within what can be meant.
    std::optional<ConditionRange> readRange(const toml::table& root, const char* key, const QString& unit,
                                            double lowest, double highest)
    {
        const toml::node* node = root.get(key);
        if (!node)
            return std::nullopt;
        const toml::array* pair = node->as_array();
        std::optional<double> low, high;
        if (pair && pair->size() == 2) {
            low = (*pair)[0].value<double>();
            high = (*pair)[1].value<double>();
        }
        if (!low || !high || *low >= *high || *low < lowest || *high > highest) {
            problem(tomlLine(*node), QStringLiteral("`%1` is two numbers in %2, the lower first, between %3 and %4, "
                                                  "e.g. %1 = [%5, %6]")
                                       .arg(QLatin1String(key), unit)
                                       .arg(lowest)
                                       .arg(highest)
                                       .arg(key == std::string_view("temperature") ? 18 : 20)
                                       .arg(key == std::string_view("temperature") ? 28 : 70));
            return std::nullopt;
        }
        return ConditionRange{*low, *high};
    }

    // Every key of the table must be a known one. A misspelt key is named
    // with the key it is close to, and that key is then not also reported
    // missing.
    template <size_t N>
    void checkKeys(const toml::table& table, const char* const (&known)[N])
    {
        misspelt_.clear();
        for (const auto& [key, node] : table) {
            const QString k = QString::fromUtf8(key.str().data(), static_cast<qsizetype>(key.str().size()));
            if (std::any_of(std::begin(known), std::end(known), [&](const char* n) { return k == QLatin1String(n); }))
                continue;
            QString message = QStringLiteral("unknown key `%1`").arg(k);
            if (const QString close = closestKey(k, known); !close.isEmpty()) {
                message += QStringLiteral("; did you mean `%1`?").arg(close);
                misspelt_ << close;
            }
            problem(static_cast<int>(key.source().begin.line), message);
        }
    }

    void missing(int line, const char* key, const QString& note = {})
    {
        if (!misspelt_.contains(QLatin1String(key)))
            problem(line, QStringLiteral("missing `%1`").arg(QLatin1String(key)) + note);
    }

    QStringList misspelt_;

    QString requiredText(const toml::table& t, const char* key, int line)
    {
        const toml::node* node = t.get(key);
        if (!node) {
            missing(line, key);
            return {};
        }
        if (!node->is_string() || tomlText(*node).trimmed().isEmpty())
            problem(tomlLine(*node), QStringLiteral("`%1` must be a text").arg(QLatin1String(key)));
        return tomlText(*node);
    }

    QString optionalText(const toml::table& t, const char* key)
    {
        const toml::node* node = t.get(key);
        if (node && !node->is_string())
            problem(tomlLine(*node), QStringLiteral("`%1` must be a text").arg(QLatin1String(key)));
        return node ? tomlText(*node) : QString();
    }

    std::optional<ProcedureTest> readTest(const toml::table& t)
    {
        const qsizetype before = problems.size();
        ProcedureTest test;
        test.line = tomlLine(t);
        checkKeys(t, kTestKeys);
        test.name = optionalText(t, "name");
        test.instruction = optionalText(t, "instruction");

        const QString function = requiredText(t, "function", test.line);
        const QString method = requiredText(t, "method", test.line);
        const auto f = valueOf(kFunctions, function);
        const auto m = valueOf(kMethods, method);
        if (!function.isEmpty() && !f)
            problem(tomlLine(*t.get("function")),
                    QStringLiteral("unknown function `%1` (%2)").arg(function, listOf(kFunctions)));
        if (!method.isEmpty() && !m)
            problem(tomlLine(*t.get("method")),
                    QStringLiteral("unknown method `%1` (%2)").arg(method, listOf(kMethods)));
        if (!f || !m)
            return std::nullopt;
        test.function = static_cast<TestFunction>(*f);
        test.method = static_cast<TestMethod>(*m);
        const bool fastRise = test.function == TestFunction::FastRise;
        if (!methodFits(test.function, test.method)) {
            QStringList fitting;
            for (const Name& n : kMethods)
                if (methodFits(test.function, static_cast<TestMethod>(n.value)))
                    fitting << QStringLiteral("`%1`").arg(QLatin1String(n.text));
            problem(tomlLine(*t.get("method")),
                    QStringLiteral("method `%1` does not fit function `%2`; %2 takes %3")
                        .arg(method, function, fitting.join(QStringLiteral(" or "))));
            return std::nullopt;
        }

        const bool amplitude = test.function == TestFunction::Amplitude;
        for (const char* key : {"waveform", "divisions", "ohm50"})
            if (!amplitude && t.get(key))
                problem(tomlLine(*t.get(key)),
                        QStringLiteral("`%1` is for amplitude tests only").arg(QLatin1String(key)));
        if (amplitude)
            readAmplitude(t, test);

        if (!fastRise && t.get("min_bandwidth"))
            problem(tomlLine(*t.get("min_bandwidth")), QStringLiteral("`min_bandwidth` is for fastrise tests only"));
        if (fastRise) {
            if (t.get("points"))
                problem(tomlLine(*t.get("points")), QStringLiteral("a fastrise test has one point and no `points`"));
            const toml::node* bandwidth = t.get("min_bandwidth");
            const auto value = bandwidth ? bandwidth->value<double>() : std::nullopt;
            if (test.method == TestMethod::RiseTime && !bandwidth)
                missing(test.line, "min_bandwidth", QStringLiteral(" (MHz)"));
            else if (bandwidth && (!value || !(*value > 0)))
                problem(tomlLine(*bandwidth), QStringLiteral("`min_bandwidth` must be a number of MHz above 0"));
            test.minBandwidth = value.value_or(0.0);
            test.points = {test.minBandwidth};
            test.pointLines = {bandwidth ? tomlLine(*bandwidth) : test.line};
        } else {
            readPoints(t, test);
        }

        const bool toleranced = test.method == TestMethod::Deviation || test.method == TestMethod::Reading;
        if (const toml::node* tolerance = t.get("tolerance"); tolerance && !toleranced)
            problem(tomlLine(*tolerance), QStringLiteral("method `%1` takes no `tolerance`").arg(method));
        else if (toleranced && !tolerance)
            missing(test.line, "tolerance");
        else if (toleranced)
            readTolerance(*tolerance, test);
        readUncertaintyKeys(t, test);
        ReadMeasureKey(t, test, problems);
        if (problems.size() != before)
            return std::nullopt;
        return test;
    }

    // What the point's uncertainty budget needs of the test.
    void readUncertaintyKeys(const toml::table& t, ProcedureTest& test)
    {
        const bool deviation = test.method == TestMethod::Deviation;
        const bool reading = test.method == TestMethod::Reading;
        const bool riseTime = test.method == TestMethod::RiseTime;
        if (const toml::node* judgement = t.get("judgement")) {
            std::optional<double> value = judgement->is_number() ? judgement->value<double>() : std::nullopt;
            if (judgement->is_string()) {
                QString error;
                const auto side = parseToleranceSide(tomlText(*judgement), QString(), true, 0, &error);
                if (side && side->form == ToleranceSide::Form::Divisions)
                    value = side->value;
            }
            if (!deviation)
                problem(tomlLine(*judgement), QStringLiteral("`judgement` is for deviation tests only"));
            else if (!value || !std::isfinite(*value) || *value <= 0 || *value > 1)
                problem(tomlLine(*judgement),
                        QStringLiteral("`judgement` must be a number of divisions above 0 and at most 1, e.g. 0.02"));
            else
                test.judgement = *value;
        }
        if (const toml::node* resolution = t.get("resolution")) {
            const QString unit = riseTime ? QStringLiteral("s") : nominalUnit(test.function);
            const auto value = parseQuantity(tomlText(*resolution), unit);
            if (!reading && !riseTime)
                problem(tomlLine(*resolution), QStringLiteral("`resolution` is for reading and risetime tests only"));
            else if (!value || !(*value > 0))
                problem(tomlLine(*resolution),
                        QStringLiteral("`resolution` must be a value in %1 with an SI prefix, e.g. \"%2\"")
                            .arg(unit, riseTime ? QStringLiteral("0.1 ns")
                                       : unit == u"V" ? QStringLiteral("0.1 mV")
                                       : unit == u"Hz" ? QStringLiteral("1 Hz") : QStringLiteral("1 ns")));
            else
                test.resolution = riseTime ? *value * 1e9 : *value;
        }
        if (const toml::node* readings = t.get("readings")) {
            const auto value = readings->value_exact<int64_t>();
            if (!reading)
                problem(tomlLine(*readings), QStringLiteral("`readings` is for reading tests only"));
            else if (!value || *value < 2 || *value > kMostReadings)
                problem(tomlLine(*readings),
                        QStringLiteral("`readings` must be a whole number from 2 to %1").arg(kMostReadings));
            else
                test.readings = static_cast<int>(*value);
        }
    }

    void readAmplitude(const toml::table& t, ProcedureTest& test)
    {
        const QString wave = requiredText(t, "waveform", test.line);
        if (wave == u"dc" || wave == u"square")
            test.dc = wave == u"dc";
        else if (!wave.isEmpty())
            problem(tomlLine(*t.get("waveform")), QStringLiteral("unknown waveform `%1` (dc or square)").arg(wave));
        const toml::node* divisions = t.get("divisions");
        if (!divisions)
            missing(test.line, "divisions");
        else if (const auto d = divisions->value_exact<int64_t>();
                 !d || !AmplitudePanel::OffersDivisions(0.0, static_cast<int>(*d)))
            problem(tomlLine(*divisions), QStringLiteral("divisions must be 1, 2, 4, 6 or 8"));
        else
            test.divisions = static_cast<int>(*d);
        if (const toml::node* ohm50 = t.get("ohm50")) {
            if (!ohm50->is_boolean())
                problem(tomlLine(*ohm50), QStringLiteral("`ohm50` must be true or false"));
            else
                test.ohm50 = ohm50->as_boolean()->get();
        }
    }

    void readPoints(const toml::table& t, ProcedureTest& test)
    {
        const toml::node* node = t.get("points");
        if (!node) {
            missing(test.line, "points");
            return;
        }
        const toml::array* points = node->as_array();
        if (!points || points->empty()) {
            problem(tomlLine(*node), QStringLiteral("`points` must be a list of at least one number"));
            return;
        }
        for (const toml::node& point : *points) {
            const int line = tomlLine(point) > 0 ? tomlLine(point) : tomlLine(*node);
            test.pointLines.append(line);
            const auto value = point.value<double>();
            if (!value || !std::isfinite(*value) || *value <= 0) {
                problem(line, QStringLiteral("every point must be a number above 0"));
                continue;
            }
            QString issue;
            switch (test.function) {
            case TestFunction::Amplitude:
                // Without valid divisions the point's own rules still apply.
                issue = amplitudeProblem(*value, test.divisions, test.ohm50);
                break;
            case TestFunction::Frequency: issue = frequencyProblem(*value); break;
            case TestFunction::Period: issue = periodProblem(*value); break;
            case TestFunction::FastRise: break;
            }
            if (!issue.isEmpty())
                problem(line, issue);
            test.points.append(*value);
        }
    }

    void readTolerance(const toml::node& node, ProcedureTest& test)
    {
        const QString unit = nominalUnit(test.function);
        const bool divisions = test.function == TestFunction::Amplitude;
        QString error;
        std::optional<ToleranceSide> lower;
        std::optional<ToleranceSide> upper;
        if (const toml::array* sides = node.as_array()) {
            if (sides->size() == 2 && sides->is_homogeneous(toml::node_type::string)) {
                lower = parseToleranceSide(tomlText(*sides->get(0)), unit, divisions, -1, &error);
                if (lower)
                    upper = parseToleranceSide(tomlText(*sides->get(1)), unit, divisions, +1, &error);
            } else {
                error = QStringLiteral("unequal sides are two texts, e.g. [\"-1%\", \"+2%\"]");
            }
        } else {
            lower = upper = parseToleranceSide(tomlText(node), unit, divisions, 0, &error);
            if (!node.is_string())
                error = QStringLiteral("a tolerance is a text, e.g. \"2%\"");
        }
        if (!error.isEmpty() || !lower || !upper) {
            problem(tomlLine(node), QStringLiteral("unreadable tolerance: ") + error);
            return;
        }
        if (lower->value <= 0 && upper->value <= 0) {
            problem(tomlLine(node), QStringLiteral("unreadable tolerance: it is zero on both sides"));
            return;
        }
        // A tolerance as large as the point itself passes a dead channel:
        // a slip of the prefix ("1 MV" for "1 mV") or of the form.
        for (int i = 0; i < test.points.size(); ++i) {
            const double nominal = std::fabs(test.nominal(i));
            const double widest = std::max(lower->absolute(nominal, test.points[i]),
                                           upper->absolute(nominal, test.points[i]));
            if (nominal > 0 && widest >= nominal) {
                const QString what = node.is_string() ? QStringLiteral("tolerance `%1`").arg(tomlText(node))
                                                      : QStringLiteral("the tolerance");
                problem(tomlLine(node), QStringLiteral("%1 is as large as point %2's nominal value or larger; "
                                                     "check its prefix or unit")
                                          .arg(what)
                                          .arg(i + 1));
                return;
            }
        }
        test.tolerance = {*lower, *upper};
    }
};

} // namespace

QString functionName(TestFunction function) { return nameOf(kFunctions, static_cast<int>(function)); }
QString decisionRuleName(DecisionRule rule) { return nameOf(kRules, static_cast<int>(rule)); }

QString nominalUnit(TestFunction function)
{
    switch (function) {
    case TestFunction::Amplitude: return QStringLiteral("V");
    case TestFunction::Frequency: return QStringLiteral("Hz");
    case TestFunction::Period: return QStringLiteral("s");
    case TestFunction::FastRise: break;
    }
    return QStringLiteral("MHz");
}

double ToleranceSide::absolute(double nominal, double voltsPerDivision) const
{
    switch (form) {
    case Form::Percent: return std::fabs(nominal) * value / 100.0;
    case Form::Ppm: return std::fabs(nominal) * value / 1e6;
    case Form::Absolute: return value;
    case Form::Divisions: return value * voltsPerDivision;
    }
    return 0.0;
}

std::optional<ToleranceSide> parseToleranceSide(const QString& text, const QString& unit,
                                                bool divisionsAllowed, int sign, QString* error)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^([+-]?)\\s*((?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?)\\s*(%|ppm|div|[pnu\u00b5mkMG]?[A-Za-z]+)$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch()) {
        *error = QStringLiteral("`%1` is not a percentage, ppm, divisions or a value with its unit").arg(text);
        return std::nullopt;
    }
    const QString written = m.captured(1);
    if ((sign == 0 && !written.isEmpty()) || (sign < 0 && written == u"+") || (sign > 0 && written == u"-")) {
        *error = sign == 0 ? QStringLiteral("`%1` has a sign; unequal sides are written [\"-1%\", \"+2%\"]").arg(text)
                           : QStringLiteral("`%1` has the other side's sign").arg(text);
        return std::nullopt;
    }
    ToleranceSide side;
    side.value = m.captured(2).toDouble();
    const QString suffix = m.captured(3);
    if (suffix == u"%") {
        side.form = ToleranceSide::Form::Percent;
    } else if (suffix == u"ppm") {
        side.form = ToleranceSide::Form::Ppm;
    } else if (suffix == u"div") {
        if (!divisionsAllowed) {
            *error = QStringLiteral("`%1`: divisions are for amplitude tests only").arg(text);
            return std::nullopt;
        }
        side.form = ToleranceSide::Form::Divisions;
    } else {
        const double scale = suffix.endsWith(unit) && !unit.isEmpty()
                                 ? siPrefixScale(suffix.left(suffix.size() - unit.size()))
                                 : 0.0;
        if (scale == 0.0) {
            *error = unit.isEmpty() ? QStringLiteral("`%1` is not a percentage").arg(text)
                                    : QStringLiteral("`%1`: the unit here is %2, with an SI prefix").arg(text, unit);
            return std::nullopt;
        }
        side.form = ToleranceSide::Form::Absolute;
        side.value *= scale;
    }
    if (!std::isfinite(side.value)) {
        *error = QStringLiteral("`%1` is too large").arg(text);
        return std::nullopt;
    }
    return side;
}

double ProcedureTest::nominal(int point) const
{
    const double value = points.value(point);
    return function == TestFunction::Amplitude ? value * divisions : value;
}

int Procedure::pointCount() const
{
    int count = 0;
    for (const ProcedureTest& t : tests)
        count += static_cast<int>(t.points.size());
    return count;
}

ProcedureReading ReadProcedure(const QByteArray& text)
{
    ProcedureReading out;
    const TomlReading toml = ReadToml(text);
    if (toml.problem) {
        out.problems.append({toml.problem->line, toml.problem->message});
        return out;
    }
    Reader reader;
    out.procedure = reader.read(*toml.table);
    out.problems = reader.problems;
    std::stable_sort(out.problems.begin(), out.problems.end(),
                     [](const ProcedureProblem& a, const ProcedureProblem& b) { return a.line < b.line; });
    return out;
}

QString amplitudeProblem(double voltsPerDivision, int divisions, bool ohm50)
{
    const QString vpd = resultsNumber(voltsPerDivision);
    if (!AmplitudePanel::IsRange(voltsPerDivision))
        return QStringLiteral("%1 V/div is not a range of the amplitude panel (1 mV/div to 50 V/div "
                              "in steps of 1, 2, 5)").arg(vpd);
    if (divisions > 0 && !AmplitudePanel::OffersDivisions(voltsPerDivision, divisions))
        return QStringLiteral("%1 V/div offers 1, 2 or 4 divisions only, not %2").arg(vpd).arg(divisions);
    if (ohm50 && !AmplitudePanel::FiftyOhmAvailable(voltsPerDivision))
        return QStringLiteral("50 Ohm is only available up to 200 mV/div, not at %1 V/div").arg(vpd);
    return {};
}

QString frequencyProblem(double hertz) { return FrequencyPanel::SettingProblem(hertz); }
QString periodProblem(double seconds) { return PeriodPanel::SettingProblem(seconds); }

PointLimits limitsOf(const ProcedureTest& test, int point)
{
    const double nominal = test.nominal(point);
    const double vpd = test.points.value(point);
    return {test.tolerance.lower.absolute(nominal, vpd), test.tolerance.upper.absolute(nominal, vpd)};
}

Verdict decide(double error, const PointLimits& limits, double nominal, DecisionRule rule, double guard,
               std::optional<double> uncertainty, bool guardIsUncertainty)
{
    const double allowance = 1e-9 * std::fabs(nominal);
    // U reaching the tolerance on either side leaves no acceptance zone.
    if (uncertainty && (*uncertainty >= limits.lower - allowance || *uncertainty >= limits.upper - allowance))
        return Verdict::NoDecision;
    const double wLower = guardIsUncertainty ? uncertainty.value_or(0.0) : guard * limits.lower;
    const double wUpper = guardIsUncertainty ? uncertainty.value_or(0.0) : guard * limits.upper;
    // Within the limits moved by `side` guard bands: -1 narrows, +1 widens.
    const auto within = [&](int side) {
        return error >= -(limits.lower + side * wLower) - allowance && error <= limits.upper + side * wUpper + allowance;
    };
    switch (rule) {
    case DecisionRule::Simple: return within(0) ? Verdict::Pass : Verdict::Fail;
    case DecisionRule::Guarded: return within(-1) ? Verdict::Pass : Verdict::Fail;
    case DecisionRule::NonBinary:
        if (within(-1))
            return Verdict::Pass;
        if (within(0))
            return Verdict::ConditionalPass;
        if (within(1))
            return Verdict::ConditionalFail;
        return Verdict::Fail;
    }
    return Verdict::Fail;
}

Verdict decideAtLeast(double value, double minimum, DecisionRule rule, std::optional<double> uncertainty,
                      bool guardIsUncertainty)
{
    const double allowance = 1e-9 * std::fabs(minimum);
    const double w = guardIsUncertainty ? uncertainty.value_or(0.0) : 0.0;
    const auto atLeast = [&](double limit) { return value >= limit - allowance; };
    switch (rule) {
    case DecisionRule::Simple: return atLeast(minimum) ? Verdict::Pass : Verdict::Fail;
    case DecisionRule::Guarded: return atLeast(minimum + w) ? Verdict::Pass : Verdict::Fail;
    case DecisionRule::NonBinary:
        if (atLeast(minimum + w))
            return Verdict::Pass;
        if (atLeast(minimum))
            return Verdict::ConditionalPass;
        if (atLeast(minimum - w))
            return Verdict::ConditionalFail;
        return Verdict::Fail;
    }
    return Verdict::Fail;
}

QString pointLabel(const ProcedureTest& test, int point)
{
    const NumberFormat format = NumberFormat::invariant();
    const double value = test.points.value(point);
    switch (test.function) {
    case TestFunction::Amplitude:
        return shownValue(value, QStringLiteral("V"), format)
               + QStringLiteral("/div x %1 div").arg(test.divisions)
               + (test.ohm50 ? QStringLiteral(", 50 Ohm") : QString());
    case TestFunction::Frequency: return shownValue(value, QStringLiteral("Hz"), format);
    case TestFunction::Period: return shownValue(value, QStringLiteral("s"), format);
    case TestFunction::FastRise: break;
    }
    return QStringLiteral("at least ") + shownValue(test.minBandwidth, QStringLiteral("MHz"), format);
}

CalibratorFunction calibratorFunctionOf(TestFunction function)
{
    switch (function) {
    case TestFunction::Amplitude: return CalibratorFunction::Amplitude;
    case TestFunction::Frequency: return CalibratorFunction::Frequency;
    case TestFunction::Period: return CalibratorFunction::Period;
    case TestFunction::FastRise: break;
    }
    return CalibratorFunction::FastRise;
}

std::optional<Budget> pointBudget(const ProcedureTest& test, int point, const CalibratorSpec& spec,
                                  std::optional<double> typed, const QList<double>& readings,
                                  std::optional<double> riseTime, QString* error)
{
    if (test.method == TestMethod::Check)
        return std::nullopt;
    const CalibratorFunction function = calibratorFunctionOf(test.function);
    const CalibratorSpecEntry* entry = spec.entryFor(function, test.ohm50, test.dc);
    if (!entry) {
        if (error) {
            QString kind = calibratorFunctionName(function);
            if (test.function == TestFunction::Amplitude)
                kind += (test.ohm50 ? QStringLiteral(" into 50 Ohm, ") : QStringLiteral(" into 1 MOhm, "))
                        + (test.dc ? QStringLiteral("dc") : QStringLiteral("square"));
            *error = QStringLiteral("the calibrator file has no [[spec]] entry for %1").arg(kind);
        }
        return std::nullopt;
    }
    BudgetInput in;
    in.function = function;
    in.method = test.method == TestMethod::Deviation ? BudgetMethod::Deviation
                : test.method == TestMethod::RiseTime ? BudgetMethod::RiseTime
                                                      : BudgetMethod::Reading;
    in.nominal = test.nominal(point);
    in.voltsPerDivision = test.function == TestFunction::Amplitude ? test.points.value(point) : 0.0;
    in.divisions = test.divisions;
    in.dc = test.dc;
    in.ohm50 = test.ohm50;
    in.judgement = test.judgement;
    in.resolution = test.resolution ? test.resolution : typed;
    in.readings = readings;
    in.riseTime = riseTime;
    if (test.method != TestMethod::RiseTime) {
        const PointLimits limits = limitsOf(test, point);
        in.toleranceLower = limits.lower;
        in.toleranceUpper = limits.upper;
    }
    return computeBudget(in, *entry, error);
}

double errorOf(double indicated, double actual)
{
    const double larger = std::max(std::fabs(indicated), std::fabs(actual));
    if (larger == 0 || !std::isfinite(larger))
        return indicated - actual;
    const double quantum = std::pow(10.0, std::floor(std::log10(larger)) - 11);
    return std::round((indicated - actual) / quantum) * quantum;
}

std::optional<double> toleranceUsed(double error, const PointLimits& limits)
{
    const double side = error < 0 ? limits.lower : limits.upper;
    if (error == 0)
        return 0.0;
    if (side <= 0)
        return std::nullopt;
    return std::fabs(error) / side * 100.0;
}

ShownUnit shownUnitOf(double value, const QString& unit)
{
    static const std::pair<int, const char*> kPrefixes[] = {
        {-12, "p"}, {-9, "n"}, {-6, "\u00b5"}, {-3, "m"}, {0, ""}, {3, "k"}, {6, "M"}, {9, "G"},
    };
    if (unit == u"MHz")
        return {1.0, unit};
    const double magnitude = std::fabs(value);
    int exponent = magnitude > 0 ? static_cast<int>(std::floor(std::log10(magnitude) / 3)) * 3 : 0;
    exponent = std::clamp(exponent, -12, 9);
    for (const auto& [e, prefix] : kPrefixes)
        if (e == exponent)
            return {std::pow(10.0, e), QString::fromUtf8(prefix) + unit};
    return {1.0, unit};
}

namespace {

// Up to 7 significant digits in the operator's format.
QString shownNumber(double value, const NumberFormat& format)
{
    QString number = QString::number(value, 'g', 7);
    if (number.contains(u'e'))
        number = resultsNumber(value);
    return number.replace(u'.', format.decimalSeparator).replace(u'-', format.negativeSign);
}

} // namespace

QString shownValue(double value, const QString& unit, const NumberFormat& format)
{
    const ShownUnit shown = shownUnitOf(value, unit);
    return shownNumber(value / shown.scale, format) + u' ' + shown.text;
}

namespace {

QString unitName(const QString& unit)
{
    return unit == u"V" ? QStringLiteral("volts") : unit == u"Hz" ? QStringLiteral("hertz") : QStringLiteral("seconds");
}

// The scale of a prefix as an operator types it, in either case; empty
// with the reason in why where the case would change its meaning and
// nothing tells which was meant.
std::optional<double> typedPrefix(const QString& written, const QString& prefix, bool caseKept,
                                  const ShownUnit& shown, const QString& unit, QString* why)
{
    if (prefix.isEmpty())
        return 1.0;
    if (prefix.size() != 1)
        return std::nullopt;
    const QChar c = prefix.front();
    const QString u = unitName(unit);
    if (c == u'p')
        return 1e-12;
    if (c == u'P') {
        *why = QStringLiteral("\"%1\" would be peta%2; write p%3 for pico%2.").arg(written, u, unit);
        return std::nullopt;
    }
    if (c == u'n' || c == u'N')
        return 1e-9;
    if (c == u'u' || c == u'U' || c == u'\u00b5' || c == u'\u03bc')
        return 1e-6;
    if (c == u'k' || c == u'K')
        return 1e3;
    if (c == u'g' || c == u'G')
        return 1e9;
    if (c != u'm' && c != u'M')
        return std::nullopt;
    // Milli and mega: only a frequency is read in megahertz. Where the
    // unit's own case was not kept, the prefix's case is no evidence
    // either, and the unit beside the box decides.
    const bool mega = unit == u"Hz";
    if (c == u'm' && (caseKept || !mega))
        return 1e-3;
    if (c == u'M' && caseKept && mega)
        return 1e6;
    if (mega && !caseKept && (shown.text == u"mHz" || shown.text == u"MHz"))
        return shown.scale;
    if (!mega)
        *why = QStringLiteral("\"%1\" would be mega%2; write m%3 for milli%2.").arg(written, u, unit);
    else
        *why = QStringLiteral("\"%1\" could be millihertz or megahertz; write mHz or MHz.").arg(written);
    return std::nullopt;
}

} // namespace

std::optional<double> parseReading(const QString& text, const ShownUnit& shown, const QString& unit,
                                   const NumberFormat& format, QString* why)
{
    QString reason;
    if (!why)
        why = &reason;
    why->clear();
    static const QRegularExpression split(QStringLiteral("^(.*?)\\s*([A-Za-z\u00b5\u03bc]+)?$"));
    const QRegularExpressionMatch m = split.match(text.trimmed());
    if (!m.hasMatch() || m.captured(1).isEmpty())
        return std::nullopt;
    const std::optional<double> number = parseNumber(m.captured(1), format);
    if (!number || !std::isfinite(*number))
        return std::nullopt;
    const QString written = m.captured(2);
    if (written.isEmpty())
        return *number * shown.scale;
    if (!written.endsWith(unit, Qt::CaseInsensitive))
        return std::nullopt;
    const qsizetype prefixLength = written.size() - unit.size();
    const auto scale = typedPrefix(written, written.left(prefixLength), written.mid(prefixLength) == unit, shown,
                                   unit, why);
    if (!scale)
        return std::nullopt;
    return *number * *scale;
}

std::optional<QString> implausibleReading(double typedValue, double nominal, const PointLimits& limits,
                                          const QString& unitShown, bool bareNumber,
                                          const QString& previousUnitShown, const NumberFormat& format)
{
    const double error = errorOf(typedValue, nominal);
    double tolerance = error < 0 ? limits.lower : limits.upper;
    if (tolerance <= 0)  // a side without tolerance: the other side's measure
        tolerance = std::max(limits.lower, limits.upper);
    if (!(std::fabs(error) > 10 * tolerance))
        return std::nullopt;
    // The scale of the unit beside the box: its prefix, if it has one.
    double scale = 1.0;
    for (const QString& unit : {QStringLiteral("V"), QStringLiteral("Hz"), QStringLiteral("s")})
        if (unitShown.size() == unit.size() + 1 && unitShown.endsWith(unit))
            scale = siPrefixScale(unitShown.left(1));
    if (scale == 0.0)
        scale = 1.0;
    const auto inBox = [&](double value) { return shownNumber(value / scale, format) + u' ' + unitShown; };
    QString question = QStringLiteral("Record %1 for a nominal of %2?").arg(inBox(typedValue), inBox(nominal));
    if (bareNumber && !previousUnitShown.isEmpty() && previousUnitShown != unitShown)
        question += QStringLiteral("\r\rThe unit beside the box is now %1; it was %2 for the previous point.")
                        .arg(unitShown, previousUnitShown);
    return question;
}

} // namespace tarn

namespace tarn {

std::optional<double> typedResolution(const QString& text, const ShownUnit& shown, const QString& unit,
                                      const NumberFormat& format)
{
    if (!parseReading(text, shown, unit, format))
        return std::nullopt;
    // Split as parseReading splits; the unit's scale is what it makes of 1 in it.
    static const QRegularExpression split(QStringLiteral("^(.*?)\\s*([A-Za-z\u00b5\u03bc]+)?$"));
    const QRegularExpressionMatch m = split.match(text.trimmed());
    const auto scale = parseReading(QStringLiteral("1 ") + m.captured(2), shown, unit, format);
    return lastDigitPlace(m.captured(1), format.decimalSeparator) * scale.value_or(shown.scale);
}

} // namespace tarn
