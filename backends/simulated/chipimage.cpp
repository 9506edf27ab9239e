#include "backends/simulated/chipimage.h"

#include "backends/simulated/simulatedchip.h"
#include "core/adapter/adapterresult.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

// Translated in the context "SimulatedAdapter".
class Text
{
    Q_DECLARE_TR_FUNCTIONS(SimulatedAdapter)
};

// pwrite and pread may move fewer bytes than asked: these move them all. 0 or an errno value.
int writeAt(int fd, const std::uint8_t* data, std::size_t count, off_t offset)
{
    while (count > 0) {
        const ssize_t done = ::pwrite(fd, data, count, offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return done < 0 ? errno : ENOSPC;
        data += done;
        count -= static_cast<std::size_t>(done);
        offset += done;
    }
    return 0;
}

int readAt(int fd, std::uint8_t* data, std::size_t count, off_t offset)
{
    while (count > 0) {
        const ssize_t done = ::pread(fd, data, count, offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return done < 0 ? errno : EIO; // shorter than it said
        data += done;
        count -= static_cast<std::size_t>(done);
        offset += done;
    }
    return 0;
}

int openReadWrite(const QString& path)
{
    int fd;
    do
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

off_t fileSize(int fd)
{
    struct stat info;
    return ::fstat(fd, &info) == 0 ? info.st_size : -1;
}

} // namespace

ChipImage::~ChipImage()
{
    close();
}

void ChipImage::close()
{
    if (status >= 0)
        ::close(status);
    if (image >= 0)
        ::close(image); // and with it the lock
    image = status = -1;
}

int ChipImage::fail(int result, const QString& text)
{
    close();
    reason = text;
    return result;
}

int ChipImage::open(const QString& imagePath, const QString& statusPath, SimulatedChip& chip, bool keepChip,
                    bool* loaded)
{
    close();
    *loaded = false;
    imageName = imagePath;
    statusName = statusPath;
    const QString folder = QFileInfo(imagePath).path();
    std::error_code made;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), made);
    if (made)
        return fail(AdapterErrorStorage, Text::tr("cannot create the folder %1: %2")
                                             .arg(folder, QString::fromLocal8Bit(made.message().c_str())));
    image = openReadWrite(imagePath);
    if (image < 0)
        return fail(AdapterErrorStorage,
                    Text::tr("cannot open %1: %2").arg(imagePath, qt_error_string(errno)));
    int locked;
    do
        locked = ::flock(image, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK)
            return fail(AdapterErrorInUse, Text::tr("%1 is in use by another program").arg(imagePath));
        return fail(AdapterErrorStorage,
                    Text::tr("cannot lock %1: %2").arg(imagePath, qt_error_string(error)));
    }
    status = openReadWrite(statusPath);
    if (status < 0)
        return fail(AdapterErrorStorage,
                    Text::tr("cannot open %1: %2").arg(statusPath, qt_error_string(errno)));

    // Room for the whole image now, so that a full disk shows here rather than in the middle of a
    // write (an image that is there already may still have holes).
    const std::uint32_t size = chip.size();
    const off_t found = fileSize(image);
    int reserved;
    do
        reserved = ::posix_fallocate(image, 0, size);
    while (reserved == EINTR);
    if (reserved != 0)
        return fail(AdapterErrorStorage, Text::tr("cannot reserve %1 bytes for %2: %3")
                                             .arg(size)
                                             .arg(imagePath, qt_error_string(reserved)));
    std::vector<std::uint8_t>& memory = chip.contents();
    if (found == off_t(size) && !keepChip) {
        if (const int error = readAt(image, memory.data(), size, 0)) {
            std::fill(memory.begin(), memory.end(), 0xFF);
            return fail(AdapterErrorStorage,
                        Text::tr("cannot read %1: %2").arg(imagePath, qt_error_string(error)));
        }
        *loaded = true;
    } else {
        // Only an image of the chip's size is taken; any other is replaced by the chip's contents.
        int error = found > off_t(size) && ::ftruncate(image, size) != 0 ? errno : 0;
        if (error == 0)
            error = writeAt(image, memory.data(), size, 0);
        if (error != 0)
            return fail(AdapterErrorStorage,
                        Text::tr("cannot write %1: %2").arg(imagePath, qt_error_string(error)));
    }

    const int registers = chip.statusLayout().registerCount;
    std::array<std::uint8_t, kMaxStatusRegisters> values{};
    if (!keepChip && fileSize(status) == registers && readAt(status, values.data(), registers, 0) == 0) {
        for (int i = 0; i < registers; ++i)
            chip.setStatusRegister(i, values[static_cast<std::size_t>(i)]);
    } else {
        for (int i = 0; i < registers; ++i)
            values[static_cast<std::size_t>(i)] = chip.nonVolatileStatus(i);
        int error = writeAt(status, values.data(), static_cast<std::size_t>(registers), 0);
        if (error == 0 && ::ftruncate(status, registers) != 0)
            error = errno;
        if (error != 0)
            return fail(AdapterErrorStorage,
                        Text::tr("cannot write %1: %2").arg(statusPath, qt_error_string(error)));
    }
    // Chip and files agree from here on.
    chip.takeChanges();
    reason.clear();
    return AdapterOk;
}

int ChipImage::store(SimulatedChip& chip)
{
    const SimulatedChip::Changes changes = chip.takeChanges();
    if (changes.end > changes.begin) {
        if (const int error = writeAt(image, chip.contents().data() + changes.begin,
                                      changes.end - changes.begin, changes.begin))
            return fail(AdapterErrorStorage,
                        Text::tr("cannot write %1: %2").arg(imageName, qt_error_string(error)));
    }
    if (changes.status) {
        const int registers = chip.statusLayout().registerCount;
        std::array<std::uint8_t, kMaxStatusRegisters> values{};
        for (int i = 0; i < registers; ++i)
            values[static_cast<std::size_t>(i)] = chip.nonVolatileStatus(i);
        if (const int error = writeAt(status, values.data(), static_cast<std::size_t>(registers), 0))
            return fail(AdapterErrorStorage,
                        Text::tr("cannot write %1: %2").arg(statusName, qt_error_string(error)));
    }
    return AdapterOk;
}

} // namespace korvane
