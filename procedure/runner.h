#pragma once
// The procedure runner: steps through a procedure's points, sets each on
// the calibrator through the panels' own handlers, takes the operator's
// result, judges it and hands it to the results sinks.
//
// Safety: before each test's instruction (a change of connection) the
// output is switched off and stays off until the operator continues; a
// point above 30 V is applied only when confirmed; abort, closing and the
// end of the run switch the output off.

#include "procedure/procedure.h"
#include "procedure/results.h"
#include "uut/session.h"

#include <QDate>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tarn {

class Bench;

// The particulars the operator gives before the run.
struct RunDetails {
    QString unitModel;
    QString unitSerial;
    QString unitAsset;
    QString customer;
    QString operatorName;
    QString temperature;       // as typed: a number of °C, with or without its unit
    QString humidity;          // as typed: a number of % relative humidity
    QString customerAddress;
    QString unitMaker;
    QDate dateReceived;
    QString condition;         // on receipt
};

// The particulars a run needs at least, and those often given.
RunDetails unitDetails(const QString& serial, const QString& operatorName, const QString& model = {},
                       const QString& temperature = {});

// A condition as the operator types it: a number in the operator's format,
// optionally followed by its unit ("23.1", "23,1 °C", "45 %", "45 %RH").
// Empty when it is not such a number.
std::optional<double> conditionValue(const QString& typed, const QString& unit, const NumberFormat& format);

// The results file: rewritten whole after every point, written beside and
// then renamed, so that a crash loses at most the point in hand.
class CsvResultsSink final : public ResultsSink {
public:
    explicit CsvResultsSink(QString folder) : folder_(std::move(folder)) {}
    bool beginRun(const RunInfo& info, QString* error) override;
    bool recordPoint(const RunRecord& run, const PointResult& point, QString* error) override;
    bool endRun(const RunRecord& run, QString* error) override;
    const QString& path() const { return path_; }

private:
    bool write(const RunRecord& run, QString* error);
    QString folder_;
    QString path_;
};

// Section and keys of the runner in the settings file.
inline constexpr auto kProceduresSection = "Procedures";

class ProcedureRunner {
public:
    enum class Stage {
        Details,   // before Begin
        Connect,   // a test's instruction shown, output off, until Continue
        Point,     // a point applied, awaiting its result
        Finished,  // finished or aborted
    };

    ProcedureRunner(Bench& bench, Procedure procedure, QByteArray fileBytes, QString filePath);
    // Reads a procedure file with the checker's rules; the problems, one a
    // line as the checker writes them, when it cannot be run.
    static std::unique_ptr<ProcedureRunner> open(Bench& bench, const QString& filePath,
                                                 QString* problems);

    // The sinks the results go to, besides none; not owned.
    void addSink(ResultsSink* sink) { sinks_.push_back(sink); }

    // The session with the unit under test of a procedure with a [uut]
    // table, made at Begin; by default the real connection through the
    // driver, its exchanges in the bench's command log.
    using UutSessionFactory =
        std::function<std::unique_ptr<UutSession>(const UutDriver& driver, const UutResource& resource)>;
    void setUutSessionFactory(UutSessionFactory factory) { uutFactory_ = std::move(factory); }
    // Readings are being taken from the unit: the operator's actions wait,
    // and Abort stops the run once the reading in hand is in.
    bool readingFromUnit() const { return readingFromUnit_; }
    // Told after each reading taken from the unit and each point it gave,
    // while the runner goes on by itself, so that a window can show them.
    void setProgressListener(std::function<void()> listener) { progress_ = std::move(listener); }

    // --- The operator's actions; each shows its own messages -------------
    // Refuses, with a message naming what is missing, without a serial
    // number or operator, or with a temperature or humidity that is not a
    // number; a condition outside the procedure's limits asks first.
    // Otherwise starts the run at its first test.
    bool Begin(const RunDetails& details);
    void Continue();
    // The result of a reading, risetime or deviation point; false (with a
    // message, nothing recorded) when the typed text cannot be read.
    bool Record(const QString& typed);
    // The operator's remark on the point in hand, kept with its result.
    void setRemark(const QString& remark) { remark_ = remark.trimmed(); }
    // The operator's judgement of a check point.
    void Judge(bool pass);
    void Skip();
    void Back();
    void Abort();
    // The runner's window closes: an unfinished run is aborted.
    void Close();
    // After a finished run with failed points: the operator adjusts the
    // unit and the same procedure runs again with the same particulars,
    // stored as the as-left run of the first run.
    bool canRunAgain() const;
    // What was adjusted is required; without it nothing runs.
    bool RunAgain(const QString& adjustment);
    // Whether this run is the as-left run of an adjusted unit.
    bool asLeft() const { return !record_.info.asFoundRunId.isEmpty(); }
    // A deviation step button of the main window, from the runner's keys.
    void Step(const QString& button);

