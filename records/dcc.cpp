#include "records/dcc.h"

#include "records/certificate.h"
#include "records/dcc_validation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>

namespace tarn {

namespace {

constexpr auto kDcc = "https://ptb.de/dcc";
constexpr auto kSi = "https://ptb.de/si";
constexpr auto kXsi = "http://www.w3.org/2001/XMLSchema-instance";
constexpr auto kTitle = "Digital Calibration Certificate";

// --- Numbers and units ------------------------------------------------------

// A value the document can carry: finite, written as the results file
// writes it ("." and no exponent), so that both read alike.
std::optional<double> finite(const std::optional<double>& v)
{
    return v && std::isfinite(*v) ? v : std::nullopt;
}

QString number(double v)
{
    return resultsNumber(v);
}

// A coverage factor as D-SI takes it: at least 1, no exponent.
std::optional<QString> coverageFactorText(const std::optional<double>& k)
{
    if (!finite(k) || *k < 1.0)
        return std::nullopt;
    return resultsNumber(k);
}

QString conformityOf(Verdict v)
{
    switch (v) {
    case Verdict::Pass: return QStringLiteral("pass");
    case Verdict::Fail: return QStringLiteral("fail");
    case Verdict::ConditionalPass: return QStringLiteral("conditionalPass");
    case Verdict::ConditionalFail: return QStringLiteral("conditionalFail");
    case Verdict::Skipped:
    case Verdict::NoDecision: break;
    }
    return {};
}

QString dateText(const QDateTime& t)
{
    return t.isValid() ? t.toOffsetFromUtc(t.offsetFromUtc()).date().toString(Qt::ISODate) : QString();
}

// --- Points in lists -------------------------------------------------------

// Which values a listed point has. A D-SI list has a value for every
// member, so points with different values go into lists of their own.
struct Shape {
    bool nominal = false;
    bool actual = false;
    bool error = false;
    bool uncertainty = false;
    bool lower = false;
    bool upper = false;
    bool tur = false;
    bool riseTime = false;
    auto operator<=>(const Shape&) const = default;
};

bool hasUncertainty(const PointResult& p)
{
    return finite(p.uncertainty) && *p.uncertainty >= 0 && coverageFactorText(p.coverageFactor);
}

Shape shapeOf(const PointResult& p)
{
    return {finite(p.nominal).has_value(), finite(p.actual).has_value(), finite(p.error).has_value(),
            hasUncertainty(p),             finite(p.lower).has_value(),  finite(p.upper).has_value(),
            finite(p.tur).has_value(),     finite(p.riseTime).has_value()};
}

// Why a point is not in the lists, or empty when it is.
QString leftOut(const PointResult& p)
{
    if (p.result == Verdict::Skipped)
        return QStringLiteral("skipped");
    if (p.result == Verdict::NoDecision)
        return QStringLiteral("no decision (its uncertainty reaches its tolerance)");
    if (!finite(p.indicated) || dsiUnit(p.unit).isEmpty())
        return QStringLiteral("a check without a value: %1").arg(verdictText(p.result));
    return {};
}

struct Test {
    QString name;
    QList<const PointResult*> points;
};

QList<Test> testsOf(const RunRecord& run)
{
    QList<Test> tests;
    for (const PointResult& p : run.points) {
        if (tests.isEmpty() || tests.back().name != p.test)
            tests.push_back({p.test, {}});
        tests.back().points.push_back(&p);
    }
    return tests;
}

// --- The writer ------------------------------------------------------------

// XML 1.0 cannot carry control characters other than tab and line ends
// (a device's reply may hold some): they are left out.
QString clean(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (const QChar c : s)
        if (c.unicode() >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r')
            out += c;
    return out;
}

class Writer {
public:
    explicit Writer(QByteArray* out) : x_(out) { x_.setAutoFormatting(true); x_.setAutoFormattingIndent(1); }

    QXmlStreamWriter& x() { return x_; }

    void open(const char* name) { x_.writeStartElement(QLatin1String(kDcc), QLatin1String(name)); }
    void openSi(const char* name) { x_.writeStartElement(QLatin1String(kSi), QLatin1String(name)); }
    void close() { x_.writeEndElement(); }
    void refType(const char* type) { x_.writeAttribute(QStringLiteral("refType"), QLatin1String(type)); }
    void element(const char* name, const QString& text)
    {
        x_.writeTextElement(QLatin1String(kDcc), QLatin1String(name), clean(text));
    }
    void siElement(const char* name, const QString& text) { x_.writeTextElement(QLatin1String(kSi), QLatin1String(name), text); }
    // A text in the document's language.
    void text(const char* name, const QString& content)
    {
        open(name);
        x_.writeStartElement(QLatin1String(kDcc), QStringLiteral("content"));
        x_.writeAttribute(QStringLiteral("lang"), QStringLiteral("en"));
        x_.writeCharacters(clean(content));
        x_.writeEndElement();
        close();
    }
    void identification(const char* issuer, const QString& value, const QString& name)
    {
        open("identification");
        element("issuer", QLatin1String(issuer));
        element("value", value);
        text("name", name);
        close();
    }
    void real(const QString& value, const QString& unit)
    {
        openSi("real");
        siElement("value", value);
        siElement("unit", unit);
        close();
    }

private:
    QXmlStreamWriter x_;
};

// A value the schema wants not empty and without surrounding blanks.
QString notEmpty(const QString& s, const QString& fallback = QStringLiteral("not recorded"))
{
    const QString t = clean(s).trimmed();
    return t.isEmpty() ? fallback : t;
}

class DccWriter {
public:
    DccWriter(const DccInput& in, QByteArray* out) : in_(in), w_(out) {}

    // False when the XML writer met something it cannot write.
    bool write()
    {
        QXmlStreamWriter& x = w_.x();
        x.writeStartDocument();
        x.writeNamespace(QLatin1String(kDcc), QStringLiteral("dcc"));
        x.writeNamespace(QLatin1String(kSi), QStringLiteral("si"));
        x.writeNamespace(QLatin1String(kXsi), QStringLiteral("xsi"));
        w_.open("digitalCalibrationCertificate");
        x.writeAttribute(QLatin1String(kXsi), QStringLiteral("schemaLocation"),
                         QStringLiteral("https://ptb.de/dcc https://ptb.de/dcc/v3.3.0/dcc.xsd"));
        x.writeAttribute(QStringLiteral("schemaVersion"), QStringLiteral("3.3.0"));
        administrativeData();
        measurementResults();
        document();
        w_.close();
        x.writeEndDocument();
        return !x.hasError();
    }

private:
    const RunInfo& info() const { return in_.runs.run.info; }
    QList<const RunRecord*> runs() const
    {
        QList<const RunRecord*> r;
        if (in_.runs.asFound)
            r << &*in_.runs.asFound;
        r << &in_.runs.run;
        return r;
    }
    bool anyUncertainty() const
    {
        for (const RunRecord* r : runs())
            for (const PointResult& p : r->points)
                if (hasUncertainty(p))
                    return true;
        return false;
    }
    QString country() const { return in_.laboratory.country.trimmed().toUpper(); }

    void administrativeData()
    {
        w_.open("administrativeData");
        w_.open("dccSoftware");
        w_.open("software");
        w_.text("name", QStringLiteral("TarnPilot"));
        w_.element("release", notEmpty(in_.softwareVersion, QStringLiteral("unknown")));
        w_.element("type", QStringLiteral("application"));
        w_.close();
        w_.close();
        coreData();
        items();
        laboratory();
        respPersons();
        customer();
        statements();
        w_.close();
    }

    void coreData()
    {
        const RunInfo& first = runs().front()->info;
        w_.open("coreData");
        w_.element("countryCodeISO3166_1", country());
        w_.element("usedLangCodeISO639_1", QStringLiteral("en"));
        w_.element("mandatoryLangCodeISO639_1", QStringLiteral("en"));
        w_.element("uniqueIdentifier", info().certificateNumber.trimmed());
        w_.open("identifications");
        for (const RunRecord* r : runs())
            if (!r->info.runId.trimmed().isEmpty())
                w_.identification("calibrationLaboratory", r->info.runId.trimmed(),
                                  in_.runs.asFound ? (r == &in_.runs.run ? QStringLiteral("Run as left")
                                                                         : QStringLiteral("Run as found"))
                                                   : QStringLiteral("Run"));
        w_.identification("calibrationLaboratory", info().certificateNumber.trimmed(),
                          QStringLiteral("Certificate number"));
        w_.close();
        const QDate received = first.dateReceived.isValid() ? first.dateReceived : info().dateReceived;
        if (received.isValid())
            w_.element("receiptDate", received.toString(Qt::ISODate));
        const QString end = dateText(info().end.isValid() ? info().end : info().start);
        w_.element("beginPerformanceDate", dateText(first.start));
        w_.element("endPerformanceDate", end);
        w_.element("performanceLocation", in_.laboratory.performanceLocation.trimmed());
        if (info().certificateIssued.isValid())
            w_.element("issueDate", dateText(info().certificateIssued));
        if (!info().replacesCertificate.trimmed().isEmpty()) {
            w_.open("reportAmendedSubstituted");
            w_.element("typeOfChange", QStringLiteral("amended"));
            w_.element("replacedUniqueIdentifier", info().replacesCertificate.trimmed());
            w_.close();
        }
        w_.close();
    }

    void items()
    {
        const RunInfo& i = info();
        w_.open("items");
        w_.open("item");
        w_.text("name", notEmpty(i.instrument, notEmpty(i.unitModel, QStringLiteral("Unit under test"))));
        if (!i.unitMaker.trimmed().isEmpty()) {
            w_.open("manufacturer");
            w_.text("name", i.unitMaker.trimmed());
            w_.close();
        }
        if (!i.unitModel.trimmed().isEmpty())
            w_.element("model", i.unitModel.trimmed());
        w_.open("identifications");
        w_.identification("manufacturer", notEmpty(i.unitSerial), QStringLiteral("Serial number"));
        if (!i.unitAsset.trimmed().isEmpty())
            w_.identification("customer", i.unitAsset.trimmed(), QStringLiteral("Asset number"));
        w_.close();
        w_.close();
        w_.close();
    }

    void location(const QString& address, const QString& countryCode)
    {
        w_.open("location");
        if (!countryCode.isEmpty())
            w_.element("countryCode", countryCode);
        if (!address.trimmed().isEmpty() || countryCode.isEmpty())
            w_.text("further", notEmpty(address, QStringLiteral("address not recorded")));
        w_.close();
    }

    void laboratory()
    {
        const LaboratoryInfo& lab = in_.laboratory;
        w_.open("calibrationLaboratory");
        if (!lab.accreditation.trimmed().isEmpty())
            w_.element("calibrationLaboratoryCode", lab.accreditation.trimmed());
        w_.open("contact");
        w_.text("name", notEmpty(lab.name, QStringLiteral("Calibration laboratory")));
        location(lab.address, country());
        w_.close();
        w_.close();
    }

    void respPersons()
    {
        w_.open("respPersons");
        QStringList operators;
        for (const RunRecord* r : runs())
            if (!operators.contains(notEmpty(r->info.operatorName)))
                operators << notEmpty(r->info.operatorName);
        for (const QString& name : operators) {
            w_.open("respPerson");
            w_.open("person");
            w_.text("name", name);
            w_.close();
            w_.element("role", QStringLiteral("Operator"));
            w_.close();
        }
        if (!info().approvedBy.trimmed().isEmpty()) {
            w_.open("respPerson");
            w_.open("person");
            w_.text("name", info().approvedBy.trimmed());
            w_.close();
            w_.element("role", QStringLiteral("Approver"));
            w_.element("mainSigner", QStringLiteral("true"));
            w_.close();
        }
        w_.close();
    }

    void customer()
    {
        w_.open("customer");
        w_.text("name", notEmpty(info().customer));
        location(info().customerAddress, QString());
        w_.close();
    }

    QString uncertaintyUse() const
    {
        if (!anyUncertainty())
            return QStringLiteral("No measurement uncertainty was evaluated (no calibrator file "
                                  "was in use): U is not stated, and the decisions rest on the errors and "
                                  "limits alone.");
        return QStringLiteral("The expanded uncertainty U (coverage factor k, coverage probability about "
                              "95 %) is stated with each point's error. The decision compares the error "
                              "with the limits under the rule above; a point whose U reaches its "
                              "tolerance is given no decision.");
    }

    void statements()
    {
        w_.open("statements");
        w_.open("statement");
        w_.text("name", QStringLiteral("Decision rule"));
        w_.element("norm", QStringLiteral("ILAC G8:09/2019"));
        w_.text("declaration", decisionRuleInWords(info()) + QLatin1Char(' ') + uncertaintyUse());
        w_.close();
        for (const RunRecord* r : runs()) {
            w_.open("statement");
            w_.refType("basic_conformity");
            w_.text("name", in_.runs.asFound ? QStringLiteral("Statement of conformity, %1").arg(runName(r))
                                             : QStringLiteral("Statement of conformity"));
            w_.text("declaration", conformityStatement(r->info));
            if (r->info.overall == Overall::Pass || r->info.overall == Overall::Fail)
                w_.element("conformity", r->info.overall == Overall::Pass ? QStringLiteral("pass")
                                                                          : QStringLiteral("fail"));
            w_.close();
        }
        w_.open("statement");
        w_.text("declaration", QStringLiteral("The results relate only to the item calibrated. This "
                                              "certificate shall not be reproduced except in full."));
        w_.close();
        w_.close();
    }

    QString runName(const RunRecord* r) const
    {
        if (!in_.runs.asFound)
            return {};
        return r == &in_.runs.run ? QStringLiteral("as left") : QStringLiteral("as found");
    }

    void measurementResults()
    {
        w_.open("measurementResults");
        for (const RunRecord* r : runs()) {
            const QList<Test> tests = testsOf(*r);
            for (const Test& t : tests)
                measurementResult(*r, t);
            if (tests.isEmpty())
                measurementResult(*r, Test{QStringLiteral("No points"), {}});
        }
        w_.close();
    }

    void measurementResult(const RunRecord& run, const Test& test)
    {
        const RunInfo& i = run.info;
        const QString which = runName(&run);
        w_.open("measurementResult");
        w_.text("name", which.isEmpty() ? notEmpty(test.name, QStringLiteral("Test"))
                                        : which + QStringLiteral(": ") + notEmpty(test.name, QStringLiteral("Test")));
        if (!which.isEmpty())
            w_.text("description", which == QLatin1String("as found")
                                       ? QStringLiteral("The unit as found, before adjustment.")
                                       : QStringLiteral("The unit as left, after adjustment: ")
                                             + notEmpty(i.adjustment));

        bool uncertain = false;
        for (const PointResult* p : test.points)
            uncertain = uncertain || hasUncertainty(*p);
        w_.open("usedMethods");
        w_.open("usedMethod");
        w_.text("name", notEmpty(i.procedureTitle, QStringLiteral("Procedure")));
        w_.text("description", QStringLiteral("Procedure revision %1; SHA-256 of the procedure file: %2.")
                                   .arg(notEmpty(i.procedureRevision), notEmpty(i.procedureSha256)));
        w_.close();
        if (uncertain) {
            w_.open("usedMethod");
            w_.refType("basic_uncertainty");
            w_.text("name", QStringLiteral("Expanded measurement uncertainty"));
            w_.text("description",
                    notEmpty(in_.laboratory.uncertaintyStatement,
                             QStringLiteral("The expanded uncertainty is the standard uncertainty multiplied "
                                            "by the coverage factor k, for a coverage probability of about "
                                            "95 %, evaluated according to the GUM.")));
            w_.element("norm", QStringLiteral("JCGM 100:2008 (GUM)"));
            w_.close();
        }
        w_.close();

        measuringEquipment(i);
        influenceConditions(i, which);

        w_.open("results");
        w_.open("result");
        w_.text("name", notEmpty(test.name, QStringLiteral("Test")));
        QStringList outside;
        std::map<Shape, QList<const PointResult*>> byShape;
        QList<Shape> order;
        for (const PointResult* p : test.points) {
            const QString why = leftOut(*p);
            if (!why.isEmpty()) {
                outside << QStringLiteral("point %1 (%2): %3").arg(p->point).arg(p->setting, why);
                continue;
            }
            const Shape s = shapeOf(*p);
            if (!byShape.count(s))
                order << s;
            byShape[s] << p;
        }
        if (!outside.isEmpty())
            w_.text("description", QStringLiteral("Not in the lists: ") + outside.join(QStringLiteral("; ")) + u'.');
        w_.open("data");
        for (const Shape& s : order)
            list(s, byShape[s]);
        if (order.isEmpty())
            w_.text("text", QStringLiteral("No point of this test has a value with a decision."));
        w_.close();
        w_.close();
        w_.close();
        w_.close();
    }

    void measuringEquipment(const RunInfo& i)
    {
        w_.open("measuringEquipments");
        w_.open("measuringEquipment");
        w_.refType("basic_normalUsed");
        w_.text("name", notEmpty(i.calibratorModel, notEmpty(i.calibrator, QStringLiteral("Calibrator"))));
        QStringList about;
        if (!i.calibrator.trimmed().isEmpty())
            about << QStringLiteral("Calibrator: %1.").arg(i.calibrator.trimmed());
        if (!i.calibratorCertificate.trimmed().isEmpty())
            about << QStringLiteral("Its own certificate: %1.").arg(i.calibratorCertificate.trimmed());
        if (i.calibratorDue.isValid())
            about << QStringLiteral("Calibration due: %1%2.")
                         .arg(i.calibratorDue.toString(Qt::ISODate),
                              i.calibratorPastDue ? QStringLiteral(" (past due when the run began)") : QString());
        if (!i.calibratorSpecSha256.trimmed().isEmpty())
            about << QStringLiteral("SHA-256 of its calibrator file: %1.").arg(i.calibratorSpecSha256.trimmed());
        if (!about.isEmpty())
            w_.text("description", about.join(u' '));
        if (!i.calibratorModel.trimmed().isEmpty())
            w_.element("model", i.calibratorModel.trimmed());
        if (!i.calibratorSerial.trimmed().isEmpty() || !i.calibratorCertificate.trimmed().isEmpty()) {
            w_.open("identifications");
            if (!i.calibratorSerial.trimmed().isEmpty())
                w_.identification("manufacturer", i.calibratorSerial.trimmed(), QStringLiteral("Serial number"));
            if (!i.calibratorCertificate.trimmed().isEmpty())
                w_.identification("other", i.calibratorCertificate.trimmed(), QStringLiteral("Calibration certificate"));
            w_.close();
        }
        w_.close();
        w_.close();
    }

    void condition(const char* refType, const QString& name, const QString& typed,
                   const std::optional<double>& value, const QString& unit, const QString& which)
    {
        w_.open("influenceCondition");
        w_.refType(refType);
        w_.text("name", name);
        if (!which.isEmpty())
            w_.element("status", which == QLatin1String("as found") ? QStringLiteral("beforeAdjustment")
                                                                    : QStringLiteral("afterAdjustment"));
        w_.open("data");
        if (finite(value)) {
            w_.open("quantity");
            w_.refType(refType);
            w_.real(number(*value), unit);
            w_.close();
        } else {
            w_.text("text", QStringLiteral("As recorded: ") + typed.trimmed());
        }
        w_.close();
        w_.close();
    }

    void influenceConditions(const RunInfo& i, const QString& which)
    {
        const bool temperature = finite(i.temperatureC) || !i.temperature.trimmed().isEmpty();
        const bool humidity = finite(i.humidityRH) || !i.humidity.trimmed().isEmpty();
        if (!temperature && !humidity)
            return;
        w_.open("influenceConditions");
        if (temperature)
            condition("basic_temperature", QStringLiteral("Ambient temperature"), i.temperature,
                      i.temperatureC, QStringLiteral("\\degreecelsius"), which);
        if (humidity)
            condition("basic_humidityRelative", QStringLiteral("Relative humidity"), i.humidity,
                      i.humidityRH, QStringLiteral("\\percent"), which);
        w_.close();
    }

    // One quantity of a list: its values and units, each point's own unit
    // unless all share one.
    void values(const QList<const PointResult*>& points, const std::function<double(const PointResult&)>& of,
                const QString& fixedUnit = QString())
    {
        QStringList v;
        QStringList u;
        for (const PointResult* p : points) {
            v << number(of(*p));
            u << (fixedUnit.isEmpty() ? dsiUnit(p->unit) : fixedUnit);
        }
        w_.siElement("valueXMLList", v.join(u' '));
        QStringList distinct = u;
        distinct.removeDuplicates();
        w_.siElement("unitXMLList", (distinct.size() == 1 ? distinct : u).join(u' '));
    }

    void expanded(const QList<const PointResult*>& points)
    {
        QStringList u;
        QStringList k;
        for (const PointResult* p : points) {
            u << number(*p->uncertainty);
            k << *coverageFactorText(p->coverageFactor);
        }
        w_.openSi("measurementUncertaintyUnivariateXMLList");
        w_.openSi("expandedMUXMLList");
        w_.siElement("valueExpandedMUXMLList", u.join(u' '));
        w_.siElement("coverageFactorXMLList", k.join(u' '));
        w_.siElement("coverageProbabilityXMLList", QStringLiteral("0.95"));
        w_.close();
        w_.close();
    }

    void quantity(const char* refType, const QString& name, const QList<const PointResult*>& points,
                  const std::function<double(const PointResult&)>& of, bool withUncertainty = false,
                  const QString& fixedUnit = QString())
    {
        w_.open("quantity");
        if (refType)
            w_.refType(refType);
        w_.text("name", name);
        w_.openSi("realListXMLList");
        values(points, of, fixedUnit);
        if (withUncertainty)
            expanded(points);
        w_.close();
    }

    // The acceptance limit on a side: the tolerance limit, moved in by the
    // guard band under a guarded or non-binary rule (the point's U for
    // guard "U", else the share of that side's tolerance).
    double acceptanceLimit(const PointResult& p, bool upper) const
    {
        const double limit = upper ? *p.upper : *p.lower;
        const RunInfo& i = info();
        if (i.decisionRule == QLatin1String("simple") || i.guard.isEmpty())
            return limit;
        double band = 0.0;
        if (i.guard.compare(QLatin1String("U"), Qt::CaseInsensitive) == 0)
            band = p.uncertainty.value_or(0.0);
        else if (i.guard.endsWith(u'%') && p.nominal)
            band = i.guard.chopped(1).trimmed().toDouble() / 100.0 * std::fabs(limit - *p.nominal);
        return upper ? limit - band : limit + band;
    }

    void list(const Shape& s, const QList<const PointResult*>& points)
    {
        w_.open("list");
        QStringList numbers;
        for (const PointResult* p : points)
            numbers << QString::number(p->point);
        w_.open("quantity");
        w_.text("name", QStringLiteral("Point"));
        w_.element("charsXMLList", numbers.join(u' '));
        w_.close();

        if (s.nominal) {
            quantity("basic_referenceValue", QStringLiteral("Nominal value"), points,
                     [](const PointResult& p) { return *p.nominal; });
            w_.close();
        }
        if (s.actual) {
            quantity(nullptr, QStringLiteral("Actual value (the calibrator's output)"), points,
                     [](const PointResult& p) { return *p.actual; });
            w_.close();
        }
        // The limits are those of the indicated value.
        quantity("basic_measuredValue", QStringLiteral("Indicated value"), points,
                 [](const PointResult& p) { return *p.indicated; }, s.uncertainty && !s.error);
        w_.open("measurementMetaData");
        w_.open("metaData");
        w_.refType("basic_conformity");
        w_.text("name", QStringLiteral("Conformity"));
        QStringList conformity;
        for (const PointResult* p : points)
            conformity << conformityOf(p->result);
        w_.element("conformityXMLList", conformity.join(u' '));
        if (s.lower || s.upper) {
            w_.open("data");
            if (s.lower) {
                quantity("basic_acceptanceLimitLower", QStringLiteral("Lower acceptance limit"), points,
                         [this](const PointResult& p) { return acceptanceLimit(p, false); });
                w_.close();
            }
            if (s.upper) {
                quantity("basic_acceptanceLimitUpper", QStringLiteral("Upper acceptance limit"), points,
                         [this](const PointResult& p) { return acceptanceLimit(p, true); });
                w_.close();
            }
            w_.close();
        }
        w_.close();
        w_.close();
        w_.close();

        if (s.error) {
            quantity("basic_measurementError", QStringLiteral("Error (indicated - actual)"), points,
                     [](const PointResult& p) { return *p.error; }, s.uncertainty);
            w_.close();
        }
        if (s.tur) {
            quantity(nullptr, QStringLiteral("Test uncertainty ratio (TUR)"), points,
                     [](const PointResult& p) { return *p.tur; }, false, QStringLiteral("\\one"));
            w_.close();
        }
        if (s.riseTime) {
            quantity(nullptr, QStringLiteral("Rise time measured"), points,
                     [](const PointResult& p) { return *p.riseTime; }, false,
                     QStringLiteral("\\nano\\second"));
            w_.close();
        }
        w_.close();
    }

    void document()
    {
        w_.open("document");
        w_.text("name", QStringLiteral("Calibration certificate %1").arg(info().certificateNumber.trimmed()));
        w_.element("fileName", notEmpty(in_.pdfFileName, certificateFileName(info().certificateNumber)));
        w_.element("mimeType", QStringLiteral("application/pdf"));
        // Lines of 76 characters, as MIME writes base64.
        const QByteArray base64 = in_.pdf.toBase64();
        QByteArray wrapped;
        wrapped.reserve(base64.size() + base64.size() / 76 + 2);
        for (qsizetype i = 0; i < base64.size(); i += 76)
            wrapped += '\n' + base64.mid(i, 76);
        if (!wrapped.isEmpty())
            wrapped += '\n';
        w_.element("dataBase64", QString::fromLatin1(wrapped));
        w_.close();
    }

    const DccInput& in_;
    Writer w_;
};

QString readFile(const QString& path, QByteArray* bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: cannot be read: %2").arg(path, f.errorString());
    *bytes = f.readAll();
    return {};
}

} // namespace

QString dsiUnit(const QString& unit)
{
    static const std::map<QString, QString> bases = {
        {QStringLiteral("V"), QStringLiteral("\\volt")},
        {QStringLiteral("Hz"), QStringLiteral("\\hertz")},
        {QStringLiteral("s"), QStringLiteral("\\second")},
    };
    static const std::map<QString, QString> prefixes = {
        {QStringLiteral("p"), QStringLiteral("\\pico")},  {QStringLiteral("n"), QStringLiteral("\\nano")},
        {QStringLiteral("u"), QStringLiteral("\\micro")}, {QStringLiteral("\u00b5"), QStringLiteral("\\micro")},
        {QStringLiteral("\u03bc"), QStringLiteral("\\micro")}, {QStringLiteral("m"), QStringLiteral("\\milli")},
        {QStringLiteral("k"), QStringLiteral("\\kilo")},  {QStringLiteral("M"), QStringLiteral("\\mega")},
        {QStringLiteral("G"), QStringLiteral("\\giga")},
    };
    const QString u = unit.trimmed();
    for (const auto& [base, text] : bases) {
        if (!u.endsWith(base))
            continue;
        const QString prefix = u.chopped(base.size());
        if (prefix.isEmpty())
            return text;
        if (const auto p = prefixes.find(prefix); p != prefixes.end())
            return p->second + text;
    }
    return {};
}

QString dccFileName(const QString& number)
{
    QString name = certificateFileName(number);
    name.chop(4);
    return name + QStringLiteral(".xml");
}

QString dccPathBeside(const QString& pdfPath)
{
    const QFileInfo pdf(pdfPath);
    return pdf.dir().filePath(pdf.completeBaseName() + QStringLiteral(".xml"));
}

std::optional<QByteArray> dccDocument(const DccInput& input, QString* error)
{
    const auto refuse = [&](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (input.runs.run.info.certificateNumber.trimmed().isEmpty())
        return refuse(QStringLiteral("The run has no certificate number yet; a DCC is written for an "
                                     "issued certificate only."));
    static const QRegularExpression twoLetters(QStringLiteral("^[A-Z]{2}$"));
    if (!twoLetters.match(input.laboratory.country.trimmed().toUpper()).hasMatch())
        return refuse(QStringLiteral("The laboratory's country is not set: give it as its two-letter "
                                     "ISO 3166-1 code in the settings file, [Laboratory] Country= "
                                     "(for example GB)."));
    static const QStringList places = {QStringLiteral("laboratory"), QStringLiteral("customer"),
                                       QStringLiteral("laboratoryBranch"), QStringLiteral("customerBranch"),
                                       QStringLiteral("other")};
    if (!places.contains(input.laboratory.performanceLocation.trimmed()))
        return refuse(QStringLiteral("The place of calibration \"%1\" is not one of %2 "
                                     "([Laboratory] PerformanceLocation= in the settings file).")
                          .arg(input.laboratory.performanceLocation, places.join(QStringLiteral(", "))));
    QByteArray out;
    if (!DccWriter(input, &out).write())
        return refuse(QStringLiteral("The document could not be written as XML."));
    return out;
}

QString writeDccBeside(const CertificateRuns& runs, const LaboratoryInfo& laboratory,
                       const QString& pdfPath, const QString& schemaFolder, QString* error)
{
    DccInput input{runs, laboratory, {}, QFileInfo(pdfPath).fileName(), QStringLiteral(TARN_SOFTWARE_VERSION)};
    if (const QString why = readFile(pdfPath, &input.pdf); !why.isEmpty()) {
        if (error)
            *error = QStringLiteral("The certificate %1").arg(why);
        return {};
    }
    const auto document = dccDocument(input, error);
    if (!document)
        return {};
    const QString path = dccPathBeside(pdfPath);
    const QList<DccProblem> problems = validateDcc(*document, schemaFolder);
    if (!problems.isEmpty()) {
        if (error)
            *error = QStringLiteral("The document for %1 does not validate against the DCC schemas, so it "
                                    "was not written:\n%2")
                         .arg(path, dccProblemLines(QFileInfo(path).fileName(), problems).trimmed());
        return {};
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*document) != document->size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString());
        return {};
    }
    return path;
}

QString writeDccBeside(const CertificateRuns& runs, const LaboratoryInfo& laboratory,
                       const QString& pdfPath, const Services& services)
{
    QString error;
    const QString path =
        writeDccBeside(runs, laboratory, pdfPath, dccSchemaFolder(services.applicationFolder), &error);
    if (path.isEmpty() && services.messages)
        services.messages->show({QLatin1String(kTitle),
                                 QStringLiteral("The Digital Calibration Certificate cannot be written.\r\r")
                                     + QString(error).replace(u'\n', u'\r'),
                                 MessageIcon::Exclamation, MessageButtons::Ok});
    return path;
}

QString writeStoredRunDcc(Records& records, const QString& runId, const Services& services, QString* error)
{
    const auto refuse = [&](const QString& why) {
        if (error)
            *error = why;
        return QString();
    };
    QString note;
    QString why;
    RecordsDatabase* db = records.reading(&note, &why);
    if (!db)
        return refuse(why);
    const auto runs = records.certificateRuns(*db, runId.trimmed(), &why);
    if (!runs)
        return refuse(why.isEmpty() ? QStringLiteral("No run %1 is recorded.").arg(runId) : why);
    const QString number = runs->run.info.certificateNumber;
    if (number.isEmpty())
        return refuse(QStringLiteral("The run %1 has no certificate number yet: issue its certificate first.")
                          .arg(runId));
    const QString pdf = records.certificatePath(number);
    if (!QFileInfo(pdf).isFile()) {
        if (!services.certificates)
            return refuse(QStringLiteral("The certificate %1 is missing and cannot be drawn here.").arg(pdf));
        if (!services.certificates->write(*runs, records.settings().laboratory, pdf, &why))
            return refuse(QStringLiteral("The certificate %1 cannot be written: %2").arg(pdf, why));
    }
    return writeDccBeside(*runs, records.settings().laboratory, pdf,
                          dccSchemaFolder(services.applicationFolder), error);
}

// --- Reading back ----------------------------------------------------------

namespace {

struct DocFree {
    void operator()(xmlDocPtr d) const { xmlFreeDoc(d); }
};
struct XPathContextFree {
    void operator()(xmlXPathContextPtr c) const { xmlXPathFreeContext(c); }
};
struct XPathObjectFree {
    void operator()(xmlXPathObjectPtr o) const { xmlXPathFreeObject(o); }
};

class Query {
public:
    explicit Query(xmlDocPtr doc) : context_(xmlXPathNewContext(doc))
    {
        xmlXPathRegisterNs(context_.get(), BAD_CAST "dcc", BAD_CAST kDcc);
        xmlXPathRegisterNs(context_.get(), BAD_CAST "si", BAD_CAST kSi);
    }
    QList<xmlNodePtr> nodes(const char* path, xmlNodePtr at = nullptr)
    {
        context_->node = at ? at : xmlDocGetRootElement(context_->doc);
        std::unique_ptr<xmlXPathObject, XPathObjectFree> result(
            xmlXPathEvalExpression(BAD_CAST path, context_.get()));
        QList<xmlNodePtr> out;
        if (result && result->nodesetval)
            for (int i = 0; i < result->nodesetval->nodeNr; ++i)
                out << result->nodesetval->nodeTab[i];
        return out;
    }
    QString text(const char* path, xmlNodePtr at = nullptr)
    {
        const QList<xmlNodePtr> found = nodes(path, at);
        if (found.isEmpty())
            return {};
        std::unique_ptr<xmlChar, void (*)(void*)> content(xmlNodeGetContent(found.front()), xmlFree);
        return content ? QString::fromUtf8(reinterpret_cast<const char*>(content.get())).simplified() : QString();
    }
    // A name in English where the document gives one, else in its first language.
    QString name(xmlNodePtr at)
    {
        const QString english = text("dcc:name/dcc:content[@lang='en']", at);
        return english.isEmpty() ? text("dcc:name/dcc:content", at) : english;
    }
    // A list's values, one per member (a single value stands for all).
    QStringList items(const char* path, xmlNodePtr at, qsizetype count)
    {
        QStringList v = text(path, at).split(u' ', Qt::SkipEmptyParts);
        if (v.size() == 1 && count > 1)
            v = QStringList(count, v.front());
        return v;
    }

private:
    std::unique_ptr<xmlXPathContext, XPathContextFree> context_;
};

QString at(const QStringList& l, qsizetype i)
{
    return i < l.size() ? l[i] : QString();
}

} // namespace

std::optional<DccSummary> readDccSummary(const QByteArray& document, QString* error)
{
    std::unique_ptr<xmlDoc, DocFree> doc(xmlReadMemory(document.constData(), int(document.size()), "document.xml",
                                                       nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR
                                                                    | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES));
    if (!doc || !xmlDocGetRootElement(doc.get())) {
        if (error)
            *error = QStringLiteral("The document cannot be read as XML.");
        return std::nullopt;
    }
    Query q(doc.get());
    if (q.nodes("/dcc:digitalCalibrationCertificate").isEmpty()) {
        if (error)
            *error = QStringLiteral("The document is not a Digital Calibration Certificate.");
        return std::nullopt;
    }
    DccSummary s;
    s.number = q.text("/*/dcc:administrativeData/dcc:coreData/dcc:uniqueIdentifier");
    s.begin = q.text("/*/dcc:administrativeData/dcc:coreData/dcc:beginPerformanceDate");
    s.end = q.text("/*/dcc:administrativeData/dcc:coreData/dcc:endPerformanceDate");
    s.issued = q.text("/*/dcc:administrativeData/dcc:coreData/dcc:issueDate");
    for (xmlNodePtr item : q.nodes("/*/dcc:administrativeData/dcc:items/dcc:item")) {
        QStringList parts{q.name(item)};
        if (const QString model = q.text("dcc:model", item); !model.isEmpty())
            parts << QStringLiteral("model ") + model;
        for (xmlNodePtr id : q.nodes("dcc:identifications/dcc:identification", item)) {
            const QString name = q.name(id);
            parts << (name.isEmpty() ? q.text("dcc:issuer", id) : name.toLower()) + u' ' + q.text("dcc:value", id);
        }
        if (!s.item.isEmpty())
            s.item += QStringLiteral("; ");
        s.item += parts.join(QStringLiteral(", "));
    }

    for (xmlNodePtr result : q.nodes("/*/dcc:measurementResults/dcc:measurementResult")) {
        const QString resultName = q.name(result);
        for (xmlNodePtr r : q.nodes("dcc:results/dcc:result", result)) {
            QString name = q.name(r);
            if (name != resultName && !resultName.isEmpty())
                name = resultName.endsWith(name) ? resultName : resultName + QStringLiteral(", ") + name;
            for (xmlNodePtr list : q.nodes(".//dcc:list[dcc:quantity]", r)) {
                const auto quantity = [&](const char* refType) -> xmlNodePtr {
                    const QList<xmlNodePtr> found = q.nodes(
                        QStringLiteral("dcc:quantity[contains(concat(' ', @refType, ' '), ' %1 ')]")
                            .arg(QLatin1String(refType)).toUtf8().constData(),
                        list);
                    return found.isEmpty() ? nullptr : found.front();
                };
                // The first real list of a quantity (of a hybrid, its first form).
                const char* values = ".//si:realListXMLList[1]/si:valueXMLList";
                const char* units = ".//si:realListXMLList[1]/si:unitXMLList";
                xmlNodePtr nominal = quantity("basic_referenceValue");
                xmlNodePtr error = quantity("basic_measurementError");
                xmlNodePtr measured = quantity("basic_measuredValue");
                xmlNodePtr main = error ? error : measured;
                if (!main)
                    continue;
                const QStringList errors = q.items(values, main, 0);
                const qsizetype n = errors.size();
                const QStringList nominals = nominal ? q.items(values, nominal, n) : QStringList();
                QStringList unit = q.items(units, main, n);
                QStringList u = q.items(".//si:valueExpandedMUXMLList", main, n);
                if (u.isEmpty())
                    u = q.items(".//si:expandedUncXMLList/si:uncertaintyXMLList", main, n);
                QStringList conformity;
                for (xmlNodePtr qn : q.nodes("dcc:quantity", list)) {
                    conformity = q.items(".//dcc:metaData[contains(concat(' ', @refType, ' '), ' basic_conformity ')]"
                                         "/dcc:conformityXMLList", qn, n);
                    if (conformity.isEmpty())
                        conformity = q.items(".//dcc:metaData[contains(concat(' ', @refType, ' '), "
                                             "' basic_conformity ')]/dcc:conformity", qn, n);
                    if (!conformity.isEmpty())
                        break;
                }
                QStringList points;
                for (xmlNodePtr qn : q.nodes("dcc:quantity[dcc:charsXMLList]", list))
                    if (q.name(qn) == QLatin1String("Point"))
                        points = q.items("dcc:charsXMLList", qn, n);
                for (qsizetype i = 0; i < n; ++i)
                    s.points << DccSummaryPoint{name,
                                                points.size() == n ? points[i] : QString::number(i + 1),
                                                at(nominals, i),
                                                error ? errors[i] : QString(),
                                                at(u, i),
                                                at(unit, i),
                                                at(conformity, i)};
            }
        }
    }
    return s;
}

QString dccSummaryText(const DccSummary& s)
{
    QString out;
    out += QStringLiteral("Certificate: %1\n").arg(s.number);
    out += QStringLiteral("Item: %1\n").arg(s.item);
    out += QStringLiteral("Calibrated: %1 to %2\n").arg(s.begin, s.end);
    out += QStringLiteral("Issued: %1\n").arg(s.issued.isEmpty() ? QStringLiteral("not stated") : s.issued);
    for (const DccSummaryPoint& p : s.points) {
        const auto with = [&](const QString& v) { return v.isEmpty() ? QStringLiteral("-") : v + u' ' + p.unit; };
        out += QStringLiteral("%1, point %2: nominal %3, error %4, U %5, %6\n")
                   .arg(p.result, p.point, with(p.nominal), with(p.error), with(p.uncertainty),
                        p.conformity.isEmpty() ? QStringLiteral("no conformity stated") : p.conformity);
    }
    return out;
}

namespace {
// Reads a DCC file and validates it: 0, or 1 with the reason written, as
// the other checks of files do (unreadable or invalid).
int readValidDcc(const QString& file, const QString& schemaFolder, QTextStream& err, QByteArray* bytes)
{
    if (const QString why = readFile(file, bytes); !why.isEmpty()) {
        err << why << '\n';
        return 1;
    }
    const QList<DccProblem> problems = validateDcc(*bytes, schemaFolder);
    if (!problems.isEmpty()) {
        err << dccProblemLines(file, problems);
        return 1;
    }
    return 0;
}
} // namespace

int validateDccFile(const QString& file, const QString& schemaFolder, QTextStream& out, QTextStream& err)
{
    QByteArray bytes;
    if (const int status = readValidDcc(file, schemaFolder, err, &bytes))
        return status;
    out << file << QStringLiteral(": valid DCC 3.3.0\n");
    return 0;
}

int summariseDccFile(const QString& file, const QString& schemaFolder, QTextStream& out, QTextStream& err)
{
    QByteArray bytes;
    if (const int status = readValidDcc(file, schemaFolder, err, &bytes))
        return status;
    QString why;
    const auto summary = readDccSummary(bytes, &why);
    if (!summary) {
        err << file << QStringLiteral(": ") << why << '\n';
        return 1;
    }
    out << dccSummaryText(*summary);
    return 0;
}

int writeDccOfRun(Records& records, const QString& runId, const Services& services, QTextStream& out,
                  QTextStream& err)
{
    QString why;
    const QString path = writeStoredRunDcc(records, runId, services, &why);
    if (path.isEmpty()) {
        err << why << '\n';
        return 1;
    }
    out << path << '\n';
    return 0;
}

} // namespace tarn
