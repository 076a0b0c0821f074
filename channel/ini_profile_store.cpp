#include "channel/ini_profile_store.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <vector>

namespace tarn {

namespace {

// One line of the file: its text runs from `begin` to `end`; its line end
// (LF, CR LF, or a CR alone) from `end` to `next`, empty on a last line
// without one.
struct Line {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
};

// A UTF-8 signature; before the first line it is kept but not read as text.
constexpr char kSignature[] = "\xEF\xBB\xBF";

std::vector<Line> splitLines(const QByteArray& text)
{
    std::vector<Line> lines;
    qsizetype begin = 0;
    if (text.startsWith(kSignature))
        begin = 3;
    while (begin < text.size()) {
        Line line;
        line.begin = line.end = begin;
        while (line.end < text.size() && text[line.end] != '\n' && text[line.end] != '\r')
            ++line.end;
        line.next = line.end;
        if (line.next < text.size() && text[line.next] == '\r')
            ++line.next;
        if (line.next < text.size() && text[line.next] == '\n')
            ++line.next;
        lines.push_back(line);
        begin = line.next;
    }
    return lines;
}


bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The bytes from..to without the blanks around them, as a range.
struct Span {
    qsizetype begin = 0;
    qsizetype end = 0;
};

Span trimmed(const QByteArray& text, qsizetype from, qsizetype to)
{
    while (from < to && isBlank(text[from]))
        ++from;
    while (to > from && isBlank(text[to - 1]))
        --to;
    return {from, to};
}

QByteArrayView view(const QByteArray& text, Span s)
{
    return QByteArrayView(text.constData() + s.begin, s.end - s.begin);
}

// Section and key names match whatever the case of their ASCII letters.
bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

// What a line holds. Sections: "[name]", the name ends at the first "]";
// keys: "key=value", the key ends at the first "="; comments start with
// ";" or "#". Anything else (a note, a "[" without its "]", "=value" with no
// key) is kept in the file and ignored.
struct Parsed {
    LineKind kind = LineKind::Other;
    Span name;   // section or key name
    Span value;  // key value
};

Parsed parse(const QByteArray& text, const Line& line)
{
    Parsed p;
    const Span t = trimmed(text, line.begin, line.end);
    if (t.begin == t.end) {
        p.kind = LineKind::Blank;
        return p;
    }
    const char first = text[t.begin];
    if (first == ';' || first == '#') {
        p.kind = LineKind::Comment;
        return p;
    }
    if (first == '[') {
        const qsizetype close = text.indexOf(']', t.begin + 1);
        if (close >= 0 && close < t.end) {
            p.kind = LineKind::Section;
            p.name = trimmed(text, t.begin + 1, close);
            return p;
        }
    }
    const qsizetype equals = text.indexOf('=', t.begin);
    if (equals >= 0 && equals < t.end) {
        p.name = trimmed(text, t.begin, equals);
        if (p.name.begin != p.name.end) {
            p.kind = LineKind::Key;
            p.value = trimmed(text, equals + 1, t.end);
        }
    }
    return p;
}

// Where a key lives in the file. Like the private-profile functions, only
// the first section of a name counts, and in it the first line of the key;
// later duplicates are kept but neither read nor written.
struct Found {
    int section = -1;  // line of the section header
    int key = -1;      // line of the key
    int last = -1;     // last line of the section that is neither blank nor a comment
    Parsed entry;      // the key's line
};

Found find(const QByteArray& text, const std::vector<Line>& lines, QByteArrayView section,
           QByteArrayView key)
{
    Found f;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const Parsed p = parse(text, lines[static_cast<size_t>(i)]);
        if (p.kind == LineKind::Section) {
            if (f.section >= 0)
                break;  // the end of the first matching section
            if (sameName(view(text, p.name), section))
                f.section = f.last = i;
            continue;
        }
        if (f.section < 0)
            continue;
        if (p.kind != LineKind::Blank && p.kind != LineKind::Comment)
            f.last = i;
        if (f.key < 0 && p.kind == LineKind::Key && sameName(view(text, p.name), key)) {
            f.key = i;
            f.entry = p;
        }
    }
    return f;
}

// The line end that the file uses (that of its first line), or CR LF for a
// file that has none yet, as private-profile files are written everywhere.
QByteArray lineEndOf(const QByteArray& text, const std::vector<Line>& lines)
{
    for (const Line& line : lines)
        if (line.next > line.end)
            return text.mid(line.end, line.next - line.end);
    return QByteArrayLiteral("\r\n");
}

bool endsWithLineEnd(const QByteArray& text)
{
    return text.endsWith('\n') || text.endsWith('\r');
}

// The file text with the key set: its line replaced, or added after the last
// entry of its section, or the section added at the end of the file. Every
// other byte stays as it was, and a file without a final line end keeps
// ending without one.
QByteArray withValue(QByteArray text, const QByteArray& section, const QByteArray& key,
                     const QByteArray& value)
{
    const std::vector<Line> lines = splitLines(text);
    const Found f = find(text, lines, section, key);
    const QByteArray eol = lineEndOf(text, lines);

    if (f.key >= 0) {
        // The key keeps the spelling it has in the file.
        const Line& line = lines[static_cast<size_t>(f.key)];
        const QByteArray entry = view(text, f.entry.name).toByteArray() + '=' + value;
        return text.replace(line.begin, line.end - line.begin, entry);
    }
    const QByteArray entry = key + '=' + value;
    if (f.section >= 0) {
        const Line& after = lines[static_cast<size_t>(f.last)];
        if (after.next == after.end)  // the last line, without a line end
            return text.insert(after.end, eol + entry);
        return text.insert(after.next, entry + eol);
    }
    const QByteArray header = '[' + section + ']';
    // A file of a signature alone is as empty as one of no bytes.
    const bool empty = text.isEmpty() || text == kSignature;
    if (!empty && !endsWithLineEnd(text))
        return text + eol + header + eol + entry;
    return text + header + eol + entry + eol;
}

// Names and values that the file can hold so that they read back as
// written: no line breaks or NUL bytes anywhere, no "]" in a section name,
// no "=" in a key, no key that would read as a section or comment, and no
// value that reading would change (blanks at either end, enclosing quotes).
bool writable(const QByteArray& section, const QByteArray& key, const QByteArray& value)
{
    const auto hasBreak = [](const QByteArray& s) {
        return s.contains('\r') || s.contains('\n') || s.contains('\0');
    };
    const auto isTrimmed = [](const QByteArray& s) {
        return s.isEmpty() || (!isBlank(s.front()) && !isBlank(s.back()));
    };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value))
        return false;
    if (section.contains(']') || !isTrimmed(section))
        return false;
    if (key.isEmpty() || key.contains('=') || !isTrimmed(key) || key.front() == '['
        || key.front() == ';' || key.front() == '#')
        return false;
    if (!isTrimmed(value))
        return false;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return false;
    return true;
}

} // namespace

