#pragma once

#include <QString>

namespace platform {

// `text` as it may go to a log line or a terminal: every control and format
// character (an escape sequence's ESC, a line break, a direction override),
// every line or paragraph separator and every code point that is unassigned,
// private or a lone surrogate becomes "?". Whatever a station or a request
// stored, printing it cannot forge a second line or move a terminal's cursor.
QString printableText(const QString& text);

} // namespace platform
