#include "toml/toml_reader.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(TomlReader, RefusesWhatWouldMisleadTheParserOnItsLine)
{
    const struct {
        QByteArray text;
        int line;
        const char* message;
    } cases[] = {
        {"a = 1\ntol\xc3\xa9rance = \"2%\"\n", 2,
         "the character '\xc3\xa9' (U+00E9) can only stand inside quotes or a comment"},
        {"tolerance = \"2%\"\xc2\xa0\n", 1, "the character U+00A0 can only stand inside quotes or a comment"},
        {"a = 1\xe2\x80\xa8\n", 1, "the character U+2028 can only stand inside quotes or a comment"},
        {"\xef\xbb\xbf" "a = 1\n\xef\xbb\xbf", 2, "the character U+FEFF can only stand inside quotes or a comment"},
        {"a = \"caf\xe9\"\n", 1, "the byte 0xE9 is not UTF-8; save the file as UTF-8"},
        {"a = 1\n# \xc0\xaf overlong\n", 2, "the byte 0xC0 is not UTF-8; save the file as UTF-8"},
        {"a = \"\xed\xa0\x80\"\n", 1, "the byte 0xED is not UTF-8; save the file as UTF-8"},
        {"a = \"\xe2\x82\"", 1, "the byte 0xE2 is not UTF-8; save the file as UTF-8"},
        {"s = \"\"\"\\\n\xc2\xa7\"\"\"\n", 2,
         "in a multi-line string, the character '\xc2\xa7' (U+00A7) cannot come first on a line after a "
         "line-ending backslash; put it after an ASCII character or write it as \\u00A7"},
        {"s = \"\"\"x \\  \r\n\n   \xf0\x9f\x98\x80\"\"\"\n", 3,
         "in a multi-line string, the character '\xf0\x9f\x98\x80' (U+1F600) cannot come first on a line after a "
         "line-ending backslash; put it after an ASCII character or write it as \\U0001F600"},
        {"s = \"\"\"\\ \xc3\xa9\"\"\"\n", 1,
         "in a multi-line string, the character '\xc3\xa9' (U+00E9) cannot follow a backslash and blank space; "
         "a backslash ends a line only at its end"},
        {"s = \"\"\"\n\\\xc3\xa9\"\"\"\n", 2,
         "in a multi-line string, the character '\xc3\xa9' (U+00E9) cannot follow a backslash; write it as \\u00E9 "
         "or without the backslash"},
        {"[[[test]]]\n", 1, "a table header opens with [ or [[, not with three brackets"},
        {"a = 1\n  [[ [x]]\n", 2, "a table header opens with [ or [[, not with three brackets"},
        {"[[=\n", 1,
         "a table header must begin with a key (a letter, digit, - or _, or a quoted key), not with '='"},
        {"x = [1,\n2]\n[\n", 3,
         "a table header must begin with a key (a letter, digit, - or _, or a quoted key), not with the end of the "
         "line"},
        {"points = [0.001, # a comment }\n  0.005,} 0.01]\n", 2, "'}' cannot close a list; a list ends with ']'"},
        // A quote where no key or value begins is read by toml++ as part of a mistyped value.
        {"title = -\"Pr\xc3\xbc" "fung\"\n", 1,
         "the character '\xc3\xbc' (U+00FC) can only stand inside quotes or a comment; the quote before it does "
         "not begin a string there"},
        {"a = 1.\"\xc3\xa9\"\n", 1,
         "the character '\xc3\xa9' (U+00E9) can only stand inside quotes or a comment; the quote before it does "
         "not begin a string there"},
        {"d = 1979-05-27 07:32'\xc3\xa9'\n", 1,
         "the character '\xc3\xa9' (U+00E9) can only stand inside quotes or a comment; the quote before it does "
         "not begin a string there"},
        // After a string closed by four quotes, the next line is a header.
        {"s = \"\"\"a\"\"\"\"\n[.b]\n", 2,
         "a table header must begin with a key (a letter, digit, - or _, or a quoted key), not with '.'"},
        {"ok.a.b.c.d.e.f.g.h.i.j.k.l.m.n.o = 1\nx = 1\na.a.a.a.a.a.a.a.a.a.a.a.a.a.a.a.a = 1\n", 3,
         "a key of more than 16 dotted parts is too deep to be read"},
        {"[a.a.a.a.a.a.a.a.a.a.a.a.a.a.a.a.a]\n", 1, "a key of more than 16 dotted parts is too deep to be read"},
        {"t = { a.a.a.a.a.a.a.a.a.a.a.a.a.a.a.a.a = 1 }\n", 1, "a key of more than 16 dotted parts is too deep to be read"},
        {"[\x0bspec]\n", 1,
         "a table header must begin with a key (a letter, digit, - or _, or a quoted key), not with the character "
         "U+000B"},
    };
    for (const auto& c : cases) {
        const auto problem = ScanTomlText(c.text);
        ASSERT_TRUE(problem) << c.text.toStdString();
        EXPECT_EQ(problem->line, c.line) << c.text.toStdString();
        EXPECT_EQ(problem->message.toStdString(), c.message);
        const TomlReading reading = ReadToml(c.text);
        EXPECT_FALSE(reading.table);
        EXPECT_EQ(reading.problem->message, problem->message);
    }
}

