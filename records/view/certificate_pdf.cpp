#include "records/view/certificate_pdf.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QRegularExpression>
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
    // The block begins a new page (the appendix).
    bool newPage = false;
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

    // A table: the header, then one block per row. Columns are sized from
    // their contents: a number is never wrapped or clipped, and the columns
    // in `wrapping` (names, settings) take what is left and wrap at spaces
    // only. Where the page is too narrow the type is made smaller.
    void table(const QStringList& columns, const QList<QStringList>& rows, const QList<int>& wrapping)
    {
        // Inside a name or setting, a number stays with its unit.
        static const QRegularExpression numberSpace(QStringLiteral("(\\d) "));
        QList<QStringList> body = rows;
        for (QStringList& row : body)
            for (int c : wrapping)
                if (c < row.size())
                    row[c].replace(numberSpace, QStringLiteral("\\1\u00a0"));
        const double pad = mm(0.6);
        double size = 6.5;
        std::vector<double> widths;
        for (;; size -= 0.5) {
            widths = columnWidths(columns, body, wrapping, font(size), font(size, true), pad);
            if (!widths.empty() || size <= 5.0)
                break;
        }
        if (widths.empty())  // too much even at the smallest type: shares of the width
            widths.assign(columns.size(), width_ / columns.size());
        const auto cells = [this, widths, pad](const QStringList& texts, const QFont& f, bool shaded,
                                               const QList<int>& wrap) {
            double h = 0;
            for (int i = 0; i < texts.size(); ++i) {
                const int flags = wrap.contains(i) ? int(Qt::TextWordWrap) : 0;
                h = std::max(h, QFontMetricsF(f, device_)
                                    .boundingRect(QRectF(0, 0, widths[i] - 2 * pad, 1e7), flags, texts[i])
                                    .height());
            }
            h += 2 * pad;
            return Block{h, [texts, f, widths, shaded, wrap, pad](QPainter& p, const QRectF& r) {
                             p.setFont(f);
                             double x = r.left();
                             for (int i = 0; i < texts.size(); ++i) {
                                 const QRectF cell(x, r.top(), widths[i], r.height());
                                 if (shaded)
                                     p.fillRect(cell, QColor(225, 225, 225));
                                 p.setPen(QPen(Qt::black, mm(0.15)));
                                 p.drawRect(cell);
                                 p.drawText(cell.adjusted(pad, pad, -pad, -pad),
                                            wrap.contains(i) ? int(Qt::TextWordWrap) : 0, texts[i]);
                                 x += widths[i];
                             }
                         }};
        };
        QList<int> every;
        for (int i = 0; i < columns.size(); ++i)
            every << i;
        const int header = add(cells(columns, font(size, true), true, every));
        blocks[header].keepWithNext = true;
        for (const QStringList& row : body) {
            Block b = cells(row, font(size), false, wrapping);
            b.header = header;
            add(std::move(b));
        }
    }

    // A block that starts a new page.
    void pageBreak()
    {
        Block b{0, [](QPainter&, const QRectF&) {}};
        b.newPage = true;
        add(std::move(b));
    }

    void chart(const QList<PointResult>& points);

    std::vector<Block> blocks;

