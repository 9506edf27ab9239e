#include "core/base/fileaccess.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFileInfo>
#endif

namespace {

const char kNotRegularText[] = QT_TRANSLATE_NOOP("FileAccess", "Not a regular file");

void setError(QString* errorString, const QString& text)
{
    if (errorString)
        *errorString = text;
}

} // namespace

bool openRegularFile(QFile& file, const QString& path, QString* errorString, bool* missing)
{
    if (missing)
        *missing = false;
#ifdef Q_OS_UNIX
    // Non-blocking, so that opening a FIFO returns at once (the flag changes nothing for a regular
    // file). The type is checked on the descriptor itself, so nothing can be swapped in between.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (missing)
            *missing = error == ENOENT;
        setError(errorString, qt_error_string(error));
        return false;
    }
    struct stat status;
    QString refusal;
    if (::fstat(fd, &status) != 0)
        refusal = qt_error_string(errno);
    else if (S_ISDIR(status.st_mode))
        refusal = qt_error_string(EISDIR);
    else if (!S_ISREG(status.st_mode))
        refusal = QCoreApplication::translate("FileAccess", kNotRegularText);
    else if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    else
        refusal = file.errorString();
    ::close(fd);
    setError(errorString, refusal);
    return false;
#else
    const QFileInfo info(path);
    if (missing)
        *missing = !info.exists() && !info.isSymLink();
    if (info.exists() && !info.isFile()) {
        setError(errorString, QCoreApplication::translate("FileAccess", kNotRegularText));
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(errorString, file.errorString());
        return false;
    }
    return true;
#endif
}

bool writeFileAtomically(const QString& path, const char* data, qint64 size, QString* errorString)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        setError(errorString, file.errorString());
        return false;
    }
    while (size > 0) {
        const qint64 written = file.write(data, size);
        if (written <= 0) {
            setError(errorString, file.errorString());
            file.cancelWriting();
            return false;
        }
        data += written;
        size -= written;
    }
    if (!file.commit()) {
        setError(errorString, file.errorString());
        return false;
    }
    return true;
}
