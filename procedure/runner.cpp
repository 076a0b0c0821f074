#include "procedure/runner.h"

#include "fastrise/fast_rise_panel.h"
#include "procedure/bench.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <memory>

namespace tarn {

namespace {
const QString kTitle = QStringLiteral("Procedure");
constexpr double kConfirmAboveVolts = 30.0;

QString section() { return QString::fromLatin1(kProceduresSection); }
} // namespace

// --- Results file --------------------------------------------------------

bool CsvResultsSink::beginRun(const RunInfo& info, QString* error)
{
    if (!QDir().mkpath(folder_)) {
        *error = QStringLiteral("The records folder %1 cannot be created.").arg(folder_);
        return false;
    }
    path_ = QDir(folder_).filePath(resultsFileName(info.unitSerial, info.start));
    if (QFile::exists(path_)) {
        *error = QStringLiteral("The results file %1 exists already.").arg(path_);
        return false;
    }
    return write({info, {}}, error);
}

bool CsvResultsSink::recordPoint(const RunRecord& run, const PointResult&, QString* error)
{
    return write(run, error);
}

bool CsvResultsSink::endRun(const RunRecord& run, QString* error)
{
    return write(run, error);
}

bool CsvResultsSink::write(const RunRecord& run, QString* error)
{
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(ResultsCsv(run)) < 0 || !file.commit()) {
        *error = QStringLiteral("The results file %1 cannot be written: %2").arg(path_, file.errorString());
        return false;
    }
    return true;
}

RunDetails unitDetails(const QString& serial, const QString& operatorName, const QString& model,
                       const QString& temperature)
{
    RunDetails d;
    d.unitSerial = serial;
    d.operatorName = operatorName;
    d.unitModel = model;
    d.temperature = temperature;
    return d;
}

std::optional<double> conditionValue(const QString& typed, const QString& unit, const NumberFormat& format)
{
    QString text = typed.trimmed();
    const QStringList units = unit == QStringLiteral("%")
                                  ? QStringList{QStringLiteral("%RH"), QStringLiteral("% RH"), QStringLiteral("%")}
                                  : QStringList{QStringLiteral("°C"), QStringLiteral("° C"), QStringLiteral("C")};
    for (const QString& u : units)
        if (text.endsWith(u, Qt::CaseInsensitive)) {
            text.chop(u.size());
            break;
        }
    text = text.trimmed();
    if (auto value = parseNumber(text, format))
        return value;
    return parseNumber(text, NumberFormat::invariant());
}

// --- Runner -----------------------------------------------------------------

ProcedureRunner::ProcedureRunner(Bench& bench, Procedure procedure, QByteArray fileBytes,
                                 QString filePath)
    : bench_(bench), procedure_(std::move(procedure)), fileBytes_(std::move(fileBytes)),
      filePath_(std::move(filePath))
{
}

std::unique_ptr<ProcedureRunner> ProcedureRunner::open(Bench& bench, const QString& filePath,
                                                       QString* problems)
{
    QFile in(filePath);
    if (!in.open(QIODevice::ReadOnly)) {
        *problems = QStringLiteral("%1: cannot be read: %2").arg(filePath, in.errorString());
        return nullptr;
    }
    const QByteArray bytes = in.readAll();
    const ProcedureReading reading = ReadProcedure(bytes);
    if (!reading.procedure) {
        QStringList lines;
        for (const ProcedureProblem& p : reading.problems)
            lines << QStringLiteral("%1:%2: %3").arg(filePath).arg(p.line).arg(p.message);
        *problems = lines.join(u'\n');
        return nullptr;
    }
    return std::make_unique<ProcedureRunner>(bench, *reading.procedure, bytes, filePath);
}

QString ProcedureRunner::rememberedOperator() const
{
    return bench_.setting(section(), QStringLiteral("Operator"));
}

bool ProcedureRunner::busy() const
{
    // While the main window sends, or the unit is read, the operator's actions wait.
    return bench_.busy() || readingFromUnit_;
}