TEST(TomlReader, PassesValidTextAndReportsSyntaxErrorsWithTheirLine)
{
    const QByteArray valid[] = {
        "\xef\xbb\xbf" "title = \"Tol\xc3\xa9rance \xc2\xa7 \xe2\x80\x94 \xf0\x9f\x98\x80\"  # \xc3\xa9t\xc3\xa9\n",
        "'cl\xc3\xa9' = 'tol\xc3\xa9rance'\n[\"d\xc3\xa9j\xc3\xa0\"]\nx = '''\n\xc3\xa9'''\n",
        "s = \"\"\"\\\n   \\u00A7 and \xc2\xa7\"\"\"\nt = \"\\u00e9\\U0001F600\"\n",
        "a.\"\xc3\xa9\" . 'b' = 1\nc = { \"k\" = [ # \xc3\xa9\n  '\xc3\xa9', \"\xc2\xa7\" ], d.\"\xc3\xa9\" = 2 }\n"
        "[x.\"\xc3\xa9\"]\ne = 1979-05-27 07:32:00 # \"\xc3\xa9\n",
        "points = [\n  [1, 2], # [\n  [[3]],\n]\n[[test]]\nname = \"]\"\n[ a . \"b\" ]\n",
        "s = \"\"\"\"a\"\" \"\"\"\"\"\n[t]\nu = \"\"\n[[v]]\nw = [{a = 1}, {b = [2, {c = 3}]}]\n",
        "[a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p]\nx = [1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5, 9.5, 10.5, 11.5, 12.5, 13.5,"
        " 14.5, 15.5, 16.5, 17.5]\ny = { a.b = 1.5, c = 2.5, d = 3.5, e = 4.5, f = 5.5, g = 6.5, h = 7.5, i = 8.5,"
        " j = 9.5, k = 10.5, l = 11.5, m = 12.5, n = 13.5, o = 14.5, p = 15.5, q = 16.5, r = 17.5 }\n",
    };
    for (const QByteArray& text : valid) {
        const TomlReading reading = ReadToml(text);
        EXPECT_FALSE(reading.problem) << text.toStdString() << ": " << reading.problem->message.toStdString();
        EXPECT_TRUE(reading.table) << text.toStdString();
    }
    EXPECT_EQ(ReadToml("s = \"\"\"\\\n   \\u00A7\"\"\"\n").table->get("s")->value<std::string>(), "\xc2\xa7");

    const TomlReading broken = ReadToml("a = 1\nb = \n");
    ASSERT_TRUE(broken.problem);
    EXPECT_EQ(broken.problem->line, 2);
    EXPECT_TRUE(broken.problem->message.startsWith(QStringLiteral("syntax error: "))) << broken.problem->message.toStdString();
}

} // namespace
} // namespace tarn