private:
    // The widths of a table's columns at one type size, or none when they
    // do not fit the width.
    std::vector<double> columnWidths(const QStringList& columns, const QList<QStringList>& rows,
                                     const QList<int>& wrapping, const QFont& f, const QFont& bold,
                                     double pad) const
    {
        const QFontMetricsF body(f, device_);
        const QFontMetricsF head(bold, device_);
        const auto lines = [](const QFontMetricsF& m, const QString& text) {
            double w = 0;
            for (const QString& line : text.split(QLatin1Char('\n')))
                w = std::max(w, m.horizontalAdvance(line));
            return w;
        };
        const auto longestWord = [](const QFontMetricsF& m, const QString& text) {
            double w = 0;
            for (const QString& word : text.split(QRegularExpression(QStringLiteral("[ \n]")), Qt::SkipEmptyParts))
                w = std::max(w, m.horizontalAdvance(word));
            return w;
        };
        const int n = int(columns.size());
        std::vector<double> least(n), natural(n);
        for (int c = 0; c < n; ++c) {
            // A heading may wrap at its spaces whatever the column.
            least[c] = longestWord(head, columns[c]);
            natural[c] = std::max(least[c], wrapping.contains(c) ? lines(head, columns[c]) : 0.0);
            for (const QStringList& row : rows) {
                if (c >= row.size())
                    continue;
                if (wrapping.contains(c)) {
                    least[c] = std::max(least[c], longestWord(body, row[c]));
                    natural[c] = std::max(natural[c], lines(body, row[c]));
                } else {
                    least[c] = std::max(least[c], lines(body, row[c]));
                    natural[c] = std::max(natural[c], least[c]);
                }
            }
            // A little slack, so that rounding in the PDF never wraps a cell.
            least[c] += 2 * pad + mm(0.4);
            natural[c] += 2 * pad + mm(0.4);
        }
        double sumLeast = 0, sumNatural = 0;
        for (int c = 0; c < n; ++c) {
            sumLeast += least[c];
            sumNatural += natural[c];
        }
        if (sumLeast > width_)
            return {};
        std::vector<double> widths(n);
        if (sumNatural <= width_) {
            // Everything fits on one line: what is left is shared out.
            const double spare = (width_ - sumNatural) / n;
            for (int c = 0; c < n; ++c)
                widths[c] = natural[c] + spare;
        } else {
            // The longest names wrap first: every wrapping column is held to
            // one cap (but not below its longest word), the cap as wide as
            // the width allows.
            const auto widthsAt = [&](double cap) {
                double sum = 0;
                for (int c = 0; c < n; ++c) {
                    widths[c] = wrapping.contains(c) ? std::max(least[c], std::min(natural[c], cap)) : natural[c];
                    sum += widths[c];
                }
                return sum;
            };
            double low = 0, high = width_;
            for (int step = 0; step < 40; ++step) {
                const double cap = (low + high) / 2;
                (widthsAt(cap) > width_ ? high : low) = cap;
            }
            widthsAt(low);
        }
        return widths;
    }

    QPaintDevice* device_;
    double width_;
};

// A point's error as a share of its tolerance on the side it falls, signed;
// none without limits on both sides.
std::optional<double> percentOfTolerance(const PointResult& pt, double error)
{
    if (!pt.nominal || !pt.lower || !pt.upper)
        return std::nullopt;
    const double side = error < 0 ? *pt.nominal - *pt.lower : *pt.upper - *pt.nominal;
    if (!(side > 0))
        return std::nullopt;
    return error / side * 100.0;
}