bool ProcedureRunner::Begin(const RunDetails& details)
{
    if (stage_ != Stage::Details || busy())
        return false;
    QStringList missing;
    // The serial names the results file, so it needs a letter or digit.
    if (!details.unitSerial.contains(QRegularExpression(QStringLiteral("[A-Za-z0-9]"))))
        missing << QStringLiteral("the unit's serial number");
    if (details.operatorName.trimmed().isEmpty())
        missing << QStringLiteral("the operator");
    if (!missing.isEmpty()) {
        bench_.showMessage({kTitle, QStringLiteral("Please enter ") + missing.join(QStringLiteral(" and "))
                                         + QStringLiteral(" before the run begins."),
                             MessageIcon::Exclamation, MessageButtons::Ok});
        return false;
    }
    // The conditions are numbers with their units, checked against the
    // procedure's limits; a value outside them is kept as given when the
    // operator goes on.
    const NumberFormat format = bench_.numberFormat();
    struct Condition {
        const QString& typed;
        QString unit;
        QString name;
        const std::optional<ConditionRange>& limits;
        std::optional<double> value;
    };
    Condition conditions[] = {
        {details.temperature, QStringLiteral("°C"), QStringLiteral("temperature"), procedure_.temperature, {}},
        {details.humidity, QStringLiteral("%"), QStringLiteral("humidity"), procedure_.humidity, {}},
    };
    for (Condition& c : conditions) {
        if (c.typed.trimmed().isEmpty())
            continue;
        c.value = conditionValue(c.typed, c.unit, format);
        if (!c.value) {
            bench_.showMessage({kTitle,
                                QStringLiteral("The %1 \"%2\" is not a number of %3.\r\rType it as a number, "
                                               "for example 23.1 or 23.1 %3.")
                                    .arg(c.name, c.typed.trimmed(), c.unit),
                                MessageIcon::Exclamation, MessageButtons::Ok});
            return false;
        }
        if (c.limits && !c.limits->holds(*c.value)) {
            const MessageResult answer = bench_.showMessage(
                {kTitle,
                 QStringLiteral("The %1 %2 %3 lies outside the procedure's limits, %4 to %5 %3.\r\r"
                                "Begin the run all the same?")
                     .arg(c.name, resultsNumber(*c.value), c.unit, resultsNumber(c.limits->lowest),
                          resultsNumber(c.limits->highest)),
                 MessageIcon::Exclamation, MessageButtons::YesNo});
            if (answer != MessageResult::Yes)
                return false;
        }
    }
    std::optional<CalibratorSpec> spec;
    bool pastDue = false;
    if (!readCalibratorSpec(&spec, &pastDue))
        return false;
    spec_ = spec;
    details_ = details;
    RunInfo& info = record_.info;
    info.runId = newRunId();
    info.procedureTitle = procedure_.title;
    info.procedureRevision = procedure_.revision;
    info.procedureSha256 =
        QString::fromLatin1(QCryptographicHash::hash(fileBytes_, QCryptographicHash::Sha256).toHex());
    info.procedureText = fileBytes_;
    info.procedureFile = filePath_;
    info.instrument = procedure_.instrument;
    info.unitModel = details.unitModel.trimmed();
    info.unitSerial = details.unitSerial.trimmed();
    info.unitAsset = details.unitAsset.trimmed();
    info.customer = details.customer.trimmed();
    info.operatorName = details.operatorName.trimmed();
    info.temperature = details.temperature.trimmed();
    info.humidity = details.humidity.trimmed();
    info.temperatureC = conditions[0].value;
    info.humidityRH = conditions[1].value;
    info.customerAddress = details.customerAddress.trimmed();
    info.unitMaker = details.unitMaker.trimmed();
    info.dateReceived = details.dateReceived;
    info.condition = details.condition.trimmed();
    info.dataSheet = procedure_.dataSheet;
    info.start = QDateTime::currentDateTime();
    info.start.setTime(QTime(info.start.time().hour(), info.start.time().minute(), info.start.time().second()));
    info.calibrator = bench_.calibratorIdentity();
    if (spec_) {
        info.calibratorModel = spec_->model;
        info.calibratorSerial = spec_->serial;
        info.calibratorCertificate = spec_->certificate;
        info.calibratorDue = spec_->due;
        info.calibratorSpecText = spec_->text;
        info.calibratorSpecSha256 = spec_->sha256;
        info.calibratorPastDue = pastDue;
    }
    info.decisionRule = decisionRuleName(procedure_.rule);
    info.guard = procedure_.guardText;
    info.pointsInProcedure = pointCount();
    for (ResultsSink* sink : sinks_) {
        QString error;
        if (!sink->beginRun(info, &error)) {
            bench_.showMessage({kTitle, error + QStringLiteral("\r\rThe run has not begun."),
                                 MessageIcon::Exclamation, MessageButtons::Ok});
            return false;
        }
    }
    if (!beginUut(details))
        return false;
    bench_.storeSetting(section(), QStringLiteral("Operator"), info.operatorName);
    startTest(0);
    return true;
}

