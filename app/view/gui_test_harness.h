#pragma once
// The program as main() puts it together, for widget tests: the real window,
// wait pointer and held-button query, with the pauses recorded instead of
// taken and the command pieces read from the channel's log. Message boxes
// are recorded, or shown for real when a test answers them itself.

#include "app/test_fakes.h"
#include "app/view/main_window_view.h"
#include "app/view/other_windows.h"
#include "app/workstation.h"
#include "app/view/qt_services.h"
#include "records/view/certificate_pdf.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace tarn::testing {

// What a modal message box showed, as the operator saw it.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the next modal message box with `answer` once it is open, and
// records what it showed into `seen`.
inline void answerNextBox(SeenBox& seen, QMessageBox::StandardButton answer)
{
    QTimer::singleShot(0, [&seen, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        box->button(answer)->click();
    });
}

class GuiHarness {
public:
    struct Options {
        bool realMessageBoxes = false;
        // The settings store; a settings file in memory when not given.
        ProfileStore* profile = nullptr;
        QString folder = QStringLiteral("/opt/tarn");
    };

    GuiHarness() : GuiHarness(Options{}) {}
    explicit GuiHarness(Options options) : options_(std::move(options)) {}
    ~GuiHarness()
    {
        view.reset();
        station.reset();
        core.reset();
    }
    GuiHarness(const GuiHarness&) = delete;
    GuiHarness& operator=(const GuiHarness&) = delete;

    // Loads the core and shows its window; when activated, waits until the
    // window is active and the start-up has run.
    void start(bool activate = true)
    {
        Services s;
        s.messages = options_.realMessageBoxes ? static_cast<MessageBoxes*>(&boxes) : &messages;
        s.pauses = &pauses;
        s.busy = &busy;
        s.profile = options_.profile ? options_.profile : &memoryProfile;
        s.numbers = &numbers;
        s.pointer = &pointer;
        s.certificates = &certificates;
        s.documents = &documents;
        s.windows = &windows;
        s.applicationFolder = options_.folder;
        core = std::make_unique<MainWindow>(s);
        core->Load();
        station = std::make_unique<Workstation>(*core);
        windows.setWorkstation(station.get());
        view = std::make_unique<MainWindowView>(*core);
        boxes.setView(view.get());
        busy.setView(view.get());
        pointer.setView(view.get());
        windows.attach(core.get(), view.get());
        view->show();
        if (activate) {
            view->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
            ASSERT_TRUE(core->initialised());
        }
    }

    template <typename T = QWidget>
    T* widget(const QString& key) const
    {
        return view->findChild<T*>(key);
    }

    void click(const QString& key)
    {
        QWidget* w = widget(key);
        ASSERT_NE(w, nullptr) << key.toStdString();
        QTest::mouseClick(w, Qt::LeftButton);
    }

    // The command pieces logged since the last call, joined by "/".
    QString sent()
    {
        const QString text = journal.with(QStringLiteral("piece:")).join(u'/');
        journal.clear();
        return text;
    }

    Journal journal;
    PieceLog log{journal};
    FakePauses pauses{journal};
    FakeMessages messages{journal};
    QtMessageBoxes boxes;
    QtBusyIndication busy;
    QtPointerState pointer;
    QtWindows windows;
    MemoryProfile memoryProfile;
    FixedNumbers numbers;
    PdfCertificatePrinter certificates{QPageSize(QPageSize::A4)};
    RecordedViewer documents;
    std::unique_ptr<MainWindow> core;
    std::unique_ptr<Workstation> station;
    std::unique_ptr<MainWindowView> view;

private:
    Options options_;
};

} // namespace tarn::testing
