#pragma once
// The runner window on the program put together as main() does, with its
// records folder and procedure file in a temporary folder. The runner's
// widget tests share it.

#include "app/view/gui_test_harness.h"
#include "app/view/procedure_launcher.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

namespace tarn::testing {

struct RunnerWindowHarness {
    // Starts the program and opens the runner on the procedure; false, with
    // the test failed, when either cannot be done.
    bool open(const QByteArray& procedure)
    {
        h.memoryProfile.writeString(QStringLiteral("Procedures"), QStringLiteral("Records"), dir.path(),
                                    kSettingsPath);
        h.start();
        if (::testing::Test::HasFatalFailure())
            return false;
        file = dir.filePath(QStringLiteral("procedure.toml"));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(procedure) != procedure.size()) {
            ADD_FAILURE() << "cannot write " << file.toStdString();
            return false;
        }
        out.close();
        launcher.attach(*h.station, *h.view);
        return reopen();
    }
    // Opens the runner on the same file again.
    bool reopen()
    {
        launcher.openProcedure(file);
        window = launcher.window();
        EXPECT_NE(window, nullptr);
        return window != nullptr;
    }
    QWidget* w(const char* name) const
    {
        QWidget* found = window->findChild<QWidget*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString text(const char* name) const { return static_cast<QLabel*>(w(name))->text(); }
    void click(const char* name) const { QTest::mouseClick(w(name), Qt::LeftButton); }

    QTemporaryDir dir;
    GuiHarness h;
    view::ProcedureLauncher launcher;
    QString file;
    QWidget* window = nullptr;
};

} // namespace tarn::testing