bool ProcedureRunner::readCalibratorSpec(std::optional<CalibratorSpec>* spec, bool* pastDue)
{
    const QString file = bench_.calibratorSpecFile();
    if (file.isEmpty()) {
        if (!procedure_.guardIsUncertainty)
            return true;  // no uncertainty is given
        bench_.showMessage({kTitle,
                            QStringLiteral("The procedure's guard \"U\" needs a calibrator file, and "
                                           "there is none.\r\rName one with Calibrator= in section [Procedures] of "
                                           "the settings file. The run has not begun."),
                            MessageIcon::Exclamation, MessageButtons::Ok});
        return false;
    }
    const CalibratorSpecFile loaded = LoadCalibratorSpec(file);
    QStringList problems = loaded.problems;
    if (loaded.spec) {
        int number = 0;
        for (const ProcedureTest& t : procedure_.tests)
            for (int i = 0; i < t.points.size(); ++i) {
                ++number;
                QString error;
                if (t.method != TestMethod::Check && !pointBudget(t, i, *loaded.spec, std::nullopt, {}, std::nullopt, &error))
                    problems << QStringLiteral("%1: point %2 (%3): %4").arg(file).arg(number).arg(pointLabel(t, i), error);
            }
    }
    if (!problems.isEmpty()) {
        bench_.showMessage({kTitle,
                            QStringLiteral("The calibrator file cannot be used:\r\r") + problems.join(u'\r')
                                + QStringLiteral("\r\rThe run has not begun."),
                            MessageIcon::Exclamation, MessageButtons::Ok});
        return false;
    }
    if (QDate::currentDate() > loaded.spec->due) {
        const MessageResult answer = bench_.showMessage(
            {kTitle,
             QStringLiteral("The calibrator %1 %2 was due for calibration on %3 (certificate %4).\r\rBegin the run "
                            "all the same? The certificate will say that the calibrator was past its due date.")
                 .arg(loaded.spec->model, loaded.spec->serial, loaded.spec->due.toString(Qt::ISODate),
                      loaded.spec->certificate),
             MessageIcon::Exclamation, MessageButtons::YesNo});
        if (answer != MessageResult::Yes)
            return false;
        *pastDue = true;
    }
    *spec = loaded.spec;
    return true;
}

void ProcedureRunner::startTest(int test)
{
    test_ = test;
    inTest_ = 0;
    // A change of connection: nothing comes out until the operator is ready.
    bench_.OutputZero();
    stage_ = Stage::Connect;
}

void ProcedureRunner::Continue()
{
    if (stage_ != Stage::Connect || busy())
        return;
    // The function as the operator selects it, which starts its panel
    // afresh.
    bench_.SelectFunction(test().function);
    stage_ = Stage::Point;
    applyPoint();
}

