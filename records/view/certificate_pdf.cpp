#include "records/view/certificate_pdf.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>

#include <cmath>
#include <functional>
#include <vector>

namespace tarn {

namespace {

constexpr int kDpi = 300;

double mm(double millimetres)
{
    return millimetres * kDpi / 25.4;
}

QFont font(double points, bool bold = false)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QString dateText(const QDateTime& time)
{
    return time.isValid() ? time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate)
                                .replace(QLatin1Char('T'), QLatin1Char(' '))
                          : QStringLiteral("not ended");
}

// One piece of the certificate's flow: its height at the page's width and
// how it paints itself at a place.
struct Block {
    double height = 0;
    std::function<void(QPainter&, const QRectF&)> paint;
    // For a table row: the block of its table's header, repeated at the top
    // of a page that the table continues on.
    int header = -1;
    // A heading stays on the page of what follows it.
    bool keepWithNext = false;
};

class Layout {
public:
    Layout(QPaintDevice* device, double width) : device_(device), width_(width) {}

    double textHeight(const QString& text, const QFont& f, double width) const
    {
        return QFontMetricsF(f, device_)
            .boundingRect(QRectF(0, 0, width, 1e7), Qt::TextWordWrap, text)
            .height();
    }

    int add(Block block)
    {
        blocks.push_back(std::move(block));
        return static_cast<int>(blocks.size()) - 1;
    }

    void gap(double height)
    {
        add({height, [](QPainter&, const QRectF&) {}});
    }

    void paragraph(const QString& text, const QFont& f, bool keepWithNext = false,
                   Qt::Alignment align = Qt::AlignLeft)
    {
        const double h = textHeight(text, f, width_) + mm(1.2);
        Block b{h, [text, f, align](QPainter& p, const QRectF& r) {
                    p.setFont(f);
                    p.drawText(r, int(align) | Qt::TextWordWrap, text);
                }};
        b.keepWithNext = keepWithNext;
        add(std::move(b));
    }

    // A label and its value side by side.
    void field(const QString& label, const QString& value)
    {
        const QFont lf = font(9, true);
        const QFont vf = font(9);
        const double labelWidth = mm(45);
        const double h = std::max(textHeight(label, lf, labelWidth - mm(2)),
                                  textHeight(value, vf, width_ - labelWidth))
                         + mm(1);
        add({h, [=](QPainter& p, const QRectF& r) {
                 p.setFont(lf);
                 p.drawText(QRectF(r.left(), r.top(), labelWidth - mm(2), r.height()),
                            Qt::TextWordWrap, label);
                 p.setFont(vf);
                 p.drawText(QRectF(r.left() + labelWidth, r.top(), r.width() - labelWidth, r.height()),
                            Qt::TextWordWrap, value);
             }});
    }

    // A table: the header, then one block per row; each column takes its
    // share of the width.
    void table(const QStringList& columns, const QList<QStringList>& rows, const std::vector<double>& share)
    {
        const auto cells = [this, share](const QStringList& texts, const QFont& f, bool shaded) {
            std::vector<double> widths;
            double h = 0;
            for (int i = 0; i < texts.size(); ++i) {
                widths.push_back(width_ * share[i]);
                h = std::max(h, textHeight(texts[i], f, widths.back() - mm(1.2)));
            }
            h += mm(1.2);
            return Block{h, [texts, f, widths, shaded](QPainter& p, const QRectF& r) {
                             p.setFont(f);
                             double x = r.left();
                             for (int i = 0; i < texts.size(); ++i) {
                                 const QRectF cell(x, r.top(), widths[i], r.height());
                                 if (shaded)
                                     p.fillRect(cell, QColor(225, 225, 225));
                                 p.setPen(QPen(Qt::black, mm(0.15)));
                                 p.drawRect(cell);
                                 p.drawText(cell.adjusted(mm(0.6), mm(0.6), -mm(0.6), -mm(0.6)),
                                            Qt::TextWordWrap, texts[i]);
                                 x += widths[i];
                             }
                         }};
        };
        const int header = add(cells(columns, font(6.5, true), true));
        blocks[header].keepWithNext = true;
        for (const QStringList& row : rows) {
            Block b = cells(row, font(6.5), false);
            b.header = header;
            add(std::move(b));
        }
    }

    void chart(const QList<PointResult>& points);