    // --- What the runner window shows ------------------------------------
    Stage stage() const { return stage_; }
    const Procedure& procedure() const { return procedure_; }
    const RunRecord& record() const { return record_; }
    const ProcedureTest& test() const { return procedure_.tests.at(test_); }
    TestMethod method() const { return test().method; }
    int pointNumber() const { return number_; }  // 1-based over the procedure
    int pointCount() const { return procedure_.pointCount(); }
    bool canGoBack() const { return number_ > 1 && (stage_ == Stage::Point || stage_ == Stage::Connect); }
    QString progressText() const;
    QString stimulusText() const;  // the point as applied, with its nominal
    QString limitsText() const;
    QString readingUnit() const;   // beside the reading box
    QString liveErrorText() const; // deviation: the unit's error now
    QString rememberedOperator() const;
    // A point taken as several readings: "reading 2 of 5" while they are
    // typed; empty otherwise.
    QString readingCountText() const;
    // U, k and TUR of the point in hand as far as they are known before its
    // reading ("U = 0.37 mV (k = 2.00), TUR 2.7"); empty without a
    // calibrator file or for a check.
    QString uncertaintyText() const;
    // The point in hand's TUR is below the procedure's min_tur.
    bool belowMinTur() const;
    // The calibrator file of the run; none before Begin or without one.
    const std::optional<CalibratorSpec>& calibratorSpec() const { return spec_; }

private:
    void startTest(int test);
    void applyPoint();
    // Whether the main window still holds the point; when the operator has
    // changed it there, says so and sets the point again.
    bool pointHeld();
    bool holds() const;
    void take(PointResult result);
    void advance();
    void finish(bool aborted);
    void goTo(int number);
    bool busy() const;
    QString settingText(const NumberFormat& format, const QString& times) const;
    PointResult resultBase() const;
    double nominal() const { return test().nominal(inTest_); }
    void sinkFailed(const QString& error);
    // Reads the calibrator file for Begin; false (after saying why,
    // or when the operator declines a calibrator past its due date) when the
    // run cannot begin.
    bool readCalibratorSpec(std::optional<CalibratorSpec>* spec, bool* pastDue);
    // The point's U, k, TUR and budget, from the calibrator file.
    void addUncertainty(PointResult& result, std::optional<double> resolution) const;
    // The budget of the point in hand before its reading is typed.
    std::optional<Budget> expectedBudget() const;

    // --- The unit under test (automatic_reading.cpp) ---------------------------
    // Connects at Begin and records *IDN?; false (after saying why, or when
    // the operator declines a unit with another serial) when the run cannot begin.
    bool beginUut(const RunDetails& details);
    // After the point is applied: settle, take the test's readings, record
    // their mean; on a fault, offers Retry, the typed value, or Skip.
    void readFromUnit();
    // Records the point from its readings; false with the fault when they
    // give no result.
    bool recordReadings(const QList<double>& values, UutFault* fault);
    // True to try again; otherwise the point is skipped or left for typing.
    bool offerFallback(const UutFault& fault);

    Bench& bench_;
    Procedure procedure_;
    QByteArray fileBytes_;
    QString filePath_;
    std::vector<ResultsSink*> sinks_;
    RunRecord record_;
    RunDetails details_;
    QString remark_;
    std::optional<CalibratorSpec> spec_;
    // The readings of the point in hand taken so far, and the coarsest
    // resolution they were typed to.
    QList<double> readings_;
    double readingsResolution_ = 0.0;
    QString previousReadingUnit_;  // beside the box at the last reading taken
    Stage stage_ = Stage::Details;
    std::unique_ptr<UutSession> uut_;
    UutSessionFactory uutFactory_;
    std::function<void()> progress_;
    int uutChannel_ = 1;
    bool readingFromUnit_ = false;
    bool abortWhenRead_ = false;
    bool typedFallback_ = false;  // the point in hand's value is typed after a fault
    bool lostSaid_ = false;       // the lost connection has been said
    int test_ = 0;
    int inTest_ = 0;   // point within the test
    int number_ = 1;   // point over the procedure
};

} // namespace tarn
