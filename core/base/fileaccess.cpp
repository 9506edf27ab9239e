#include "core/base/fileaccess.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

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

bool isReplaceableFile(const QString& path, QString* errorString)
{
    // What the path leads to after its symlinks: QSaveFile writes beside that and renames over it.
    const char* what = nullptr;
#ifdef Q_OS_UNIX
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        const int error = errno;
        // Nothing there (a dangling symlink included): the file is made.
        if (error == ENOENT)
            return true;
        setError(errorString, QStringLiteral("%1: %2").arg(path, qt_error_string(error)));
        return false;
    }
    if (S_ISREG(status.st_mode))
        return true;
    if (S_ISDIR(status.st_mode))
        what = QT_TRANSLATE_NOOP("FileAccess", "%1 is a directory, not a regular file");
    else if (S_ISCHR(status.st_mode))
        what = QT_TRANSLATE_NOOP("FileAccess", "%1 is a character device, not a regular file");
    else if (S_ISBLK(status.st_mode))
        what = QT_TRANSLATE_NOOP("FileAccess", "%1 is a block device, not a regular file");
    else if (S_ISFIFO(status.st_mode))
        what = QT_TRANSLATE_NOOP("FileAccess", "%1 is a FIFO, not a regular file");
    else if (S_ISSOCK(status.st_mode))
        what = QT_TRANSLATE_NOOP("FileAccess", "%1 is a socket, not a regular file");
    else
        what = QT_TRANSLATE_NOOP("FileAccess", "%1 is not a regular file");
#else
    const QFileInfo target(path);
    if (!target.exists() || target.isFile())
        return true;
    what = target.isDir() ? QT_TRANSLATE_NOOP("FileAccess", "%1 is a directory, not a regular file")
                          : QT_TRANSLATE_NOOP("FileAccess", "%1 is not a regular file");
#endif
    // A link is named with what it leads to, as ls -l shows it.
    const QFileInfo info(path);
    const QString name =
        info.isSymLink() ? QStringLiteral("%1 -> %2").arg(path, info.canonicalFilePath()) : path;
    setError(errorString, QCoreApplication::translate("FileAccess", what).arg(name));
    return false;
}

bool writeFileAtomically(const QString& path, const std::function<bool(QIODevice&, QString*)>& write,
                         QString* errorString)
{
    if (!isReplaceableFile(path, errorString))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        setError(errorString, file.errorString());
        return false;
    }
    QString why;
    if (!write(file, &why)) {
        setError(errorString, why.isEmpty() ? file.errorString() : why);
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setError(errorString, file.errorString());
        return false;
    }
    return true;
}

bool writeFileAtomically(const QString& path, const char* data, qint64 size, QString* errorString)
{
    return writeFileAtomically(
        path,
        [data, size](QIODevice& file, QString*) mutable {
            while (size > 0) {
                const qint64 written = file.write(data, size);
                if (written <= 0)
                    return false;
                data += written;
                size -= written;
            }
            return true;
        },
        errorString);
}

} // namespace korvane