    std::vector<Block> blocks;

private:
    QPaintDevice* device_;
    double width_;
};

// Tolerance used per point as bars on a ±150 % scale with the limits at
// ±100 %; a bar beyond a limit is hatched and carries its value. Grey and
// hatching keep it readable in black and white.
void Layout::chart(const QList<PointResult>& points)
{
    const double height = mm(55);
    add({height, [points](QPainter& p, const QRectF& area) {
             const double left = area.left() + mm(14);
             const QRectF plot(left, area.top() + mm(6), area.right() - left, area.height() - mm(14));
             const double mid = plot.center().y();
             const double perCent = plot.height() / 2 / 150.0;
             const auto yOf = [&](double v) { return mid - v * perCent; };
             p.setFont(font(6.5));
             p.setPen(QPen(Qt::black, mm(0.2)));
             p.drawRect(plot);
             const struct {
                 double value;
                 Qt::PenStyle style;
                 const char* label;
             } lines[] = {{100, Qt::DashLine, "+100 %"}, {0, Qt::SolidLine, "0 %"},
                          {-100, Qt::DashLine, "-100 %"}};
             for (const auto& l : lines) {
                 p.setPen(QPen(Qt::black, mm(l.value == 0 ? 0.3 : 0.25), l.style));
                 p.drawLine(QPointF(plot.left(), yOf(l.value)), QPointF(plot.right(), yOf(l.value)));
                 p.setPen(Qt::black);
                 p.drawText(QRectF(area.left(), yOf(l.value) - mm(2), mm(13), mm(4)),
                            Qt::AlignRight | Qt::AlignVCenter, QLatin1String(l.label));
             }
             const int n = std::max<int>(1, points.size());
             const double slot = plot.width() / n;
             const int labelEvery = std::max(1, int(std::ceil(mm(4) / slot)));
             for (int i = 0; i < points.size(); ++i) {
                 const PointResult& pt = points[i];
                 const double x = plot.left() + slot * i + slot * 0.2;
                 if (i % labelEvery == 0) {
                     p.setPen(Qt::black);
                     p.drawText(QRectF(plot.left() + slot * i - mm(3), plot.bottom() + mm(0.5), slot + mm(6), mm(3.5)),
                                Qt::AlignHCenter | Qt::AlignTop, QString::number(pt.point));
                 }
                 if (!pt.toleranceUsed)
                     continue;  // a check or bandwidth point has no tolerance to use
                 const double signedUse = (pt.error && *pt.error < 0) ? -*pt.toleranceUsed : *pt.toleranceUsed;
                 const bool beyond = *pt.toleranceUsed > 100.0 + 1e-9;
                 const double shown = std::clamp(signedUse, -150.0, 150.0);
                 const QRectF bar = QRectF(QPointF(x, yOf(0)), QPointF(x + slot * 0.6, yOf(shown))).normalized();
                 p.setPen(QPen(Qt::black, mm(0.2)));
                 if (beyond) {
                     p.fillRect(bar, Qt::white);
                     p.fillRect(bar, QBrush(Qt::black, Qt::BDiagPattern));
                 } else {
                     p.fillRect(bar, QColor(170, 170, 170));
                 }
                 p.drawRect(bar);
                 if (beyond) {
                     // The value beyond the bar's end, and a wedge where the
                     // bar runs off the scale.
                     const QString v = QString::number(*pt.toleranceUsed, 'f', 0) + QStringLiteral("%");
                     const bool clipped = std::fabs(signedUse) > 150.0;
                     const bool up = shown > 0;
                     const double end = up ? bar.top() : bar.bottom();
                     const double wedge = clipped ? mm(1.5) : 0.0;
                     if (clipped) {
                         QPainterPath w;
                         w.moveTo(bar.left(), end);
                         w.lineTo(bar.right(), end);
                         w.lineTo(bar.center().x(), up ? end - wedge : end + wedge);
                         w.closeSubpath();
                         p.fillPath(w, Qt::black);
                     }
                     // Above an upward bar; below a downward one, or inside
                     // it on a white ground where the scale ends.
                     double textY = up ? end - wedge - mm(3.2) : end + mm(0.2);
                     if (!up && clipped) {
                         textY = end - mm(3.5);
                         p.fillRect(QRectF(x - mm(1), textY, slot * 0.6 + mm(2), mm(3)), Qt::white);
                     }
                     p.setPen(Qt::black);
                     p.drawText(QRectF(x - mm(4), textY, slot * 0.6 + mm(8), mm(3)), Qt::AlignCenter, v);
                 }
             }
             p.drawText(QRectF(plot.left(), area.bottom() - mm(4), plot.width(), mm(4)),
                        Qt::AlignLeft | Qt::AlignVCenter,
                        QStringLiteral("Grey bar: within the limits. Hatched bar with its value: "
                                       "beyond the limits. No bar: a point without a tolerance "
                                       "(check or bandwidth)."));
         }});
}

void addRunSection(Layout& layout, const RunRecord& run, const QString& heading)
{
    layout.gap(mm(3));
    layout.paragraph(heading, font(11, true), true);
    layout.paragraph(QStringLiteral("Calibrated %1 to %2 by %3; temperature %4, humidity %5.")
                         .arg(dateText(run.info.start), dateText(run.info.end),
                              run.info.operatorName.isEmpty() ? QStringLiteral("-") : run.info.operatorName,
                              conditionText(run.info.temperature, QStringLiteral("°C")),
                              conditionText(run.info.humidity, QStringLiteral("% rh"))),
                     font(8), true);
    QList<QStringList> rows;
    for (const PointResult& p : run.points)
        rows << certificateRow(p);
    layout.table(certificateColumns(), rows, {0.05, 0.14, 0.16, 0.09, 0.09, 0.09, 0.09, 0.14, 0.07, 0.08});
    layout.gap(mm(1.5));
    layout.paragraph(conformityStatement(run.info), font(9, true));
    layout.paragraph(QStringLiteral("Tolerance used per point (%1)").arg(heading.toLower()), font(8, true),
                     true);
    layout.chart(run.points);
}

void buildContent(Layout& layout, const CertificateRuns& runs, const LaboratoryInfo& lab, double width)
{
    const RunInfo& i = runs.run.info;
    const RunInfo& first = runs.asFound ? runs.asFound->info : i;
    layout.paragraph(certificateTitle(runs), font(16, true));
    layout.paragraph(lab.name.isEmpty() ? QStringLiteral("(laboratory name not set)") : lab.name, font(11, true));
    if (!lab.address.isEmpty())
        layout.paragraph(lab.address, font(9));
    layout.paragraph(QStringLiteral("Accreditation: %1")
                         .arg(lab.accreditation.isEmpty() ? QStringLiteral("none stated") : lab.accreditation),
                     font(9));
    layout.add({mm(3), [](QPainter& p, const QRectF& r) {
                    p.setPen(QPen(Qt::black, mm(0.3)));
                    p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
                }});
    layout.field(QStringLiteral("Certificate number"), i.certificateNumber);
    layout.field(QStringLiteral("Date of calibration"),
                 runs.asFound ? QStringLiteral("%1 (as found), %2 (as left)")
                                    .arg(first.start.date().toString(Qt::ISODate),
                                         i.start.date().toString(Qt::ISODate))
                              : i.start.date().toString(Qt::ISODate));
    layout.field(QStringLiteral("Date of issue"), i.certificateIssued.date().toString(Qt::ISODate));
    layout.field(QStringLiteral("Customer"), i.customer.isEmpty() ? QStringLiteral("-") : i.customer);
    layout.field(QStringLiteral("Unit calibrated"),
                 QStringLiteral("Model %1, serial number %2, asset number %3")
                     .arg(i.unitModel.isEmpty() ? QStringLiteral("-") : i.unitModel, i.unitSerial,
                          i.unitAsset.isEmpty() ? QStringLiteral("-") : i.unitAsset));
    layout.field(QStringLiteral("Procedure"),
                 QStringLiteral("%1, revision %2").arg(i.procedureTitle, i.procedureRevision));
    layout.field(QStringLiteral("Procedure SHA-256"), i.procedureSha256);
    layout.field(QStringLiteral("Conditions"),
                 QStringLiteral("Temperature %1, humidity %2")
                     .arg(conditionText(i.temperature, QStringLiteral("°C")),
                          conditionText(i.humidity, QStringLiteral("% rh"))));
    layout.field(QStringLiteral("Calibrator"),
                 i.calibrator.isEmpty() || i.calibrator == QLatin1String(kDemonstrationCalibrator)
                     ? QStringLiteral("The demonstration edition of TarnPilot: no calibrator was "
                                      "connected, so this is not a calibration.")
                     : i.calibrator);
    layout.field(QStringLiteral("Decision rule"), decisionRuleInWords(i));

    if (runs.asFound) {
        addRunSection(layout, *runs.asFound, QStringLiteral("Results as found"));
        addRunSection(layout, runs.run, QStringLiteral("Results as left"));
        layout.gap(mm(3));
        layout.paragraph(QStringLiteral("As found and as left"), font(11, true), true);
        layout.table(comparisonColumns(), comparisonRows(*runs.asFound, runs.run),
                     {0.06, 0.16, 0.18, 0.11, 0.08, 0.10, 0.11, 0.08, 0.12});
    } else {
        addRunSection(layout, runs.run, QStringLiteral("Results"));
    }

    layout.gap(mm(3));
    layout.paragraph(QStringLiteral("The results relate only to the item calibrated. This "
                                    "certificate shall not be reproduced except in full."),
                     font(9));
    layout.gap(mm(8));
    layout.add({mm(16), [i, width](QPainter& p, const QRectF& r) {
                    const double w = width / 2 - mm(5);
                    const struct {
                        double x;
                        QString label;
                    } lines[] = {
                        {r.left(), QStringLiteral("Calibrated by: ") + i.operatorName},
                        {r.left() + width / 2 + mm(5), QStringLiteral("Approved by (name, date):")},
                    };
                    p.setFont(font(9));
                    for (const auto& l : lines) {
                        p.setPen(QPen(Qt::black, mm(0.25)));
                        p.drawLine(QPointF(l.x, r.top() + mm(9)), QPointF(l.x + w, r.top() + mm(9)));
                        p.drawText(QRectF(l.x, r.top() + mm(10), w, mm(5)), Qt::AlignLeft, l.label);
                    }
                }});
    layout.gap(mm(4));
    layout.paragraph(QStringLiteral("*** End of certificate %1 ***").arg(i.certificateNumber), font(9, true),
                     false, Qt::AlignHCenter);
}

} // namespace

