#pragma once
// The certificate as a PDF, drawn with QPainter on a QPdfWriter: blocks of
// text, the results tables and the tolerance chart laid out onto pages,
// each page with its title line, the certificate number and "Page x of y".

#include "records/certificate.h"

#include <QLocale>
#include <QPageSize>

namespace tarn {

class PdfCertificatePrinter final : public CertificatePrinter {
public:
    // Letter where the locale measures in US units, A4 elsewhere.
    static QPageSize pageSizeFor(const QLocale& locale);

    explicit PdfCertificatePrinter(QPageSize size = pageSizeFor(QLocale::system()));
    bool write(const CertificateRuns& runs, const LaboratoryInfo& laboratory, const QString& path,
               QString* error) override;

private:
    QPageSize size_;
};

} // namespace tarn