// Section, key and value travel as the platform's local 8-bit text, byte for
// byte as the 8-bit profile functions treat them; the file is worked on as
// bytes and never decoded as a whole.
QString IniProfileStore::readString(const QString& section, const QString& key,
                                    const QString& defaultValue, int bufferSize,
                                    const QString& filePath)
{
    QString value = defaultValue;
    QFile file(filePath);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.readAll();
        const Found f = find(text, splitLines(text), section.toLocal8Bit(), key.toLocal8Bit());
        if (f.key >= 0) {
            value = QString::fromLocal8Bit(view(text, f.entry.value));
            // Like the profile functions, a value enclosed in matching
            // single or double quotation marks is read without them.
            if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'')
                && value.back() == value.front())
                value = value.mid(1, value.size() - 2);
        }
    }
    // The caller's buffer holds the value and its terminator.
    if (bufferSize <= 0)
        return {};
    return value.left(bufferSize - 1);
}

bool IniProfileStore::writeString(const QString& section, const QString& key, const QString& value,
                                  const QString& filePath)
{
    const QByteArray s = section.toLocal8Bit();
    const QByteArray k = key.toLocal8Bit();
    const QByteArray v = value.toLocal8Bit();
    if (!writable(s, k, v))
        return false;

    QByteArray text;
    if (QFileInfo::exists(filePath)) {
        // A file that cannot be read is never replaced by one that holds only
        // the new key, and, like the profile functions, a read-only file is
        // not replaced at all.
        QFile file(filePath);
        if (!file.open(QIODevice::ReadWrite))
            return false;
        text = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
    }

    // Written beside the file and moved into place, so that a failed write
    // never leaves a truncated settings file behind.
    QSaveFile out(filePath);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray updated = withValue(std::move(text), s, k, v);
    if (out.write(updated) != updated.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace tarn