void ProcedureRunner::applyPoint()
{
    readings_.clear();
    readingsResolution_ = 0.0;
    typedFallback_ = false;
    const ProcedureTest& t = test();
    if (t.function == TestFunction::Amplitude && nominal() > kConfirmAboveVolts) {
        const MessageResult answer = bench_.showMessage(
            {kTitle,
             QStringLiteral("The next point puts out %1.\r\rApply it?")
                 .arg(shownValue(nominal(), QStringLiteral("V"), bench_.numberFormat())),
             MessageIcon::Exclamation, MessageButtons::YesNo});
        if (answer != MessageResult::Yes) {
            bench_.OutputZero();
            Skip();
            return;
        }
    }
    const double value = t.points.value(inTest_);
    // Selected again when the operator has chosen another one meanwhile.
    if (!bench_.FunctionSelected(t.function))
        bench_.SelectFunction(t.function);
    if (t.function == TestFunction::Amplitude)
        bench_.ApplyAmplitude({value, t.divisions, t.dc, t.ohm50, t.method == TestMethod::Deviation});
    else if (t.function == TestFunction::Frequency)
        bench_.ApplyFrequency(value);
    else if (t.function == TestFunction::Period)
        bench_.ApplyPeriod(value);
    if (!holds()) {
        bench_.OutputZero();
        bench_.showMessage({kTitle, QStringLiteral("The calibrator did not take this point; it is skipped."),
                             MessageIcon::Exclamation, MessageButtons::Ok});
        Skip();
        return;
    }
    if (t.measure && uut_)
        readFromUnit();
}

bool ProcedureRunner::holds() const
{
    const ProcedureTest& t = test();
    if (t.function == TestFunction::Amplitude)
        return bench_.AmplitudeHolds(
            {t.points.value(inTest_), t.divisions, t.dc, t.ohm50, t.method == TestMethod::Deviation});
    return bench_.FunctionSelected(t.function);
}

bool ProcedureRunner::pointHeld()
{
    if (holds())
        return true;
    bench_.showMessage({kTitle,
                         QStringLiteral("The setting was changed in the main window. The point is set again; "
                                        "take its result once more."),
                         MessageIcon::Exclamation, MessageButtons::Ok});
    applyPoint();
    return false;
}

PointResult ProcedureRunner::resultBase() const
{
    const ProcedureTest& t = test();
    PointResult r;
    r.point = number_;
    r.test = t.name;
    r.function = functionName(t.function);
    r.setting = settingText(NumberFormat::invariant(), QStringLiteral("x"));
    if (t.method == TestMethod::Check)
        return r;
    r.nominal = nominal();
    r.unit = nominalUnit(t.function);
    if (t.method == TestMethod::RiseTime) {
        r.lower = t.minBandwidth;
        return r;
    }
    const PointLimits limits = limitsOf(t, inTest_);
    r.lower = nominal() - limits.lower;
    r.upper = nominal() + limits.upper;
    return r;
}

