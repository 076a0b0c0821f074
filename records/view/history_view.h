#pragma once
// The history window on screen (frmHistory): a serial number to look up,
// its runs newest first, and the opened run's points and results file,
// with the buttons that write its CSV and certificate, correct a point,
// approve and issue the certificate, and copy waiting points to the server.
// Behaviour lives in History; this mirrors it.

#include "records/history.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace tarn {

class HistoryView : public QWidget {
    Q_OBJECT

public:
    HistoryView(Records& records, const Services& services, QWidget* parent = nullptr);

    // Shows the runs of a serial number (the box filled in and searched).
    void showSerial(const QString& serial);
    History& history() { return history_; }

private:
    void find();
    void openRow();
    void refresh();
    void fillPoints();
    void correct();
    void approve();
    // Selects the opened run's row again after the list was refilled.
    void selectCurrent();

    History history_;
    QLineEdit* serial_;
    QPushButton* find_;
    QLabel* note_;
    QTreeWidget* runs_;
    QTreeWidget* points_;
    QPlainTextEdit* csv_;
    QPushButton* writeCsv_;
    QPushButton* certificate_;
    QPushButton* correct_;
    QPushButton* approve_;
    QPushButton* dcc_;
    QPushButton* copy_;
    QLabel* pending_;
};

} // namespace tarn