// Tolerance used per point as bars on a ±150 % scale with the limits at
// ±100 %, each with its ±U as an error bar; a bar beyond a limit is hatched
// and carries its value, placed inside the plot or above it, clear of the
// point numbers below. Grey and hatching keep it readable in black and
// white.
void Layout::chart(const QList<PointResult>& points)
{
    const double height = mm(58);
    add({height, [points](QPainter& p, const QRectF& area) {
             const double left = area.left() + mm(14);
             const QRectF plot(left, area.top() + mm(6), area.right() - left, area.height() - mm(15));
             const double mid = plot.center().y();
             const double perCent = plot.height() / 2 / 150.0;
             const auto yOf = [&](double v) { return mid - std::clamp(v, -150.0, 150.0) * perCent; };
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
             const QFont valueFont = font(slot > mm(6) ? 6.0 : 5.0);
             const double labelHeight = mm(2.8);
             for (int i = 0; i < points.size(); ++i) {
                 const PointResult& pt = points[i];
                 const double x = plot.left() + slot * i + slot * 0.2;
                 const double barWidth = slot * 0.6;
                 const double centre = x + barWidth / 2;
                 if (i % labelEvery == 0) {
                     p.setPen(Qt::black);
                     p.setFont(font(6.5));
                     p.drawText(QRectF(plot.left() + slot * i - mm(3), plot.bottom() + mm(0.5), slot + mm(6), mm(3.5)),
                                Qt::AlignHCenter | Qt::AlignTop, QString::number(pt.point));
                 }
                 if (!pt.toleranceUsed)
                     continue;  // a check or bandwidth point has no tolerance to use
                 const double signedUse = (pt.error && *pt.error < 0) ? -*pt.toleranceUsed : *pt.toleranceUsed;
                 const bool beyond = *pt.toleranceUsed > 100.0 + 1e-9;
                 const bool up = signedUse >= 0;
                 const QRectF bar = QRectF(QPointF(x, yOf(0)), QPointF(x + barWidth, yOf(signedUse))).normalized();
                 p.setPen(QPen(Qt::black, mm(0.2)));
                 if (beyond) {
                     p.fillRect(bar, Qt::white);
                     p.fillRect(bar, QBrush(Qt::black, Qt::BDiagPattern));
                 } else {
                     p.fillRect(bar, QColor(170, 170, 170));
                 }
                 p.drawRect(bar);
                 double outer = up ? bar.top() : bar.bottom();  // the farthest mark drawn
                 const bool clipped = std::fabs(signedUse) > 150.0;
                 if (clipped) {
                     // A wedge inside the bar's end where it runs off the scale.
                     QPainterPath w;
                     const double back = up ? mm(1.5) : -mm(1.5);
                     w.moveTo(bar.left(), outer + back);
                     w.lineTo(bar.right(), outer + back);
                     w.lineTo(centre, outer);
                     w.closeSubpath();
                     p.fillPath(w, Qt::black);
                 }
                 // ±U about the error, each end as a share of the tolerance
                 // on the side it falls.
                 if (pt.uncertainty && pt.error) {
                     const auto lo = percentOfTolerance(pt, *pt.error - *pt.uncertainty);
                     const auto hi = percentOfTolerance(pt, *pt.error + *pt.uncertainty);
                     if (lo && hi) {
                         const double top = yOf(*hi);
                         const double bottom = yOf(*lo);
                         const double cap = barWidth * 0.3;
                         p.setPen(QPen(Qt::black, mm(0.25)));
                         p.drawLine(QPointF(centre, top), QPointF(centre, bottom));
                         p.drawLine(QPointF(centre - cap, top), QPointF(centre + cap, top));
                         p.drawLine(QPointF(centre - cap, bottom), QPointF(centre + cap, bottom));
                         outer = up ? std::min(outer, top) : std::max(outer, bottom);
                     }
                 }
                 if (!beyond)
                     continue;
                 // The value beyond the farthest mark: above an upward bar (in
                 // the room above the plot where it runs off), below a
                 // downward one, but never below the plot, where the point
                 // numbers are; there it sits inside the bar on white.
                 // The table has the exact value; thousands of per cent would
                 // only crowd the neighbours here.
                 const QString v = *pt.toleranceUsed < 999.5
                                       ? QString::number(*pt.toleranceUsed, 'f', 0) + QStringLiteral("%")
                                       : QStringLiteral("> 999%");
                 p.setFont(valueFont);
                 const double textWidth = QFontMetricsF(valueFont, p.device()).horizontalAdvance(v) + mm(0.6);
                 double textY = up ? std::max(area.top(), outer - mm(0.3) - labelHeight) : outer + mm(0.3);
                 if (!up && textY + labelHeight > plot.bottom() - mm(0.3)) {
                     textY = plot.bottom() - mm(0.3) - labelHeight - (clipped ? mm(1.6) : 0.0);
                     p.fillRect(QRectF(centre - textWidth / 2, textY, textWidth, labelHeight), Qt::white);
                 }
                 p.setPen(Qt::black);
                 p.drawText(QRectF(centre - textWidth / 2, textY, textWidth, labelHeight), Qt::AlignCenter, v);
             }
             p.setFont(font(6.5));
             p.drawText(QRectF(plot.left(), area.bottom() - mm(4), plot.width(), mm(4)),
                        Qt::AlignLeft | Qt::AlignVCenter,
                        QStringLiteral("Grey bar: within the limits. Hatched bar with its value: beyond the "
                                       "limits. Line with end marks: \u00b1U. No bar: a point without a "
                                       "tolerance (check or bandwidth)."));
         }});
}

QString orNot(const QString& text, const QString& instead = QStringLiteral("not recorded"))
{
    return text.trimmed().isEmpty() ? instead : text.trimmed();
}

void addRunSection(Layout& layout, const RunRecord& run, const QString& heading, bool asLeft)
{
    layout.gap(mm(3));
    layout.paragraph(heading, font(11, true), true);
    layout.paragraph(QStringLiteral("Calibrated %1 to %2 by %3; %4.")
                         .arg(dateText(run.info.start), dateText(run.info.end), orNot(run.info.operatorName, "-"),
                              conditionsText(run.info).replace(0, 1, QStringLiteral("t"))),
                     font(8), true);
    if (asLeft)
        layout.paragraph(QStringLiteral("Adjusted before this run: %1")
                             .arg(orNot(run.info.adjustment, QStringLiteral("not recorded."))),
                         font(8), true);
    const ResultsTable table = resultsTable(run);
    layout.table(table.columns, table.rows, {1, 2});
    if (!table.notes.isEmpty())
        layout.blocks.back().keepWithNext = true;  // the notes stay under their table
    if (!table.notes.isEmpty())
        layout.paragraph(table.notes.join(QLatin1Char('\n')), font(7));
    layout.gap(mm(1.5));
    layout.paragraph(conformityStatement(run.info), font(9, true));
    layout.paragraph(QStringLiteral("Tolerance used per point (%1)").arg(heading.toLower()), font(8, true),
                     true);
    layout.chart(run.points);
}