bool ProcedureRunner::Record(const QString& typed)
{
    if (stage_ != Stage::Point || busy() || method() == TestMethod::Check || !pointHeld())
        return false;
    const ProcedureTest& t = test();
    const NumberFormat format = bench_.numberFormat();
    PointResult r = resultBase();
    double pointResolution = 0.0;  // of the typed reading, in the point's unit (ns for a rise time)
    if (t.method == TestMethod::Deviation) {
        r.indicated = nominal();
        r.actual = bench_.LastVoltsPerDivisionSent() * t.divisions;
    } else {
        const QString unit = t.method == TestMethod::RiseTime ? QStringLiteral("s") : nominalUnit(t.function);
        const ShownUnit shown = t.method == TestMethod::RiseTime ? ShownUnit{1e-9, QStringLiteral("ns")}
                                                                 : shownUnitOf(nominal(), unit);
        QString why;
        std::optional<double> value = parseReading(typed, shown, unit, format, &why);
        // A rise time is a length of time.
        if (value && t.method == TestMethod::RiseTime && !(*value > 0))
            value.reset();
        if (!value) {
            const QString advice = QStringLiteral("Type a number in %1, or a number with its unit (for example %2).")
                                       .arg(shown.text, shownValue(t.method == TestMethod::RiseTime ? 3.5e-9 : nominal(),
                                                                   unit, format));
            bench_.showMessage({kTitle,
                                 QStringLiteral("\"%1\" cannot be read as a reading.\r\r%2")
                                     .arg(typed.trimmed(), why.isEmpty() ? advice : why),
                                 MessageIcon::Exclamation, MessageButtons::Ok});
            return false;
        }
        const double resolution = typedResolution(typed, shown, unit, format).value_or(0.0);
        if (t.method == TestMethod::RiseTime) {
            pointResolution = resolution / 1e-9;
            r.riseTime = *value / 1e-9;
            const auto bandwidth = FastRisePanel::ExactBandwidth(*value / 1e-9);
            if (bandwidth.outcome != FastRisePanel::Bandwidth::Outcome::Shown) {
                bench_.showMessage({QStringLiteral("Bandwidth Calculator"),
                                     QStringLiteral("Rise Time is too short - cannot calculate Bandwidth"),
                                     MessageIcon::Exclamation, MessageButtons::Ok});
                return false;
            }
            r.indicated = bandwidth.megahertz;
            addUncertainty(r, pointResolution);
            r.result = decideAtLeast(bandwidth.megahertz, t.minBandwidth, procedure_.rule, r.uncertainty,
                                     procedure_.guardIsUncertainty);
            take(r);
            return true;
        }
        // A slip of the unit or a digit is asked about before it is kept.
        const bool bare = parseNumber(typed.trimmed(), format).has_value();
        if (const auto question = implausibleReading(*value, nominal(), limitsOf(t, inTest_), shown.text, bare,
                                                     previousReadingUnit_, format);
            question && bench_.showMessage({kTitle, *question, MessageIcon::Question, MessageButtons::YesNo})
                            != MessageResult::Yes)
            return false;
        pointResolution = resolution;
        if (t.readings > 1 && !typedFallback_) {
            // The readings are typed one after another in the same box; the
            // point is their mean.
            readings_.append(*value);
            readingsResolution_ = std::max(readingsResolution_, resolution);
            if (readings_.size() < t.readings)
                return true;
            double mean = 0.0;
            for (double v : std::as_const(readings_))
                mean += v / static_cast<double>(readings_.size());
            r.readings = readings_;
            r.indicated = mean;
            pointResolution = readingsResolution_;
        } else {
            r.indicated = *value;
        }
        r.actual = nominal();
    }
    r.error = errorOf(*r.indicated, *r.actual);
    const PointLimits limits = limitsOf(t, inTest_);
    r.toleranceUsed = toleranceUsed(*r.error, limits);
    addUncertainty(r, t.method == TestMethod::Deviation ? std::nullopt : std::optional<double>(pointResolution));
    r.result = decide(*r.error, limits, nominal(), procedure_.rule, procedure_.guard, r.uncertainty,
                      procedure_.guardIsUncertainty);
    take(r);
    return true;
}

void ProcedureRunner::addUncertainty(PointResult& r, std::optional<double> resolution) const
{
    if (!spec_)
        return;
    if (resolution && !(*resolution > 0))
        resolution.reset();
    const auto budget = pointBudget(test(), inTest_, *spec_, resolution, r.readings, r.riseTime);
    if (!budget)
        return;
    r.uncertainty = budget->expanded;
    r.coverageFactor = budget->coverageFactor;
    r.tur = budget->tur;
    r.budget = budget->components;
}

std::optional<Budget> ProcedureRunner::expectedBudget() const
{
    if (!spec_ || (stage_ != Stage::Point && stage_ != Stage::Connect) || method() == TestMethod::Check)
        return std::nullopt;
    return pointBudget(test(), inTest_, *spec_);
}

void ProcedureRunner::Judge(bool pass)
{
    if (stage_ != Stage::Point || busy() || method() != TestMethod::Check || !pointHeld())
        return;
    PointResult r = resultBase();
    r.result = pass ? Verdict::Pass : Verdict::Fail;
    take(r);
}

void ProcedureRunner::Skip()
{
    if ((stage_ != Stage::Point && stage_ != Stage::Connect) || busy())
        return;
    PointResult r = resultBase();
    r.result = Verdict::Skipped;
    take(r);
}

void ProcedureRunner::take(PointResult result)
{
    readings_.clear();
    readingsResolution_ = 0.0;
    // When and by whom the point was taken, with the operator's remark.
    result.takenAt = QDateTime::currentDateTime();
    result.takenBy = record_.info.operatorName;
    result.remark = std::exchange(remark_, QString());
    if (method() == TestMethod::Reading)
        previousReadingUnit_ = readingUnit();
    QList<PointResult>& points = record_.points;
    auto at = std::find_if(points.begin(), points.end(),
                           [&](const PointResult& p) { return p.point >= result.point; });
    if (at != points.end() && at->point == result.point) {
        // Taken again after Back: a later attempt, which the records keep
        // beside the earlier one.
        result.attempt = at->attempt + 1;
        *at = result;
    }
    else
        points.insert(at, result);
    for (ResultsSink* sink : sinks_) {
        QString error;
        if (!sink->recordPoint(record_, result, &error))
            sinkFailed(error);
    }
    advance();
}

