#include "toml/toml_reader.h"

#include <algorithm>
#include <QList>

#include <string_view>
#include <utility>

namespace tarn {

namespace {

// toml++ walks a dotted key's parts recursively, without a bound of its own:
// a key of some ten thousand parts overflows the stack. No file of ours
// needs more than a few.
constexpr int kMaxKeyParts = 16;

// The length of the UTF-8 sequence at p, or 0 when it is not one: no
// overlong forms, no surrogates, nothing above U+10FFFF.
int utf8Length(const unsigned char* p, qsizetype left)
{
    const unsigned char b = p[0];
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        length = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high)
        return 0;
    for (int k = 2; k < length; ++k)
        if (p[k] < 0x80 || p[k] > 0xBF)
            return 0;
    return length;
}

// Upper-case hexadecimal digits, at least width of them.
QString hex(uint value, int width)
{
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

// "the character 'é' (U+00E9)"; a blank or invisible one by its code alone.
QString describe(char32_t c)
{
    const QString code = QStringLiteral("U+") + hex(c, 4);
    if (!QChar::isPrint(c) || QChar::isSpace(c))
        return QStringLiteral("the character %1").arg(code);
    return QStringLiteral("the character '%1' (%2)").arg(QString::fromUcs4(&c, 1), code);
}

QString escapeOf(char32_t c)
{
    return c > 0xFFFF ? QStringLiteral("\\U") + hex(c, 8) : QStringLiteral("\\u") + hex(c, 4);
}

bool isKeyStart(char32_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
           || c == '"' || c == '\'';
}

bool isBlank(char32_t c) { return c == ' ' || c == '\t'; }

// Reads the decoded text in the states toml++ reads it in, closely enough
// to know where it would test a character for blank space or enter a key.
class Scanner {
public:
    explicit Scanner(std::u32string text) : text_(std::move(text)) {}

    std::optional<TomlProblem> run()
    {
        while (i_ < text_.size()) {
            const char32_t c = text_[i_];
            std::optional<TomlProblem> problem;
            switch (state_) {
            case State::Outside: problem = outside(c); break;
            case State::Comment: endsAt(c, U'\n'); break;
            case State::Basic:
                // toml++ tests nothing of a one-line string for blank space.
                if (c == '\\' && at(i_ + 1) != '\n')
                    advance(2);
                else
                    endsAt(c, U'"');
                break;
            case State::Literal: endsAt(c, U'\''); break;
            case State::MultiBasic: problem = multiBasic(c); break;
            case State::MultiLiteral:
                if (c == '\'')
                    quotes(c);
                else
                    advance();
                break;
            }
            if (problem)
                return problem;
        }
        return std::nullopt;
    }

private:
    enum class State { Outside, Comment, Basic, Literal, MultiBasic, MultiLiteral };

    char32_t at(size_t k) const { return k < text_.size() ? text_[k] : U'\0'; }

    void advance(size_t count = 1)
    {
        for (; count > 0 && i_ < text_.size(); --count, ++i_)
            if (text_[i_] == '\n') {
                ++line_;
                lineStart_ = true;
                header_ = false;
                keyParts_ = 1;
                if (open_.empty()) {  // a line of its own: a key may begin
                    quoteOpens_ = true;
                    inKey_ = true;
                }
            }
    }

    // A comment or a one-line string ends at its closing character or,
    // mistyped, at the end of its line.
    void endsAt(char32_t c, char32_t closing)
    {
        if (c == closing || c == '\n')
            state_ = State::Outside;
        advance();
    }

    TomlProblem problem(QString message) const { return {line_, std::move(message)}; }

    std::optional<TomlProblem> outside(char32_t c)
    {
        if (c == '\n' || c == '\r' || isBlank(c)) {
            advance();
            return std::nullopt;
        }
        const bool lineStart = std::exchange(lineStart_, false);
        const bool quoteOpens = std::exchange(quoteOpens_, false);
        if (c > 0x7F) {
            QString message = describe(c) + QStringLiteral(" can only stand inside quotes or a comment");
            if (strayQuoteLine_ == line_)
                message += QStringLiteral("; the quote before it does not begin a string there");
            return problem(message);
        }
        if (c == '[' && lineStart && open_.empty())
            return tableHeader();
        const bool tripled = at(i_ + 1) == c && at(i_ + 2) == c;
        const bool inList = !open_.empty() && open_.back() == '[';
        switch (c) {
        case '#':
            state_ = State::Comment;
            quoteOpens_ = quoteOpens;
            break;
        case '"':
        case '\'':
            // Only where a key or a value begins; elsewhere toml++ reads a
            // quote as part of a mistyped value, or refuses it.
            if (!quoteOpens)
                strayQuoteLine_ = line_;
            else if (c == '"')
                state_ = tripled ? State::MultiBasic : State::Basic;
            else
                state_ = tripled ? State::MultiLiteral : State::Literal;
            break;
        case '=':
            quoteOpens_ = !header_;
            inKey_ = false;
            keyParts_ = 1;
            break;
        case '[':
        case '{':
            if (header_)
                break;
            open_.push_back(c);
            keyParts_ = 1;
            quoteOpens_ = true;
            inKey_ = c == '{';
            break;
        case ',':
            keyParts_ = 1;
            quoteOpens_ = true;
            inKey_ = !inList;
            break;
        case '.':  // a dotted key
            quoteOpens_ = inKey_;
            if ((inKey_ || header_) && ++keyParts_ > kMaxKeyParts)
                return problem(QStringLiteral("a key of more than %1 dotted parts is too deep to be read")
                                   .arg(kMaxKeyParts));
            break;
        case '}':
            // toml++ would take it for the start of a list's value.
            if (inList)
                return problem(QStringLiteral("'}' cannot close a list; a list ends with ']'"));
            [[fallthrough]];
        case ']':
            if (!header_ && !open_.empty())
                open_.pop_back();
            break;
        default: break;
        }
        advance(state_ == State::MultiBasic || state_ == State::MultiLiteral ? 3 : 1);
        return std::nullopt;
    }

    // At the '[' that opens a table header: [key] or [[key]].
    std::optional<TomlProblem> tableHeader()
    {
        size_t k = i_ + 1;
        while (isBlank(at(k)))
            ++k;
        if (at(k) == '[') {
            ++k;
            while (isBlank(at(k)))
                ++k;
            if (at(k) == '[')
                return problem(QStringLiteral("a table header opens with [ or [[, not with three brackets"));
        }
        const char32_t first = at(k);
        if (!isKeyStart(first)) {
            const QString seen = first == U'\0' || first == '\n' || first == '\r' ? QStringLiteral("the end of the line")
                                 : first > 0x7F || first < 0x20 || first == 0x7F  ? describe(first)
                                                   : QStringLiteral("'%1'").arg(QString::fromUcs4(&first, 1));
            return problem(QStringLiteral("a table header must begin with a key (a letter, digit, - or _, or a "
                                          "quoted key), not with %1").arg(seen));
        }
        advance(k - i_);
        header_ = true;
        quoteOpens_ = true;
        inKey_ = true;
        return std::nullopt;
    }

    std::optional<TomlProblem> multiBasic(char32_t c)
    {
        if (c == '"') {
            quotes(c);
            return std::nullopt;
        }
        if (c != '\\') {
            advance();
            return std::nullopt;
        }
        const char32_t escaped = at(i_ + 1);
        if (escaped > 0x7F)
            return problem(QStringLiteral("in a multi-line string, %1 cannot follow a backslash; write it as %2 "
                                          "or without the backslash").arg(describe(escaped), escapeOf(escaped)));
        if (!isBlank(escaped) && escaped != '\r' && escaped != '\n') {
            advance(2);  // an ordinary escape
            return std::nullopt;
        }
        // A line-ending backslash: toml++ passes over the blank space and
        // line breaks that follow, testing each character for blank space.
        advance();
        const int line = line_;
        while (isBlank(at(i_)) || at(i_) == '\r' || at(i_) == '\n')
            advance();
        const char32_t first = at(i_);
        if (first > 0x7F && line_ == line)
            return problem(QStringLiteral("in a multi-line string, %1 cannot follow a backslash and blank space; "
                                          "a backslash ends a line only at its end").arg(describe(first)));
        if (first > 0x7F)
            return problem(QStringLiteral("in a multi-line string, %1 cannot come first on a line after a "
                                          "line-ending backslash; put it after an ASCII character or write it as %2")
                               .arg(describe(first), escapeOf(first)));
        return std::nullopt;
    }

    // At a quote in a multi-line string: three close it, and up to two
    // more belong to the string; fewer are part of it.
    void quotes(char32_t quote)
    {
        size_t run = 0;
        while (at(i_ + run) == quote)
            ++run;
        if (run >= 3) {
            state_ = State::Outside;
            quoteOpens_ = false;
            run = std::min<size_t>(run, 5);
        }
        advance(run);
        lineStart_ = false;
    }

    std::u32string text_;
    size_t i_ = 0;
    int line_ = 1;
    State state_ = State::Outside;
    bool lineStart_ = true;  // nothing but blank space yet on this line
    bool header_ = false;    // in a table header's line
    std::u32string open_;    // the brackets of a value's open lists and inline tables
    bool quoteOpens_ = true; // a key or a value may begin here
    bool inKey_ = true;      // in a key: a dot goes on to the next part
    int keyParts_ = 1;       // the parts of the key in hand: toml++ recurses once per part
    int strayQuoteLine_ = 0; // of the last quote that began no string
};

} // namespace

std::optional<TomlProblem> ScanTomlText(const QByteArray& text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.constData());
    const qsizetype bom = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;  // toml++ passes over it
    int line = 1;
    for (qsizetype k = bom; k < text.size();) {
        const int length = utf8Length(bytes + k, text.size() - k);
        if (length == 0)
            return TomlProblem{line, QStringLiteral("the byte 0x%1 is not UTF-8; save the file as UTF-8")
                                         .arg(hex(bytes[k], 2))};
        line += bytes[k] == '\n';
        k += length;
    }
    const QList<uint> codes = QString::fromUtf8(text.mid(bom)).toUcs4();
    return Scanner(std::u32string(codes.begin(), codes.end())).run();
}

