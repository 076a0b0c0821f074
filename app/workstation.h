#pragma once
// The program's composition beyond the front panel: the calibration
// records of this workstation, and the front panel as procedures drive it.
// The window core knows neither: the runner reaches the panels through the
// bench, and its window reaches the records through RunRecords.

#include "procedure/bench.h"

#include <memory>

namespace tarn {

class MainWindow;
class Records;

class Workstation final : public RunRecords {
public:
    explicit Workstation(MainWindow& window);
    ~Workstation() override;
    Workstation(const Workstation&) = delete;
    Workstation& operator=(const Workstation&) = delete;

    MainWindow& window() { return window_; }
    Bench& bench() { return *bench_; }
    // The records as the settings file names them, read on first use.
    Records& records();

    // --- RunRecords ---------------------------------------------------------
    std::unique_ptr<ResultsSink> newSink() override;
    QString resultsFilePath(const RunInfo& info) override;
    void certificate(const QString& runId) override;
    void history(const QString& serial) override;

private:
    MainWindow& window_;
    std::unique_ptr<Bench> bench_;
    std::unique_ptr<Records> records_;
};

} // namespace tarn