// The appendix: each point's budget, for the runs shown.
void addBudgets(Layout& layout, const QList<std::pair<QString, const RunRecord*>>& runs)
{
    bool any = false;
    for (const auto& [name, run] : runs)
        for (const PointResult& p : run->points)
            any = any || !p.budget.isEmpty();
    if (!any)
        return;
    layout.pageBreak();
    layout.paragraph(QStringLiteral("Appendix: uncertainty budgets"), font(11, true), true);
    layout.paragraph(QStringLiteral("Each component's value is its half-width or standard deviation; "
                                    "u_i = value / divisor \u00d7 sensitivity. u_c is the root sum of "
                                    "squares of the u_i, \u03bd_eff follows from the Welch-Satterthwaite "
                                    "formula, and U = k \u00d7 u_c, rounded up to two significant digits."),
                     font(8));
    for (const auto& [name, run] : runs)
        for (const PointResult& p : run->points) {
            const QList<QStringList> rows = budgetRows(p);
            if (rows.isEmpty())
                continue;
            layout.gap(mm(2));
            layout.paragraph(QStringLiteral("Point %1%2: %3, %4")
                                 .arg(p.point)
                                 .arg(name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name), p.test,
                                      p.setting),
                             font(8, true), true);
            layout.table(budgetColumns(), rows, {0});
        }
}

