#pragma once
// The procedure file's keys for the unit under test: the [uut] table and a
// test's `measure`. Used by the procedure reader.

#include "procedure/procedure.h"

#include <toml++/toml.h>

namespace tarn {

std::optional<ProcedureUut> ReadUutTable(const toml::table& root, QList<ProcedureProblem>& problems);
// After the test's other keys: its `measure`, and then `readings` defaults to 5.
void ReadMeasureKey(const toml::table& t, ProcedureTest& test, QList<ProcedureProblem>& problems);

// The unit's driver as the procedure names it, found (shipped in
// `driversFolder`, empty for "drivers" beside the program, or a path from
// the procedure file's folder) and read, and each test's `measure` in it.
QList<ProcedureProblem> CheckProcedureUut(const Procedure& procedure, const QString& procedureFile,
                                          const QString& driversFolder);
// The folder of the shipped drivers: "drivers" beside the program.
QString ShippedDriversFolder();

} // namespace tarn
