#include "procedure/check.h"

#include "procedure/procedure.h"

#include <QFile>

namespace tarn {

int RunProcedureCheck(const QString& file, QTextStream& out)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        out << file << ": cannot be read: " << in.errorString() << Qt::endl;
        return 1;
    }
    const ProcedureReading reading = ReadProcedure(in.readAll());
    for (const ProcedureProblem& p : reading.problems)
        out << file << u':' << p.line << ": " << p.message << Qt::endl;
    if (!reading.procedure)
        return 1;
    out << file << ": " << reading.procedure->tests.size() << " tests, "
        << reading.procedure->pointCount() << " points" << Qt::endl;
    return 0;
}

} // namespace tarn
