// Mutated procedure files through the reader: every one ends valid or with
// problems on real lines. Run under AddressSanitizer and
// UndefinedBehaviorSanitizer it also shows that no mutant leads toml++ into
// undefined behaviour.

#include "procedure/procedure.h"
#include "toml/toml_reader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include <random>

namespace tarn {
namespace {

// Beside the README's procedure: the other functions and methods, and
// non-ASCII text where TOML allows it.
const QByteArray kSeeds[] = {
    "title = \"Short\"\ndecision = \"non-binary\"\nguard = \"10%\"\n[[test]]\nfunction = \"frequency\"\n"
    "method = \"reading\"\ntolerance = [\"-10 ppm\", \"+20 ppm\"]\npoints = [1e6, 1000]\n[[test]]\n"
    "function = \"period\"\nmethod = \"check\"\npoints = [1e-8]\n",
    "title = \"Pr\xc3\xbc" "fung \xc2\xa7 4\"   # Tol\xc3\xa9rance\ninstrument = '''\nOszilloskop \xe2\x80\x94'''\n"
    "\"revision\" = \"\"\"\\\n   \\u00A7 3 \\\n  b\"\"\"\n[[test]]\nname = 'Gain \xc2\xb5V'\n"
    "function = \"amplitude\"\nwaveform = \"square\"\ndivisions = 4\nohm50 = true\nmethod = \"reading\"\n"
    "tolerance = \"0.1 div\"\npoints = [\n  0.005, # 5 mV/div\n  0.01,\n]\n",
};

// The toml blocks of the README: the procedure file shown there.
QList<QByteArray> readmeProcedures()
{
    QFile readme(QStringLiteral(TARN_README));
    EXPECT_TRUE(readme.open(QIODevice::ReadOnly)) << TARN_README;
    const QString text = QString::fromUtf8(readme.readAll());
    static const QRegularExpression block(QStringLiteral("```toml\\n(.*?)```"),
                                          QRegularExpression::DotMatchesEverythingOption);
    QList<QByteArray> out;
    for (auto it = block.globalMatch(text); it.hasNext();) {
        const QString toml = it.next().captured(1);
        // The calibrator file's and the oscilloscope driver's
        // examples are not procedures.
        if (!toml.startsWith(QStringLiteral("[calibrator]")) && !toml.contains(QStringLiteral("[measure.")))
            out << toml.toUtf8();
    }
    return out;
}

// Typing slips and pasted characters: TOML's punctuation, non-ASCII blank
// space and letters, bytes that are not UTF-8, odd numbers.
const QByteArray kPieces[] = {
    "[", "]", "[[", "[[[", "]]", "\"", "'", "\"\"\"", "'''", "\\", "\n", "\r\n", "\r", "#", "=", ".", ",",
    "{", "}", " ", "\t", "\xc3\xa9", "\xc2\xa0", "\xc2\xa7", "\xe2\x80\xa8", "\xe3\x80\x80", "\xef\xbb\xbf",
    "\xf0\x9f\x98\x80", "\xc3", "\xff", "\xe0\x80\xaf", "\xed\xa0\x80", "\\u00A7", "\\U0001F600", "1e9999",
    "-", "0x", "nan", "inf", "1979-05-27T07:32:00Z", "true", "key", "\"\"", "\x01", "\x7f",
};

QByteArray mutated(QByteArray text, std::mt19937& random)
{
    const auto pick = [&](qsizetype n) { return n > 0 ? static_cast<qsizetype>(random() % static_cast<unsigned>(n)) : 0; };
    const int count = 1 + static_cast<int>(random() % 4);
    for (int m = 0; m < count; ++m) {
        const qsizetype at = pick(text.size() + 1);
        const QByteArray& piece = kPieces[pick(std::size(kPieces))];
        switch (random() % 6) {
        case 0: text.insert(at, piece); break;
        case 1: text.replace(at, 1, piece); break;
        case 2: text.remove(at, 1 + pick(8)); break;
        case 3: text.insert(at, char(random() % 256)); break;
        case 4: {  // a line again, elsewhere
            const qsizetype from = text.lastIndexOf('\n', at) + 1;
            const qsizetype to = text.indexOf('\n', at);
            text.insert(pick(text.size() + 1), text.mid(from, to < 0 ? -1 : to - from + 1));
            break;
        }
        default: text.truncate(at); break;
        }
    }
    return text;
}

TEST(ProcedureFuzz, EveryMutantEndsValidOrWithProblemsOnItsLines)
{
    QList<QByteArray> seeds = readmeProcedures();
    ASSERT_FALSE(seeds.isEmpty());
    for (const QByteArray& seed : kSeeds)
        seeds << seed;
    for (const QByteArray& seed : seeds)
        EXPECT_TRUE(ReadProcedure(seed).procedure) << seed.toStdString();

    std::mt19937 random(20261209);
    int valid = 0;
    int refusedBeforeParsing = 0;
    int syntaxErrors = 0;
    for (int n = 0; n < 4000; ++n) {
        const QByteArray text = mutated(seeds.at(n % seeds.size()), random);
        const ProcedureReading reading = ReadProcedure(text);
        if (reading.procedure) {
            EXPECT_TRUE(reading.problems.isEmpty());
            ++valid;
            continue;
        }
        ASSERT_FALSE(reading.problems.isEmpty()) << text.toStdString();
        for (const ProcedureProblem& p : reading.problems) {
            EXPECT_GE(p.line, 1) << p.message.toStdString() << "\n" << text.toStdString();
            EXPECT_LE(p.line, text.count('\n') + 1) << p.message.toStdString() << "\n" << text.toStdString();
            EXPECT_FALSE(p.message.isEmpty());
        }
        refusedBeforeParsing += ScanTomlText(text).has_value();
        syntaxErrors += reading.problems.first().message.startsWith(QStringLiteral("syntax error"));
    }
    // The mutants reach all three ends.
    EXPECT_GT(valid, 100);
    EXPECT_GT(refusedBeforeParsing, 100);
    EXPECT_GT(syntaxErrors, 100);
}

} // namespace
} // namespace tarn