void ProcedureRunner::sinkFailed(const QString& error)
{
    bench_.showMessage({kTitle, error, MessageIcon::Exclamation, MessageButtons::Ok});
}

void ProcedureRunner::advance()
{
    if (stage_ == Stage::Finished)
        return;
    if (number_ >= pointCount()) {
        finish(false);
        return;
    }
    goTo(number_ + 1);
}

void ProcedureRunner::goTo(int number)
{
    int test = 0;
    int first = 1;
    while (first + procedure_.tests.at(test).points.size() <= number) {
        first += static_cast<int>(procedure_.tests.at(test).points.size());
        ++test;
    }
    const bool sameTest = test == test_ && stage_ == Stage::Point;
    number_ = number;
    if (!sameTest) {
        startTest(test);
        inTest_ = number - first;
        return;
    }
    inTest_ = number - first;
    applyPoint();
}

void ProcedureRunner::Back()
{
    if (!canGoBack() || busy())
        return;
    goTo(number_ - 1);
}

void ProcedureRunner::Abort()
{
    if (readingFromUnit_) {
        abortWhenRead_ = true;
        return;
    }
    if ((stage_ == Stage::Point || stage_ == Stage::Connect) && !busy())
        finish(true);
}

void ProcedureRunner::Close()
{
    Abort();
}

bool ProcedureRunner::canRunAgain() const
{
    return stage_ == Stage::Finished && record_.info.overall == Overall::Fail;
}

bool ProcedureRunner::RunAgain(const QString& adjustment)
{
    if (!canRunAgain() || busy())
        return false;
    if (adjustment.trimmed().isEmpty()) {
        bench_.showMessage({kTitle,
                            QStringLiteral("Please say what was adjusted before the unit is run again; "
                                           "it is printed on the certificate."),
                            MessageIcon::Exclamation, MessageButtons::Ok});
        return false;
    }
    // Every later run of an adjustment belongs to the first run, as found.
    const QString asFound =
        record_.info.asFoundRunId.isEmpty() ? record_.info.runId : record_.info.asFoundRunId;
    const RunRecord previous = std::exchange(record_, RunRecord{});
    record_.info.asFoundRunId = asFound;
    record_.info.adjustment = adjustment.trimmed();
    stage_ = Stage::Details;
    number_ = 1;
    if (Begin(details_))
        return true;
    record_ = previous;
    stage_ = Stage::Finished;
    return false;
}

void ProcedureRunner::finish(bool aborted)
{
    bench_.OutputZero();
    if (uut_)
        uut_->close();
    stage_ = Stage::Finished;
    record_.info.end = QDateTime::currentDateTime();
    record_.info.overall = overallOf(record_.points, pointCount(), aborted);
    for (ResultsSink* sink : sinks_) {
        QString error;
        if (!sink->endRun(record_, &error))
            sinkFailed(error);
    }
}

void ProcedureRunner::Step(const QString& button)
{
    if (stage_ == Stage::Point && method() == TestMethod::Deviation && !busy())
        bench_.Click(button);
}

// --- Texts --------------------------------------------------------------------

QString ProcedureRunner::progressText() const
{
    return QStringLiteral("Point %1 of %2").arg(number_).arg(pointCount());
}

QString ProcedureRunner::settingText(const NumberFormat& format, const QString& times) const
{
    const ProcedureTest& t = test();
    const double value = t.points.value(inTest_);
    switch (t.function) {
    case TestFunction::Amplitude:
        return shownValue(value, QStringLiteral("V"), format) + QStringLiteral("/div ") + times
               + QStringLiteral(" %1 div, ").arg(t.divisions) + (t.dc ? QStringLiteral("DC") : QStringLiteral("square"))
               + (t.ohm50 ? QStringLiteral(", 50 Ohm") : QString());
    case TestFunction::Frequency: return shownValue(value, QStringLiteral("Hz"), format);
    case TestFunction::Period: return shownValue(value, QStringLiteral("s"), format);
    case TestFunction::FastRise: break;
    }
    return QStringLiteral("fast rise");
}

