#include "app/main_window.h"

namespace tarn {

void MainWindow::SelectFastRise()
{
    // Written directly: the prompt is not a value to remember.
    form_(QStringLiteral("lblMainDisplay")).caption = QStringLiteral("Enter measured\rrise time");
    form_(QStringLiteral("txtRiseTime")).caption.clear();
    SendCommand(QStringLiteral("FR"));
}

} // namespace tarn
