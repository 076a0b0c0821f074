#pragma once
// Validation of a Digital Calibration Certificate (DCC 3.3.0) against the
// schema set shipped with the program, through libxml2, with its XML
// catalog and without the network: the schemas' own https addresses are
// mapped to the local files, and nothing else is fetched.

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarn {

struct DccProblem {
    int line = 0;  // 0 when the problem has no place in the document
    QString message;

    friend bool operator==(const DccProblem&, const DccProblem&) = default;
};

// The schema set's folder (holding catalog.xml, dcc/ and si/): dcc-schemas
// beside the program when it is there, else the source tree's copy.
QString dccSchemaFolder(const QString& applicationFolder);

// The problems of a document; none when it is a valid DCC. A document that
// cannot be read as XML, or a schema set that cannot be read, is a problem
// too.
QList<DccProblem> validateDcc(const QByteArray& document, const QString& schemaFolder);

// "FILE:LINE: message", one line per problem.
QString dccProblemLines(const QString& file, const QList<DccProblem>& problems);

} // namespace tarn
