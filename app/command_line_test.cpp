#include "app/command_line.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace tarn;

namespace {

TEST(CommandLineTest, HelpVersionAndRefusals)
{
    struct Case {
        QStringList args;
        CommandLine::Action action;
        int exitCode;
        QStringList outputHas;
    };
    const QString program = QStringLiteral("/usr/bin/TarnPilot");
    const Case cases[] = {
        {{program}, CommandLine::Action::Run, 0, {}},
        {{program, "--help"}, CommandLine::Action::ShowHelp, 0,
         {"Usage: TarnPilot [options]", "--version", "--check-procedure <FILE>",
          "Check a procedure file and exit", "--check-calibrator <FILE>", "--budget", "Open the procedure runner with FILE after start-up"}},
        {{program, "-h"}, CommandLine::Action::ShowHelp, 0, {"--procedure <FILE>"}},
        {{program, "--version"}, CommandLine::Action::ShowVersion, 0, {"TarnPilot " + VersionText()}},
        {{program, "--frobnicate"}, CommandLine::Action::Refuse, 2,
         {"TarnPilot: Unknown option 'frobnicate'.", "Try 'TarnPilot --help'"}},
        {{program, "--procedure"}, CommandLine::Action::Refuse, 2, {"Missing value after '--procedure'."}},
        {{program, "--budget"}, CommandLine::Action::Refuse, 2, {"--budget goes with --check-procedure."}},
        {{program, "--calibrator", "c.toml"}, CommandLine::Action::Refuse, 2,
         {"--calibrator goes with --check-procedure."}},
        {{program, "stray.txt"}, CommandLine::Action::Refuse, 2, {"Unexpected argument 'stray.txt'."}},
        // The window system's own options are left to it.
        {{program, "-platform", "offscreen", "-style", "Fusion"}, CommandLine::Action::Run, 0, {}},
    };
    for (const Case& c : cases) {
        const CommandLine parsed = ParseCommandLine(c.args);
        const std::string label = c.args.join(' ').toStdString();
        EXPECT_EQ(parsed.action, c.action) << label;
        EXPECT_EQ(parsed.exitCode, c.exitCode) << label;
        for (const QString& part : c.outputHas)
            EXPECT_TRUE(parsed.output.contains(part)) << label << ": " << parsed.output.toStdString();
        // Qt's hidden options stay out of the help.
        EXPECT_FALSE(parsed.output.contains("platform")) << label;
    }
    EXPECT_TRUE(VersionText().contains(QRegularExpression("^\\d+\\.\\d+\\.\\d+$")));
}

TEST(CommandLineTest, ProcedureFilesAreHandedOn)
{
    const CommandLine both =
        ParseCommandLine({"TarnPilot", "--check-procedure", "a.toml", "--procedure=b b.toml"});
    EXPECT_EQ(both.action, CommandLine::Action::Run);
    EXPECT_EQ(both.checkProcedure, QString("a.toml"));
    EXPECT_EQ(both.procedure, QString("b b.toml"));
    EXPECT_EQ(ParseCommandLine({"TarnPilot", "--check-driver", "my scope.toml"}).checkDriver, QString("my scope.toml"));
    EXPECT_FALSE(both.budget);
    const CommandLine budget = ParseCommandLine(
        {"TarnPilot", "--check-procedure", "a.toml", "--budget", "--calibrator", "c.toml", "--check-calibrator=d.toml"});
    EXPECT_TRUE(budget.budget);
    EXPECT_EQ(budget.calibrator, QString("c.toml"));
    EXPECT_EQ(budget.checkCalibrator, QString("d.toml"));
    const CommandLine dcc = ParseCommandLine(
        {"TarnPilot", "--validate-dcc", "a.xml", "--dcc-summary=b.xml", "--dcc", "0f8e-11"});
    EXPECT_EQ(dcc.action, CommandLine::Action::Run);
    EXPECT_EQ(dcc.validateDcc, QString("a.xml"));
    EXPECT_EQ(dcc.dccSummary, QString("b.xml"));
    EXPECT_EQ(dcc.dccRun, QString("0f8e-11"));
    const CommandLine none = ParseCommandLine({"TarnPilot"});
    EXPECT_FALSE(none.checkProcedure.has_value());
    EXPECT_FALSE(none.checkDriver.has_value());
    EXPECT_FALSE(none.procedure.has_value());
    EXPECT_FALSE(none.validateDcc || none.dccSummary || none.dccRun);
}

} // namespace
