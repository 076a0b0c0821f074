#include "app/main_window.h"

#include "amplitude/amplitude_panel.h"
#include "app/version.h"
#include "channel/command_channel.h"
#include "fastrise/fast_rise_panel.h"
#include "timing/frequency_panel.h"
#include "timing/period_panel.h"
#include "timing/timer_model.h"

#include <algorithm>

namespace tarn {

MainWindow::MainWindow(Services services)
    : services_(std::move(services)),
      link_(services_, commandLog_, *this),
      channel_(services_, commandLog_, link_, *this),
      settings_(services_, channel_, link_)
{
    BuildLayout(form_);
    AddKeyTips(form_);
    connectHandlers();
    amplitude_ = std::make_unique<AmplitudePanel>(*this);
    timerModel_ = std::make_unique<TimerModel>(*this);
    frequencyPanel_ = std::make_unique<FrequencyPanel>(*this, *timerModel_);
    periodPanel_ = std::make_unique<PeriodPanel>(*this, *timerModel_);
    fastRisePanel_ = std::make_unique<FastRisePanel>(*this);
}

MainWindow::~MainWindow() = default;

void MainWindow::OutputZero()
{
    amplitude_->OutputZero();
}

void MainWindow::SelectFastRise()
{
    fastRisePanel_->SelectFastRise();
}

void MainWindow::connectHandlers()
{
    form_.onClick(QStringLiteral("optFunction"), [this](int index) { SelectFunction(index); });
    form_.onClick(QStringLiteral("cmdApply"), [this](int) { Apply(); });
    form_.onClick(QStringLiteral("cmdCommandLog"), [this](int) { OpenCommandLog(); });
    form_.onClick(QStringLiteral("cmdProcedure"), [this](int) { OpenProcedure(); });
    form_.onClick(QStringLiteral("cmdHistory"), [this](int) { ShowHistory(); });
}

void MainWindow::ShowHistory(const QString& serial)
{
    if (services_.windows && form_.window().enabled)
        services_.windows->openHistory(serial);
}

void MainWindow::OpenProcedure()
{
    if (services_.procedures && form_.window().enabled)
        services_.procedures->openProcedure(QString());
}

NumberFormat MainWindow::numberFormat() const
{
    return services_.numbers ? services_.numbers->current() : NumberFormat::invariant();
}

MessageResult MainWindow::showMessage(const MessageRequest& request)
{
    return services_.messages->show(request);
}

void MainWindow::Load()
{
    state_.SuppressSend = true;
    // Plain concatenation: a root folder that already ends in a separator
    // gives two in a row, which still names the file in that root.
    state_.SettingsFilePath = services_.applicationFolder + QStringLiteral("/TarnApp.ini");
    LoadSettings();
    link_.SelectTransport(state_.SettingsFilePath);
    form_.setOptionValue(QStringLiteral("optFunction"), kAmplitude, true);
    form_.window().caption = QString::fromUtf8(transport() ? kDesignTitle : kDemoTitle);
    state_.SuppressSend = false;
}

void MainWindow::Activated()
{
    // The platform reports the window active again after every message box
    // and every return from another application. Initialising again would
    // throw away the operator's work and lengthen the title, so it runs once.
    if (initialised_)
        return;
    initialised_ = true;
    Initialise();
}

void MainWindow::Deactivated()
{
    amplitude_->WindowDeactivated();
}

void MainWindow::Close()
{
    if (closed_ || closing_)
        return;
    closing_ = true;
    link_.setClosing();
    if (initialised_)
        SendCommand(QStringLiteral("OFF"));
    closed_ = true;
    link_.Close();
}

void MainWindow::SwitchOffAtExit()
{
    if (closed_ || closing_)
        return;
    closing_ = closed_ = true;
    link_.setClosing();
    if (initialised_)
        channel_.SendAtExit(QStringLiteral("OFF"));
    link_.Close();
}

void MainWindow::Initialise()
{
    BeginBusy();
    ClearDisplay();
    form_(QStringLiteral("lblMainDisplay")).caption = QStringLiteral("Initialising...");
    form_.window().caption += QStringLiteral("  V%1.%2.%3")
                                  .arg(kVersionMajor)
                                  .arg(kVersionMinor)
                                  .arg(kVersionRevision);
    services_.busy->processEvents();

    // The caption carries the text of the indicator's start state. With a
    // transport the line is opened and the calibrator identified now, within
    // the start-up pause; a fault makes the indicator visible.
    form_(QStringLiteral("lblDeviceError")).caption = QStringLiteral("False");
    const qint64 spent = link_.Open(state_.SettingsFilePath, SerialPortNumber);

    services_.pauses->sleep(static_cast<int>(std::max<qint64>(0, 2000 - spent)));

    const int first = form_(QStringLiteral("lblDeviceError")).visible ? kSetup : kAmplitude;
    form_.setOptionValue(QStringLiteral("optFunction"), first, true);
    SelectFunction(first);

    // The decimal keys show the operator's separator, so that typed entries
    // read back with the operator's number format.
    const QString zero = formatNumber(0.0, u"0.0", numberFormat()).value_or(QStringLiteral("0.0"));
    const QString separator = decimalSeparatorOf(zero);
    form_(QStringLiteral("cmdFreqNumber"), 21).caption = separator;
    form_(QStringLiteral("cmdPeriodNumber"), 10).caption = separator;

    EndBusy();
    link_.ReportFault();
}

QString MainWindow::decimalSeparatorOf(const QString& formattedZero)
{
    // The text is "0", the separator, "0": the separator is what lies
    // between the first and the last digit (one character in most formats,
    // but a surrogate pair or a longer mark in some).
    if (formattedZero.size() < 3)
        return QStringLiteral(".");
    const qsizetype first = formattedZero.at(0).isHighSurrogate() ? 2 : 1;
    const qsizetype last = formattedZero.at(formattedZero.size() - 1).isLowSurrogate() ? 2 : 1;
    return formattedZero.mid(first, formattedZero.size() - first - last);
}

// --- Command channel, link and settings: the channel layer does the work ---

void MainWindow::SendCommand(const QString& command)
{
    if (state_.SuppressSend || closed_)
        return;
    channel_.Send(command);
}

void MainWindow::NextCommandPiece(QString& piece, QString& remainder)
{
    CommandChannel::NextCommandPiece(piece, remainder);
}

void MainWindow::CompleteCommand(bool flag) { channel_.CompleteCommand(flag); }
void MainWindow::BeginBusy() { channel_.BeginBusy(); }
void MainWindow::EndBusy() { channel_.EndBusy(); }

void MainWindow::LoadSettings()
{
    SerialPortNumber = static_cast<std::int16_t>(settings_.Load(state_.SettingsFilePath, numberFormat()));
    form_.setListIndex(QStringLiteral("cboSerialPort"), kNoIndex, SerialPortNumber - 1);
}

void MainWindow::SaveSettings()
{
    if (const auto port = settings_.Save(state_.SettingsFilePath, form_(QStringLiteral("cboSerialPort")).listText()))
        SerialPortNumber = static_cast<std::int16_t>(*port);
}

void MainWindow::Apply()
{
    SaveSettings();
    settings_.Reopen(state_.SettingsFilePath, SerialPortNumber);
}

QString MainWindow::calibratorIdentity() const
{
    return link_.calibratorIdentity();
}

namespace {
const QString kIndicator = QStringLiteral("lblDeviceError");
}

bool MainWindow::deviceErrorShown() const
{
    return form_(kIndicator).visible;
}

void MainWindow::showDeviceError(bool shown)
{
    Control& indicator = form_(kIndicator);
    if (shown)
        indicator.caption = QStringLiteral("DEVICE ERROR!");
    indicator.visible = shown;
}

void MainWindow::setInputEnabled(bool enabled)
{
    form_.window().enabled = enabled;
}

} // namespace tarn
