// The runner's automatic readings: the unit under test read over its
// remote interface through its driver, instead of typed by the operator.

#include "procedure/bench.h"
#include "procedure/runner.h"
#include "procedure/uut_keys.h"

#include "fastrise/fast_rise_panel.h"

#include <QFileInfo>

namespace tarn {

namespace {

const QString kUutTitle = QStringLiteral("Unit under test");

MessageRequest notice(const QString& text)
{
    return {kUutTitle, text, MessageIcon::Exclamation, MessageButtons::Ok};
}

MessageRequest question(const QString& text)
{
    return {kUutTitle, text, MessageIcon::Question, MessageButtons::YesNo};
}

// The real connections, shared by every session.
SystemUutConnector& systemConnector()
{
    static SystemUutConnector connector;
    return connector;
}

} // namespace

bool ProcedureRunner::beginUut(const RunDetails& details)
{
    if (uut_)
        uut_->close();
    uut_.reset();
    lostSaid_ = false;
    if (!procedure_.uut)
        return true;
    const ProcedureUut& given = *procedure_.uut;
    // A bench's settings file says how the unit is reached there.
    const QString driverName = bench_.setting(QStringLiteral("UUT"), QStringLiteral("Driver")).trimmed();
    const QString resourceText = bench_.setting(QStringLiteral("UUT"), QStringLiteral("Resource")).trimmed();
    const QString driverGiven = driverName.isEmpty() ? given.driver : driverName;
    const QString resourceGiven = resourceText.isEmpty() ? given.resource : resourceText;
    const QString notBegun = QStringLiteral("\r\rThe run has not begun.");
    if (resourceGiven.isEmpty()) {
        bench_.showMessage(notice(QStringLiteral("The procedure reads the unit under test, but nothing names its "
                                                 "interface: give `resource` in the procedure's [uut] table or "
                                                 "[UUT] Resource= in TarnApp.ini.")
                                  + notBegun));
        return false;
    }
    QString why;
    const std::optional<UutResource> resource = ParseUutResource(resourceGiven, &why);
    if (!resource) {
        bench_.showMessage(notice(why + notBegun));
        return false;
    }
    const QString folder = bench_.driversFolder().isEmpty() ? ShippedDriversFolder() : bench_.driversFolder();
    const auto path = FindUutDriverFile(driverGiven, folder, QFileInfo(filePath_).absolutePath(), &why);
    if (!path) {
        bench_.showMessage(notice(why + notBegun));
        return false;
    }
    const DriverReading driver = ReadUutDriverFile(*path);
    if (!driver.driver) {
        QStringList lines;
        for (const DriverProblem& p : driver.problems)
            lines << QStringLiteral("%1:%2: %3").arg(*path).arg(p.line).arg(p.message);
        bench_.showMessage(notice(QStringLiteral("The driver cannot be used:\r") + lines.join(u'\r') + notBegun));
        return false;
    }
    for (const ProcedureTest& t : procedure_.tests)
        if (t.measure && !driver.driver->measurement(*t.measure)) {
            bench_.showMessage(notice(QStringLiteral("The driver %1 has no %2 measurement, which the test \"%3\" takes.")
                                          .arg(driver.driver->name, MeasureKindName(*t.measure), t.name)
                                      + notBegun));
            return false;
        }

    std::unique_ptr<UutSession> session =
        uutFactory_ ? uutFactory_(*driver.driver, *resource)
                    : std::make_unique<InstrumentSession>(*driver.driver, *resource, systemConnector(),
                                                          bench_.commandLog(), [this](int ms) { bench_.wait(ms); });
    if (const UutFault fault = session->connect()) {
        bench_.showMessage(notice(QStringLiteral("The unit under test cannot be reached: ") + fault.message + notBegun));
        return false;
    }
    const UutIdentity& id = session->identity();
    const QString typed = details.unitSerial.trimmed();
    if (!id.serial.isEmpty() && id.serial.compare(typed, Qt::CaseInsensitive) != 0
        && bench_.showMessage(question(QStringLiteral("The unit under test answers with the serial number %1, but the "
                                                      "serial number typed is %2.\r\rBegin the run all the same?")
                                           .arg(id.serial, typed)))
               != MessageResult::Yes) {
        session->close();
        return false;
    }
    record_.info.uutIdentification = id.reply;
    uutChannel_ = given.channel;
    uut_ = std::move(session);
    return true;
}

void ProcedureRunner::readFromUnit()
{
    const int point = number_;
    for (;;) {
        QList<double> values;
        UutFault fault;
        readingFromUnit_ = true;
        bench_.wait(uut_->settleMs());
        while (!abortWhenRead_ && values.size() < test().readings) {
            const UutReading reading = uut_->measure(*test().measure, uutChannel_);
            if (!reading.value) {
                fault = reading.fault;
                break;
            }
            values.append(*reading.value);
            if (progress_)
                progress_();
            bench_.wait(0);  // the windows answer between readings
        }
        readingFromUnit_ = false;
        if (std::exchange(abortWhenRead_, false)) {
            Abort();
            return;
        }
        if (stage_ != Stage::Point || number_ != point || bench_.closed())
            return;
        if (!fault) {
            lostSaid_ = false;
            // The setting changed in the main window meanwhile: set again and read again.
            if (!pointHeld())
                return;
            if (recordReadings(values, &fault)) {
                if (progress_)
                    progress_();
                return;
            }
        }
        if (!offerFallback(fault))
            return;
    }
}

bool ProcedureRunner::offerFallback(const UutFault& fault)
{
    QString text;
    if (fault.kind == UutFault::Kind::ConnectionLost) {
        // Said once; while it stays lost, shortly.
        text = lostSaid_ ? QStringLiteral("There is still no connection to the unit under test.")
                         : QStringLiteral("The connection to the unit under test was lost: ") + fault.message;
        lostSaid_ = true;
    } else {
        text = QStringLiteral("The unit under test gave no reading for this point: ") + fault.message;
    }
    if (bench_.showMessage(question(text + QStringLiteral("\r\rTry again?"))) == MessageResult::Yes)
        return true;
    if (bench_.showMessage(question(QStringLiteral("Type the value the unit shows instead?\r\rNo skips the point.")))
        == MessageResult::Yes) {
        typedFallback_ = true;  // the operator types one value, recorded as typed
        return false;
    }
    Skip();
    return false;
}

bool ProcedureRunner::recordReadings(const QList<double>& values, UutFault* fault)
{
    const ProcedureTest& t = test();
    double mean = 0.0;
    for (double v : values)
        mean += v / static_cast<double>(values.size());
    PointResult r = resultBase();
    if (t.method == TestMethod::RiseTime) {
        // The rise times in ns; the bandwidth as the risetime method works it out.
        QList<double> riseTimes;
        for (double v : values)
            riseTimes << v / 1e-9;
        r.riseTime = mean / 1e-9;
        const auto bandwidth = FastRisePanel::ExactBandwidth(*r.riseTime);
        if (bandwidth.outcome != FastRisePanel::Bandwidth::Outcome::Shown) {
            *fault = {UutFault::Kind::Unparsable,
                      QStringLiteral("its rise time of %1 ns is too short to work out a bandwidth").arg(*r.riseTime)};
            return false;
        }
        r.indicated = bandwidth.megahertz;
        addUncertainty(r, std::nullopt);
        r.readings = riseTimes;
        r.result = decideAtLeast(bandwidth.megahertz, t.minBandwidth, procedure_.rule, r.uncertainty,
                                 procedure_.guardIsUncertainty);
        take(r);
        return true;
    }
    r.readings = values;
    r.indicated = mean;
    r.actual = nominal();
    r.error = errorOf(*r.indicated, *r.actual);
    const PointLimits limits = limitsOf(t, inTest_);
    r.toleranceUsed = toleranceUsed(*r.error, limits);
    addUncertainty(r, std::nullopt);
    r.result = decide(*r.error, limits, nominal(), procedure_.rule, procedure_.guard, r.uncertainty,
                      procedure_.guardIsUncertainty);
    take(r);
    return true;
}

} // namespace tarn
