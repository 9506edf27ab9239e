#pragma once

#include <QString>

class QFile;

// Opens path for reading, but only a regular file: a FIFO would block the window until some other
// program writes to it, a device may never end. On failure file stays closed, errorString holds
// the reason (the system's text, or "Not a regular file") and missing tells whether there was no
// file at all.
bool openRegularFile(QFile& file, const QString& path, QString* errorString, bool* missing = nullptr);

// Writes size bytes to path through a temporary file that replaces it only when complete
// (QSaveFile), so a failed write leaves the old file as it was. Unbuffered, with short writes
// continued: a write that stops part way (disk full, file size limit) fails at once with the
// system's reason, where a buffered flush at commit would only say "Unknown error".
bool writeFileAtomically(const QString& path, const char* data, qint64 size, QString* errorString);
