#pragma once

#include <QLoggingCategory>

// Every command piece paced by the channel is logged here, exactly as the
// piece, as one debug message ("tarn.channel.debug=true" shows them).
Q_DECLARE_LOGGING_CATEGORY(lcChannel)