void buildContent(Layout& layout, const CertificateRuns& runs, const LaboratoryInfo& lab, double width)
{
    const RunInfo& i = runs.run.info;
    const RunInfo& first = runs.asFound ? runs.asFound->info : i;
    const bool draft = isDraft(i);
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
    if (draft)
        layout.paragraph(QStringLiteral("DRAFT \u2014 not issued. This draft has no number and is not a "
                                        "certificate until it has been approved and issued."),
                         font(10, true));
    else if (!i.replacesCertificate.trimmed().isEmpty())
        layout.paragraph(QStringLiteral("This certificate replaces certificate %1.").arg(i.replacesCertificate.trimmed()),
                         font(10, true));
    layout.field(QStringLiteral("Certificate number"), draft ? QStringLiteral("none (draft)") : i.certificateNumber);
    layout.field(QStringLiteral("Date of calibration"),
                 runs.asFound ? QStringLiteral("%1 (as found), %2 (as left)")
                                    .arg(first.start.date().toString(Qt::ISODate),
                                         i.start.date().toString(Qt::ISODate))
                              : i.start.date().toString(Qt::ISODate));
    layout.field(QStringLiteral("Date of issue"),
                 draft ? QStringLiteral("not issued") : i.certificateIssued.date().toString(Qt::ISODate));
    QString customer = orNot(i.customer, QStringLiteral("-"));
    if (!i.customerAddress.trimmed().isEmpty())
        customer += QLatin1Char('\n') + i.customerAddress.trimmed();
    layout.field(QStringLiteral("Customer"), customer);
    layout.field(QStringLiteral("Unit calibrated"),
                 QStringLiteral("%1, model %2, serial number %3, asset number %4")
                     .arg(orNot(i.unitMaker, QStringLiteral("manufacturer not recorded")),
                          orNot(i.unitModel, QStringLiteral("-")), i.unitSerial, orNot(i.unitAsset, QStringLiteral("-"))));
    if (!i.instrument.trimmed().isEmpty())
        layout.field(QStringLiteral("Description"), i.instrument.trimmed());
    const QDate received = i.dateReceived.isValid() ? i.dateReceived : first.dateReceived;
    layout.field(QStringLiteral("Date received"),
                 received.isValid() ? received.toString(Qt::ISODate) : QStringLiteral("not recorded"));
    layout.field(QStringLiteral("Condition on receipt"),
                 orNot(first.condition.trimmed().isEmpty() ? i.condition : first.condition));
    layout.field(QStringLiteral("Procedure"),
                 QStringLiteral("%1, revision %2").arg(i.procedureTitle, i.procedureRevision));
    layout.field(QStringLiteral("Checked against"),
                 orNot(i.dataSheet, QStringLiteral("not stated by the procedure")));
    layout.field(QStringLiteral("Procedure SHA-256"), i.procedureSha256);
    layout.field(QStringLiteral("Conditions"), conditionsText(i));
    layout.field(QStringLiteral("Calibrator"),
                 i.calibrator.isEmpty() || i.calibrator == QLatin1String(kDemonstrationCalibrator)
                     ? QStringLiteral("The demonstration edition of TarnPilot: no calibrator was "
                                      "connected, so this is not a calibration.")
                     : i.calibrator);
    QString traceability = traceabilityText(i);
    if (runs.asFound && traceabilityText(first) != traceability)
        traceability = QStringLiteral("As found: %1\nAs left: %2").arg(traceabilityText(first), traceability);
    layout.field(QStringLiteral("Traceability"), traceability);
    layout.field(QStringLiteral("Decision rule"), decisionRuleInWords(i));
    bool anyU = false;
    for (const RunRecord* run : {runs.asFound ? &*runs.asFound : nullptr, &runs.run})
        if (run)
            for (const PointResult& p : run->points)
                anyU = anyU || p.uncertainty.has_value();
    layout.field(QStringLiteral("Measurement uncertainty"),
                 anyU ? uncertaintyStatement(lab)
                      : QStringLiteral("No uncertainty of measurement is stated for these results, since no "
                                       "calibrator file was in use."));

    QList<std::pair<QString, const RunRecord*>> budgets;
    if (runs.asFound) {
        addRunSection(layout, *runs.asFound, QStringLiteral("Results as found"), false);
        addRunSection(layout, runs.run, QStringLiteral("Results as left"), true);
        layout.gap(mm(3));
        layout.paragraph(QStringLiteral("As found and as left"), font(11, true), true);
        layout.table(comparisonColumns(), comparisonRows(*runs.asFound, runs.run), {1, 2});
        budgets = {{QStringLiteral("as found"), &*runs.asFound}, {QStringLiteral("as left"), &runs.run}};
    } else {
        addRunSection(layout, runs.run, QStringLiteral("Results"), false);
        budgets = {{QString(), &runs.run}};
    }

    layout.gap(mm(3));
    layout.paragraph(QStringLiteral("The results relate only to the item calibrated. This "
                                    "certificate shall not be reproduced except in full."),
                     font(9));
    layout.gap(mm(8));
    QString approval = QStringLiteral("Approved by (name, date):");
    if (draft)
        approval = QStringLiteral("Not approved: a draft, not issued");
    else if (!i.approvedBy.trimmed().isEmpty())
        approval = QStringLiteral("Approved by %1 on %2")
                       .arg(i.approvedBy.trimmed(),
                            (i.approved.isValid() ? i.approved : i.certificateIssued).date().toString(Qt::ISODate));
    layout.add({mm(16), [i, width, approval](QPainter& p, const QRectF& r) {
                    const double w = width / 2 - mm(5);
                    const struct {
                        double x;
                        QString label;
                    } lines[] = {
                        {r.left(), QStringLiteral("Calibrated by: ") + i.operatorName},
                        {r.left() + width / 2 + mm(5), approval},
                    };
                    p.setFont(font(9));
                    for (const auto& l : lines) {
                        p.setPen(QPen(Qt::black, mm(0.25)));
                        p.drawLine(QPointF(l.x, r.top() + mm(9)), QPointF(l.x + w, r.top() + mm(9)));
                        p.drawText(QRectF(l.x, r.top() + mm(10), w, mm(5)), Qt::AlignLeft, l.label);
                    }
                }});
    const QString endMark = draft ? QStringLiteral("*** End of draft (not issued) ***")
                                  : QStringLiteral("*** End of certificate %1 ***").arg(i.certificateNumber);
    addBudgets(layout, budgets);
    layout.gap(mm(4));
    layout.paragraph(endMark, font(9, true), false, Qt::AlignHCenter);
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
        const bool draft = isDraft(runs.run.info);
        writer.setTitle(draft ? QStringLiteral("Calibration Certificate (draft, not issued)")
                              : QStringLiteral("Calibration Certificate ") + runs.run.info.certificateNumber);
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
            if ((blocks[b].newPage || y + need > body.bottom()) && !pages.back().empty()) {
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
                             draft ? QStringLiteral("DRAFT \u2014 not issued")
                                   : QStringLiteral("Certificate ") + runs.run.info.certificateNumber);
            if (draft) {
                // Across the middle of the page, light enough to read the
                // results through; level, so that a text search finds it.
                painter.save();
                painter.setFont(font(44, true));
                painter.setPen(QColor(210, 210, 210));
                painter.drawText(QRectF(paper.left(), paper.center().y() - mm(15), paper.width(), mm(30)),
                                 Qt::AlignCenter, QStringLiteral("DRAFT \u2014 not issued"));
                painter.restore();
            }
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
