#include "sim/scope_model.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tarn::sim {

namespace {
constexpr double kCalibratorRiseTime = 0.3e-9;  // the fast edge's own rise time
constexpr double kSquareRiseTime = 100e-9;      // the amplitude and timing outputs' edges
}

CalibratorOutput CalibratorOutput::fromText(const QString& text)
{
    CalibratorOutput out;
    for (const QString& line : text.split(u'\n')) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("function")) out.function = value;
        else if (key == QLatin1String("amplitude")) out.amplitude = value.toDouble();
        else if (key == QLatin1String("divisions")) out.divisions = value.toInt();
        else if (key == QLatin1String("wave")) out.square = value == QLatin1String("SQ");
        else if (key == QLatin1String("frequency")) out.frequency = value.toDouble();
        else if (key == QLatin1String("period")) out.period = value.toDouble();
        else if (key == QLatin1String("duty")) out.duty = value.toDouble();
    }
    return out;
}

std::optional<double> IdealReading(const CalibratorOutput& output, MeasureKind kind, double scopeRiseTime)
{
    const QString& f = output.function;
    if (f == QLatin1String("AMPL") && !output.square) {
        // A DC level has a mean and nothing else to measure.
        if (kind == MeasureKind::Mean)
            return output.amplitude * output.divisions;
        return std::nullopt;
    }
    double level = 1.0, frequency = 0.0, duty = output.duty, edge = kSquareRiseTime;
    if (f == QLatin1String("AMPL")) {
        level = output.amplitude * output.divisions;
        frequency = 1000.0;
        duty = 50.0;
    } else if (f == QLatin1String("FREQ")) {
        frequency = output.frequency;
    } else if (f == QLatin1String("PER")) {
        if (output.period <= 0)
            return std::nullopt;
        frequency = 1.0 / output.period;
    } else if (f == QLatin1String("FR")) {
        frequency = 1e6;
        duty = 50.0;
        edge = kCalibratorRiseTime;
    } else {
        return std::nullopt;  // the output is off
    }
    if (frequency <= 0)
        return std::nullopt;
    switch (kind) {
    case MeasureKind::Amplitude:
    case MeasureKind::PeakToPeak: return level;
    case MeasureKind::Mean: return level * duty / 100.0;
    case MeasureKind::Frequency: return frequency;
    case MeasureKind::Period: return 1.0 / frequency;
    case MeasureKind::RiseTime: return std::sqrt(scopeRiseTime * scopeRiseTime + edge * edge);
    }
    return std::nullopt;
}

QRegularExpression ScopeModel::compile(const QString& command)
{
    QString pattern = QRegularExpression::escape(command.trimmed());
    pattern.replace(QStringLiteral("\\{ch\\}"), QStringLiteral("(\\d+)"));
    return QRegularExpression(QStringLiteral("^") + pattern + QStringLiteral("$"),
                              QRegularExpression::CaseInsensitiveOption);
}

ScopeModel::ScopeModel(UutDriver driver, QString identity, ScopeErrors errors)
    : driver_(std::move(driver)), identity_(std::move(identity)), errors_(errors), random_(errors.seed)
{
    for (int i = 0; i < kMeasureKindCount; ++i) {
        const auto kind = static_cast<MeasureKind>(i);
        if (const auto& m = driver_.measurement(kind)) {
            for (const QString& s : m->select)
                selects_.push_back({compile(s), kind});
            queries_.push_back({compile(m->query), kind});
        }
    }
    for (const QString& s : driver_.setup)
        setup_.push_back(compile(s));
}

QString ScopeModel::noMeasurement() const
{
    return driver_.noMeasurement.isEmpty() ? QStringLiteral("9.9E37") : driver_.noMeasurement.first();
}

std::optional<double> ScopeModel::measured(const CalibratorOutput& output, MeasureKind kind, int channel)
{
    if (channel != errors_.channel)
        return std::nullopt;
    const double scopeRise = 0.35 / (errors_.bandwidthMHz * 1e6);
    const std::optional<double> ideal = IdealReading(output, kind, scopeRise);
    if (!ideal)
        return std::nullopt;
    double value = *ideal;
    switch (kind) {
    case MeasureKind::Mean: value = value * (1 + errors_.gain) + errors_.offset; break;
    case MeasureKind::Amplitude:
    case MeasureKind::PeakToPeak: value *= 1 + errors_.gain; break;
    case MeasureKind::Frequency: value *= 1 + errors_.timebase; break;
    case MeasureKind::Period: value /= 1 + errors_.timebase; break;
    case MeasureKind::RiseTime: break;
    }
    if (errors_.noise > 0) {
        std::normal_distribution<double> normal(0.0, errors_.noise);
        value += std::fabs(value) * normal(random_);
    }
    return value;
}

QString ScopeModel::format(const QString& query, MeasureKind kind, double value) const
{
    QString text = std::isnan(value) ? noMeasurement() : QString::asprintf("%.6E", value);
    if (withUnit && !std::isnan(value))
        text += MeasureKindUnit(kind);
    if (!withHeader)
        return text;
    QString header = query;
    header.remove(u'?');
    return header + (header.contains(u' ') ? QStringLiteral(",") : QStringLiteral(" ")) + text;
}

ScopeModel::Answer ScopeModel::receive(const QString& raw, const CalibratorOutput& output)
{
    const QString line = raw.trimmed();
    Answer answer;
    if (line.compare(QLatin1String("*IDN?"), Qt::CaseInsensitive) == 0) {
        answer.reply = withHeader ? QStringLiteral("*IDN ") + identity_ : identity_;
        return answer;
    }
    if (line.compare(QLatin1String("*CLS"), Qt::CaseInsensitive) == 0
        || line.compare(QLatin1String("*RST"), Qt::CaseInsensitive) == 0)
        return answer;
    for (const QRegularExpression& s : setup_)
        if (s.match(line).hasMatch())
            return answer;

    // A select command that belongs to one measurement chooses it; one that
    // all share (a source) chooses the channel only.
    std::vector<MeasureKind> kinds;
    bool selected = false;
    for (const Template& t : selects_) {
        const QRegularExpressionMatch m = t.pattern.match(line);
        if (!m.hasMatch())
            continue;
        selected = true;
        kinds.push_back(t.kind);
        if (t.pattern.captureCount() >= 1)
            selectedChannel_ = m.captured(1).toInt();
    }
    if (selected) {
        if (std::all_of(kinds.begin(), kinds.end(), [&](MeasureKind k) { return k == kinds.front(); }))
            selectedKind_ = kinds.front();
        return answer;
    }

    kinds.clear();
    int channel = selectedChannel_;
    for (const Template& t : queries_) {
        const QRegularExpressionMatch m = t.pattern.match(line);
        if (!m.hasMatch())
            continue;
        kinds.push_back(t.kind);
        if (t.pattern.captureCount() >= 1)
            channel = m.captured(1).toInt();
    }
    if (kinds.empty()) {
        answer.known = false;
        return answer;
    }
    std::optional<MeasureKind> kind;
    if (kinds.size() == 1)
        kind = kinds.front();
    else if (selectedKind_ && std::find(kinds.begin(), kinds.end(), *selectedKind_) != kinds.end())
        kind = selectedKind_;
    const std::optional<double> value = kind ? measured(output, *kind, channel) : std::nullopt;
    answer.reply = format(line, kind.value_or(MeasureKind::PeakToPeak), value.value_or(std::nan("")));
    return answer;
}

} // namespace tarn::sim