QPageSize PdfCertificatePrinter::pageSizeFor(const QLocale& locale)
{
    return QPageSize(locale.measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                             : QPageSize::A4);
}

PdfCertificatePrinter::PdfCertificatePrinter(QPageSize size) : size_(std::move(size)) {}

bool PdfCertificatePrinter::write(const CertificateRuns& runs, const LaboratoryInfo& laboratory,
                                  const QString& path, QString* error)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error)
            *error = QStringLiteral("the folder cannot be created");
        return false;
    }
    // Written beside and renamed, so that a certificate is whole or absent.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setResolution(kDpi);
        writer.setPageLayout(QPageLayout(size_, QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                         QPageLayout::Millimeter));
        writer.setTitle(QStringLiteral("Calibration Certificate ") + runs.run.info.certificateNumber);
        writer.setCreator(QStringLiteral("TarnPilot"));
        const QRectF page = writer.pageLayout().paintRectPixels(kDpi);
        const QRectF paper(0, 0, page.width(), page.height());
        const double headerHeight = mm(8);
        const double footerHeight = mm(8);
        const QRectF body = paper.adjusted(0, headerHeight, 0, -footerHeight);

        Layout layout(&writer, body.width());
        buildContent(layout, runs, laboratory, body.width());

        // Pages: each a list of (block, top).
        std::vector<std::vector<std::pair<int, double>>> pages(1);
        double y = body.top();
        const auto& blocks = layout.blocks;
        for (int b = 0; b < int(blocks.size()); ++b) {
            double need = blocks[b].height;
            if (blocks[b].keepWithNext && b + 1 < int(blocks.size()))
                need += blocks[b + 1].height;
            if (y + need > body.bottom() && !pages.back().empty()) {
                pages.emplace_back();
                y = body.top();
                const int header = blocks[b].header;
                if (header >= 0) {
                    pages.back().push_back({header, y});
                    y += blocks[header].height;
                }
            }
            pages.back().push_back({b, y});
            y += blocks[b].height;
        }

        QPainter painter;
        if (!painter.begin(&writer)) {
            if (error)
                *error = QStringLiteral("the PDF cannot be drawn");
            return false;
        }
        const QString title = certificateTitle(runs);
        const int count = int(pages.size());
        for (int n = 0; n < count; ++n) {
            if (n > 0)
                writer.newPage();
            painter.setPen(Qt::black);
            painter.setFont(font(7.5));
            painter.drawText(QRectF(paper.left(), paper.top(), paper.width(), headerHeight - mm(2)),
                             Qt::AlignLeft | Qt::AlignTop, title);
            painter.drawText(QRectF(paper.left(), paper.top(), paper.width(), headerHeight - mm(2)),
                             Qt::AlignRight | Qt::AlignTop,
                             QStringLiteral("Certificate ") + runs.run.info.certificateNumber);
            painter.setPen(QPen(Qt::black, mm(0.2)));
            painter.drawLine(QPointF(paper.left(), paper.top() + headerHeight - mm(2.5)),
                             QPointF(paper.right(), paper.top() + headerHeight - mm(2.5)));
            painter.setFont(font(8));
            painter.drawText(QRectF(paper.left(), paper.bottom() - footerHeight + mm(2), paper.width(),
                                    footerHeight - mm(2)),
                             Qt::AlignHCenter | Qt::AlignBottom,
                             QStringLiteral("Page %1 of %2").arg(n + 1).arg(count));
            for (const auto& [b, top] : pages[n]) {
                painter.save();
                painter.setPen(Qt::black);
                blocks[b].paint(painter, QRectF(body.left(), top, body.width(), blocks[b].height));
                painter.restore();
            }
        }
        painter.end();
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace tarn
