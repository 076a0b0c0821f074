#pragma once
// The main window's core: the instrument state that every panel shares, the
// control model, and the window's routines. The Qt Widgets view mirrors the
// control model and forwards the operator's actions to it.

#include "app/form.h"
#include "app/keyboard.h"
#include "channel/command_channel.h"
#include "channel/command_log.h"
#include "channel/link.h"
#include "channel/settings.h"
#include "channel/transport.h"
#include "platform/platform.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace tarn {

class AmplitudePanel;
class TimerModel;
class FrequencyPanel;
class PeriodPanel;
class FastRisePanel;

// The state owned by the main window; everything starts as zero, false or empty.
struct WindowState {
    QString SettingsFilePath;
    bool SuppressSend = false;
    bool OutputSet = false;
    bool AmplitudeUpdating = false;
    bool DisplayShowsValue = false;
    double DeviationStep = 0.0;
    double DeviationFactor = 0.0;
    double DutyCycle = 0.0;
    double CurrentPeriod = 0.0;
};

// Function indices shared by optFunction and fraFunction.
enum FunctionIndex : int {
    kAmplitude = 0,
    kFastRise = 1,
    kFrequency = 2,
    kPeriod = 3,
    kSetup = 4,
};

inline constexpr auto kDesignTitle = "Corvane Tarn Scope & Timer-Counter Calibrator";
inline constexpr auto kDemoTitle = "Corvane Tarn Scope & Timer-Counter Calibrator DEMO";

class MainWindow : private ChannelWindow {
public:
    explicit MainWindow(Services services);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    FormModel& form() { return form_; }
    const FormModel& form() const { return form_; }
    WindowState& state() { return state_; }
    const WindowState& state() const { return state_; }
    const Services& services() const { return services_; }

    // --- Lifecycle --------------------------------------------------------
    // The loading step, run once before the window is shown.
    void Load();
    // The platform reports that the window became the active window. The
    // initialising step runs the first time only.
    void Activated();
    bool initialised() const { return initialised_; }
    // The platform reports that the window is no longer the active window.
    void Deactivated();
    // The window closes and the program ends: whatever the calibrator puts
    // out is switched off ("OFF", paced, logged and written), then the line
    // is let go. Nothing is sent after it, and a line that fails now is not
    // reported: there is no window left to report it.
    void Close();
    bool closed() const { return closed_; }
    // The program ends without its window closing (the display gone): the
    // same "OFF", logged and written at once, without the busy indication
    // or pauses of a window that may no longer be there.
    void SwitchOffAtExit();

    // --- Command channel --------------------------------------------------
    // The channel's routines, as every panel calls them; nothing is sent
    // while the window loads, nor after the last "OFF" of a closed window.
    void SendCommand(const QString& command);
    static void NextCommandPiece(QString& piece, QString& remainder);
    void CompleteCommand(bool flag);
    void BeginBusy();
    void EndBusy();

    // What the channel paced and the line returned, for the command log window.
    CommandLog& commandLog() { return commandLog_; }

    // --- Main display -----------------------------------------------------
    void ShowDisplayText(const QString& text);
    void ClearDisplay();
    void DrawWaveform(double duty, bool showZeroLine, bool showMarker);
    const QString& rememberedDisplayText() const { return displayText_; }

    // --- Keyboard -----------------------------------------------------------
    // A key pressed anywhere in the window (or repeated while held).
    KeyResult KeyPressed(int key, Qt::KeyboardModifiers modifiers);
    // The command log window (Ctrl+L, "Command Log") and the guide (F1);
    // opening them changes nothing here.
    void OpenCommandLog();
    void OpenGuide();

    // --- Function selection ----------------------------------------------
    void SelectFunction(int index);

    // --- Settings and Setup panel ------------------------------------------
    std::int16_t SerialPortNumber = 0;
    void LoadSettings();
    void SaveSettings();
    void Apply();
    // cmdProcedure and the window's Ctrl+O: the procedure runner, with a
    // file chosen by the operator.
    void OpenProcedure();

    // --- Line to the calibrator -----------------------------------------------
    // The transport in use; none in the demonstration edition.
    Transport* transport() const { return link_.transport(); }
    bool deviceErrorShown() const override;

    // --- Amplitude panel ----------------------------------------------------
    // Also used by the frequency and period panels.
    void OutputZero();

    // --- Timing and fast rise panels ----------------------------------------
    TimerModel& timerModel() { return *timerModel_; }
    void SelectFastRise();

    // --- Calibration records -------------------------------------------------
    // Opens the history window, at the runs of a serial number when given.
    void ShowHistory(const QString& serial = {});

    // --- The panels, for whole settings -------------------------------------
    AmplitudePanel& amplitudePanel() { return *amplitude_; }
    FrequencyPanel& frequencyPanel() { return *frequencyPanel_; }
    PeriodPanel& periodPanel() { return *periodPanel_; }
    // The calibrator as records name it: the transport's device and the
    // identification reply, or "demonstration edition".
    QString calibratorIdentity() const;

    // --- Shared helpers -----------------------------------------------------
    // The operator's number format, as the platform reports it now.
    NumberFormat numberFormat() const;
    MessageResult showMessage(const MessageRequest& request);
    // The separator inside the operator's formatted zero "0.0".
    static QString decimalSeparatorOf(const QString& formattedZero);

private:
    void Initialise();
    void connectHandlers();
    // What the channel asks of the window.
    void setInputEnabled(bool enabled) override;
    void showDeviceError(bool shown) override;

    Services services_;
    // What the channel paced and the line returned; the link, the channel
    // and the settings that use it.
    CommandLog commandLog_;
    CalibratorLink link_;
    CommandChannel channel_;
    CommSettings settings_;
    FormModel form_;
    WindowState state_;
    QString displayText_;
    bool initialised_ = false;
    bool closing_ = false;
    bool closed_ = false;
    std::unique_ptr<AmplitudePanel> amplitude_;
    std::unique_ptr<TimerModel> timerModel_;
    std::unique_ptr<FrequencyPanel> frequencyPanel_;
    std::unique_ptr<PeriodPanel> periodPanel_;
    std::unique_ptr<FastRisePanel> fastRisePanel_;
};

} // namespace tarn
