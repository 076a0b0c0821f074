#pragma once
// The main window's keys. Each panel has a table of keys, each key standing
// for one click of one of its buttons (or a keypad's clear and abandon
// steps), so that typing reaches the same handlers as the mouse, with the
// same checks and message boxes. The window's own keys choose a function
// and open the command log, the operator's guide and the procedure
// runner.

#include "app/form.h"

#include <QtCore/qnamespace.h>

#include <vector>

namespace tarn {

enum class KeyCommand {
    Click,           // one click of `control`
    ClearTyping,     // the keypad's clear key `control`, only while an entry is typed
    AbandonEntry,    // the entry being typed on the keypad of `control` is given up
    OpenCommandLog,
    OpenGuide,
    OpenProcedure,
};

struct KeyAction {
    Qt::Key key;
    // Ctrl or none; Shift (for "%" and capitals) and the numeric pad do not count.
    Qt::KeyboardModifiers modifiers;
    KeyCommand command;
    const char* control = nullptr;
    int index = kNoIndex;
    // Shown in the control's tool tip, when the key is named there.
    const char* tip = nullptr;
};

// What the view does with a key press.
enum class KeyResult {
    Ignored,         // not one of the window's keys here: the focused control takes it
    Done,            // taken (and acted on, unless the window is busy)
};

// The keys of the window and of each function panel, by function index.
const std::vector<KeyAction>& WindowKeys();
const std::vector<KeyAction>& PanelKeys(int functionIndex);

// Names each tip key in its control's tool tip: "Hz (H)".
void AddKeyTips(FormModel& form);

} // namespace tarn
