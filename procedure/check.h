#pragma once
// The procedure checker: reads a procedure file and names each problem on
// its line, without a display and without the calibrator. With a
// calibrator file it also works out what can be known of each
// point's uncertainty before the run.

#include <QString>
#include <QTextStream>

namespace tarn {

struct ProcedureCheckOptions {
    // The calibrator file to use; empty: none.
    QString calibratorFile;
    // Print each point's uncertainty budget as a table.
    bool budget = false;
    // Where the shipped oscilloscope drivers are; empty: "drivers" beside the program.
    QString driversFolder;
};

// Writes "FILE:LINE: message" for each problem and returns 1, or
// "FILE: N tests, M points" and returns 0. A point whose test uncertainty
// ratio is below the procedure's min_tur gets a "FILE:LINE: warning: ..."
// line; warnings alone keep 0.
int RunProcedureCheck(const QString& file, QTextStream& out, const ProcedureCheckOptions& options = {});

} // namespace tarn