QString ProcedureRunner::stimulusText() const
{
    const NumberFormat format = bench_.numberFormat();
    const ProcedureTest& t = test();
    QString text = settingText(format, QStringLiteral("\u00d7"));
    if (t.function == TestFunction::Amplitude)
        text += QStringLiteral(": ") + shownValue(nominal(), QStringLiteral("V"), format)
                + (t.dc ? QString() : QStringLiteral(" peak-to-peak"));
    return text;
}

QString ProcedureRunner::limitsText() const
{
    const ProcedureTest& t = test();
    const NumberFormat format = bench_.numberFormat();
    if (t.method == TestMethod::Check)
        return QStringLiteral("Judge the result: Pass or Fail");
    if (t.method == TestMethod::RiseTime)
        return QStringLiteral("Bandwidth at least %1").arg(shownValue(t.minBandwidth, QStringLiteral("MHz"), format));
    const PointLimits limits = limitsOf(t, inTest_);
    const QString unit = nominalUnit(t.function);
    const ShownUnit shown = shownUnitOf(nominal(), unit);
    const auto inShown = [&](double v) {
        QString number = QString::number(v / shown.scale, 'g', 9);
        return number.replace(u'.', format.decimalSeparator).replace(u'-', format.negativeSign) + u' ' + shown.text;
    };
    return QStringLiteral("Limits: %1 to %2").arg(inShown(nominal() - limits.lower), inShown(nominal() + limits.upper));
}

QString ProcedureRunner::readingCountText() const
{
    if (stage_ != Stage::Point || method() != TestMethod::Reading || test().readings < 2)
        return {};
    return QStringLiteral("reading %1 of %2").arg(readings_.size() + 1).arg(test().readings);
}

QString ProcedureRunner::uncertaintyText() const
{
    const auto budget = expectedBudget();
    if (!budget)
        return {};
    const NumberFormat format = bench_.numberFormat();
    const QString unit = nominalUnit(test().function);
    // In the unit the limits are shown in.
    const ShownUnit shown = shownUnitOf(nominal(), unit);
    const auto number = [&](double v, char form, int digits) {
        return QString::number(v, form, digits).replace(u'.', format.decimalSeparator);
    };
    QString text = QStringLiteral("U = %1 %2 (k = %3)")
                       .arg(resultsNumber(budget->expanded / shown.scale).replace(u'.', format.decimalSeparator),
                            shown.text,
                            number(budget->coverageFactor, 'f', 2));
    if (budget->tur) {
        text += QStringLiteral(", TUR %1").arg(number(*budget->tur, 'f', 1));
        if (*budget->tur < procedure_.minTur)
            text += QStringLiteral(": below the procedure's minimum TUR of %1")
                        .arg(resultsNumber(procedure_.minTur).replace(u'.', format.decimalSeparator));
    }
    return text;
}

bool ProcedureRunner::belowMinTur() const
{
    const auto budget = expectedBudget();
    return budget && budget->tur && *budget->tur < procedure_.minTur;
}

QString ProcedureRunner::readingUnit() const
{
    if (method() == TestMethod::RiseTime)
        return QStringLiteral("ns");
    return shownUnitOf(nominal(), nominalUnit(test().function)).text;
}

QString ProcedureRunner::liveErrorText() const
{
    if (stage_ != Stage::Point || method() != TestMethod::Deviation)
        return {};
    const NumberFormat format = bench_.numberFormat();
    const double actual = bench_.LastVoltsPerDivisionSent() * test().divisions;
    const double error = errorOf(nominal(), actual);
    const ShownUnit shown = shownUnitOf(nominal(), QStringLiteral("V"));
    QString inUnit = QString::number(error / shown.scale, 'f', 4);
    QString percent = QString::number(actual != 0 ? error / actual * 100 : 0.0, 'f', 3);
    for (QString* s : {&inUnit, &percent})
        s->replace(u'.', format.decimalSeparator).replace(u'-', format.negativeSign);
    return QStringLiteral("Unit's error: %1 %2 (%3 %)").arg(inUnit, shown.text, percent);
}

} // namespace tarn