TomlReading ReadToml(const QByteArray& text)
{
    TomlReading out;
    out.problem = ScanTomlText(text);
    if (out.problem)
        return out;
    try {
        out.table = toml::parse(std::string_view(text.constData(), static_cast<size_t>(text.size())));
    } catch (const toml::parse_error& e) {
        out.problem = TomlProblem{std::max(1, static_cast<int>(e.source().begin.line)),
                                  QStringLiteral("syntax error: ")
                                      + QString::fromUtf8(e.description().data(),
                                                          static_cast<qsizetype>(e.description().size()))};
    }
    return out;
}

int tomlLine(const toml::node& node)
{
    return static_cast<int>(node.source().begin.line);
}

QString tomlText(const toml::node& node)
{
    const auto* s = node.as_string();
    return s ? QString::fromStdString(s->get()) : QString();
}

QString tomlKey(const toml::key& key)
{
    return QString::fromUtf8(key.str().data(), static_cast<qsizetype>(key.str().size()));
}

QString OneLine(const QString& message)
{
    QString out;
    out.reserve(message.size());
    for (const QChar c : message) {
        if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c.category() == QChar::Other_Control)
            out += QStringLiteral("\\u") + QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0');
        else
            out += c;
    }
    return out;
}

} // namespace tarn
