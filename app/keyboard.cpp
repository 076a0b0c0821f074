#include "app/keyboard.h"

#include "app/main_window.h"

namespace tarn {

namespace {

constexpr Qt::KeyboardModifiers kPlain = Qt::NoModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;

struct UnitKey {
    Qt::Key key;
    const char* control;
    int index;
    const char* tip;
};

// Digits of the main row and the numeric pad, both separators, Backspace
// and Escape for a keypad whose decimal key is member `decimal`; then its
// unit and duty keys.
std::vector<KeyAction> keypadKeys(const char* digits, int decimal, const char* clear,
                                  std::initializer_list<UnitKey> units)
{
    std::vector<KeyAction> keys;
    for (int d = 0; d <= 9; ++d)
        keys.push_back({static_cast<Qt::Key>(Qt::Key_0 + d), kPlain, KeyCommand::Click, digits, d});
    keys.push_back({Qt::Key_Period, kPlain, KeyCommand::Click, digits, decimal});
    keys.push_back({Qt::Key_Comma, kPlain, KeyCommand::Click, digits, decimal});
    keys.push_back({Qt::Key_Backspace, kPlain, KeyCommand::ClearTyping, clear});
    keys.push_back({Qt::Key_Escape, kPlain, KeyCommand::AbandonEntry, clear});
    for (const UnitKey& u : units)
        keys.push_back({u.key, kPlain, KeyCommand::Click, u.control, u.index, u.tip});
    return keys;
}

bool matches(const KeyAction& action, int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers counted =
        modifiers & ~(Qt::ShiftModifier | Qt::KeypadModifier | Qt::GroupSwitchModifier);
    return action.key == key && action.modifiers == counted;
}

} // namespace

const std::vector<KeyAction>& WindowKeys()
{
    static const std::vector<KeyAction> keys = [] {
        std::vector<KeyAction> k;
        for (int i = 0; i < 5; ++i)
            k.push_back({static_cast<Qt::Key>(Qt::Key_1 + i), kCtrl, KeyCommand::Click, "optFunction", i});
        k.push_back({Qt::Key_L, kCtrl, KeyCommand::OpenCommandLog});
        k.push_back({Qt::Key_O, kCtrl, KeyCommand::OpenProcedure});
        k.push_back({Qt::Key_F1, kPlain, KeyCommand::OpenGuide});
        return k;
    }();
    return keys;
}

const std::vector<KeyAction>& PanelKeys(int functionIndex)
{
    // A key press and each automatic repeat of a held key is one click of a
    // step button: the repeat timer runs for the mouse only, so a released
    // key never steps on.
    static const std::vector<KeyAction> amplitude = {
        {Qt::Key_Up, kPlain, KeyCommand::Click, "cmdDevUp"},
        {Qt::Key_Down, kPlain, KeyCommand::Click, "cmdDevDown"},
        {Qt::Key_PageUp, kPlain, KeyCommand::Click, "cmdDevUpLarge"},
        {Qt::Key_PageDown, kPlain, KeyCommand::Click, "cmdDevDownLarge"},
        {Qt::Key_Home, kPlain, KeyCommand::Click, "cmdDevZero"},
    };
    static const std::vector<KeyAction> fastRise = {
        {Qt::Key_Return, kPlain, KeyCommand::Click, "cmdCalcRiseTime"},
        {Qt::Key_Enter, kPlain, KeyCommand::Click, "cmdCalcRiseTime"},
    };
    static const std::vector<KeyAction> frequency =
        keypadKeys("cmdFreqNumber", 21, "cmdFreqClear",
                   {{Qt::Key_H, "cmdFreqUnits", 0, "H"},
                    {Qt::Key_K, "cmdFreqUnits", 1, "K"},
                    {Qt::Key_Percent, "cmdDutyCycle", 0, "%"}});
    static const std::vector<KeyAction> period =
        keypadKeys("cmdPeriodNumber", 10, "cmdPeriodClear",
                   {{Qt::Key_U, "cmdPeriodUnits", 0, "U"},
                    {Qt::Key_M, "cmdPeriodUnits", 1, "M"},
                    {Qt::Key_S, "cmdPeriodUnits", 2, "S"},
                    {Qt::Key_Percent, "cmdDutyCycle", 1, "%"}});
    static const std::vector<KeyAction> none;
    switch (functionIndex) {
    case kAmplitude: return amplitude;
    case kFastRise: return fastRise;
    case kFrequency: return frequency;
    case kPeriod: return period;
    default: return none;
    }
}

void AddKeyTips(FormModel& form)
{
    for (int panel = kAmplitude; panel <= kSetup; ++panel)
        for (const KeyAction& action : PanelKeys(panel))
            if (action.tip) {
                Control& c = form(QString::fromLatin1(action.control), action.index);
                c.toolTip = c.caption + QStringLiteral(" (") + QString::fromLatin1(action.tip) + u')';
            }
}

void MainWindow::OpenCommandLog()
{
    if (services_.windows)
        services_.windows->openCommandLog();
}

void MainWindow::OpenGuide()
{
    if (services_.windows)
        services_.windows->openGuide();
}

KeyResult MainWindow::KeyPressed(int key, Qt::KeyboardModifiers modifiers)
{
    int shown = -1;
    for (int id : form_.group(QStringLiteral("fraFunction")))
        if (form_.at(id).visible)
            shown = form_.at(id).index;

    for (const auto* table : {&PanelKeys(shown), &WindowKeys()}) {
        for (const KeyAction& action : *table) {
            if (!matches(action, key, modifiers))
                continue;
            // Taken but not acted on while a command is being sent.
            if (!form_.window().enabled)
                return KeyResult::Done;
            if (action.command == KeyCommand::OpenCommandLog) {
                OpenCommandLog();
                return KeyResult::Done;
            }
            if (action.command == KeyCommand::OpenGuide) {
                OpenGuide();
                return KeyResult::Done;
            }
            if (action.command == KeyCommand::OpenProcedure) {
                OpenProcedure();
                return KeyResult::Done;
            }
            const QString control = QString::fromLatin1(action.control);
            // The keypad is hidden on the preset range, the step buttons
            // while deviation is off: the key then belongs to the focus.
            if (!form_.acceptsInput(control, action.index))
                continue;
            const bool typing = !state_.DisplayShowsValue;
            switch (action.command) {
            case KeyCommand::Click:
                form_.operatorClick(control, action.index);
                break;
            case KeyCommand::ClearTyping:
                // With a committed value shown, "C" would switch the output off.
                if (typing)
                    form_.operatorClick(control, action.index);
                break;
            case KeyCommand::AbandonEntry:
                if (typing)
                    ShowDisplayText(QString());
                break;
            case KeyCommand::OpenCommandLog:
            case KeyCommand::OpenGuide:
            case KeyCommand::OpenProcedure:
                break;
            }
            return KeyResult::Done;
        }
    }
    return KeyResult::Ignored;
}

} // namespace tarn
