#pragma once
// The procedure checker: reads a procedure file and names each problem on
// its line, without a display and without the calibrator.

#include <QString>
#include <QTextStream>

namespace tarn {

// Writes "FILE:LINE: message" for each problem and returns 1, or
// "FILE: N tests, M points" and returns 0.
int RunProcedureCheck(const QString& file, QTextStream& out);

} // namespace tarn
