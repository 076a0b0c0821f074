#include "app/workstation.h"

#include "amplitude/amplitude_panel.h"
#include "app/main_window.h"
#include "records/certificate.h"
#include "records/records.h"
#include "timing/frequency_panel.h"
#include "timing/period_panel.h"
#include "uncertainty/calibrator_spec.h"

#include <QStandardPaths>

#include <algorithm>

namespace tarn {

namespace {

// The main window's function option of a test's function.
int functionOption(TestFunction function)
{
    static const int kOptions[] = {kAmplitude, kFrequency, kPeriod, kFastRise};
    return kOptions[static_cast<int>(function)];
}

// The front panel behind the bench: each call is the panel's own entry
// point or the operator's click.
class FrontPanelBench final : public Bench {
public:
    explicit FrontPanelBench(MainWindow& window) : w_(window) {}

    bool busy() const override { return !w_.form().window().enabled; }
    bool closed() const override { return w_.closed(); }
    NumberFormat numberFormat() const override { return w_.numberFormat(); }
    MessageResult showMessage(const MessageRequest& request) override { return w_.showMessage(request); }
    QString calibratorIdentity() const override { return w_.calibratorIdentity(); }
    QString setting(const QString& section, const QString& key) const override
    {
        return w_.services().profile->readString(section, key, QString(), 256, w_.state().SettingsFilePath);
    }
    void storeSetting(const QString& section, const QString& key, const QString& value) override
    {
        w_.services().profile->writeString(section, key, value, w_.state().SettingsFilePath);
    }
    QString calibratorSpecFile() const override
    {
        return calibratorSpecPath(*w_.services().profile, w_.state().SettingsFilePath,
                                  w_.services().applicationFolder);
    }

    void OutputZero() override { w_.OutputZero(); }
    void SelectFunction(TestFunction function) override
    {
        w_.form().operatorClick(QStringLiteral("optFunction"), functionOption(function));
    }
    bool FunctionSelected(TestFunction function) const override
    {
        return w_.form()(QStringLiteral("optFunction"), functionOption(function)).value;
    }
    void ApplyAmplitude(const AmplitudeSetting& setting) override { w_.amplitudePanel().ApplySetting(setting); }
    bool AmplitudeHolds(const AmplitudeSetting& setting) const override
    {
        return w_.amplitudePanel().Holds(setting);
    }
    double LastVoltsPerDivisionSent() const override { return w_.amplitudePanel().LastVoltsPerDivisionSent(); }
    void ApplyFrequency(double hertz) override { w_.frequencyPanel().ApplySetting(hertz); }
    void ApplyPeriod(double seconds) override { w_.periodPanel().ApplySetting(seconds); }
    void Click(const QString& button) override { w_.form().operatorClick(button); }

    CommandLog* commandLog() override { return &w_.commandLog(); }
    void wait(int milliseconds) override
    {
        // In short slices, the windows answering between them.
        for (int left = milliseconds;;) {
            w_.services().busy->processEvents();
            if (left <= 0)
                break;
            const int slice = std::min(left, 20);
            w_.services().pauses->sleep(slice);
            left -= slice;
        }
    }
    QString driversFolder() const override { return w_.services().applicationFolder + QStringLiteral("/drivers"); }

private:
    MainWindow& w_;
};

} // namespace

Workstation::Workstation(MainWindow& window)
    : window_(window), bench_(std::make_unique<FrontPanelBench>(window))
{
}

Workstation::~Workstation() = default;

Records& Workstation::records()
{
    if (!records_) {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                               + QStringLiteral("/records");
        records_ = std::make_unique<Records>(
            readRecordsSettings(*window_.services().profile, window_.state().SettingsFilePath, folder));
    }
    return *records_;
}

std::unique_ptr<ResultsSink> Workstation::newSink()
{
    // The records database, which writes the results file from what it stored.
    return std::make_unique<RecordsSink>(records(), window_.services().messages);
}

QString Workstation::resultsFilePath(const RunInfo& info)
{
    return records().resultsFilePath(info);
}

void Workstation::certificate(const QString& runId)
{
    // A draft until the run is approved and issued in the history window;
    // an issued one is drawn again as issued.
    showCertificate(records(), runId, window_.services());
}

void Workstation::history(const QString& serial)
{
    window_.ShowHistory(serial);
}

} // namespace tarn
