#include "app/view/qt_services.h"

#include "app/view/main_window_view.h"
#include "app/view/view_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <QMessageBox>
#include <QThread>

namespace tarn {

void QtMessageBoxes::setView(MainWindowView* view)
{
    view_ = view;
}

MessageResult QtMessageBoxes::show(const MessageRequest& request)
{
    // What the handler changed before asking is on screen behind the box.
    if (view_)
        view_->sync();

    QMessageBox box(view_);
    box.setWindowTitle(request.title);
    box.setText(view::screenText(request.text));
    box.setTextFormat(Qt::PlainText);
    switch (request.icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    if (request.buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        // Closing the box without choosing answers No.
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    box.setWindowModality(Qt::ApplicationModal);
    const int answer = box.exec();
    if (request.buttons == MessageButtons::YesNo)
        return answer == QMessageBox::Yes ? MessageResult::Yes : MessageResult::No;
    return MessageResult::Ok;
}

void QtPauses::sleep(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

QtBusyIndication::~QtBusyIndication()
{
    if (waiting_ && qApp)
        QApplication::restoreOverrideCursor();
}

void QtBusyIndication::setView(MainWindowView* view)
{
    view_ = view;
}

void QtBusyIndication::setWaitPointer(bool wait)
{
    if (wait == waiting_)
        return;
    waiting_ = wait;
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtBusyIndication::processEvents()
{
    if (view_)
        view_->sync();
    QCoreApplication::processEvents();
}

void QtPointerState::setView(MainWindowView* view)
{
    view_ = view;
}

bool QtPointerState::leftButtonHeldOn(const QString& name, int index) const
{
    if (!view_)
        return false;
    const auto* button = view_->findChild<QAbstractButton*>(FormModel::key(name, index));
    return button && button->isDown() && button->isVisible() && button->isEnabled();
}

bool QtDocumentViewer::open(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

NumberFormat QtNumberFormats::current() const
{
    return systemNumberFormat();
}

} // namespace tarn
