#pragma once

#include <QString>

#include <functional>

class QFile;
class QIODevice;

namespace korvane {

// Opens path for reading, but only a regular file: a FIFO would block the window until some other
// program writes to it, a device may never end. On failure file stays closed, errorString holds
// the reason (the system's text, or "Not a regular file") and missing tells whether there was no
// file at all.
bool openRegularFile(QFile& file, const QString& path, QString* errorString, bool* missing = nullptr);

// Whether a file may be written at path through a temporary file renamed over it: nothing is
// there yet, or a regular file is (directly or behind symlinks). A device, FIFO, socket or
// directory would be replaced by a regular file: false, and errorString names the path and what
// it is ("/dev/null is a character device, not a regular file").
bool isReplaceableFile(const QString& path, QString* errorString);

// Writes size bytes to path through a temporary file that replaces it only when complete
// (QSaveFile), so a failed write leaves the old file as it was. Unbuffered, with short writes
// continued: a write that stops part way (disk full, file size limit) fails at once with the
// system's reason, where a buffered flush at commit would only say "Unknown error". Refuses what
// isReplaceableFile refuses.
bool writeFileAtomically(const QString& path, const char* data, qint64 size, QString* errorString);

// The same, with the content written by write to the open temporary file; write returns false
// after setting its reason, or leaves it empty for the device's own.
bool writeFileAtomically(const QString& path, const std::function<bool(QIODevice&, QString*)>& write,
                         QString* errorString);

} // namespace korvane
