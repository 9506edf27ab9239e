#pragma once

#include <QString>

namespace korvane {

class SimulatedChip;

// The file a simulated chip's contents live in while the chip is in use: its raw image (exactly the
// chip's size) and, beside it, its non-volatile status values. The image stays open and locked
// (flock) from open to close, so that a second program is told the chip is in use instead of
// working on a copy that one of the two would overwrite. Every change the chip takes is written to
// the files by store before the transfer that made it is reported done.
class ChipImage
{
public:
    ChipImage() = default;
    ~ChipImage();
    ChipImage(const ChipImage&) = delete;
    ChipImage& operator=(const ChipImage&) = delete;

    // Creates the folder and the files where missing, locks the image and brings chip and files in
    // line: the chip takes the image if it has the chip's size (and the status values if there are
    // as many as the chip has), unless keepChip; otherwise the files take what the chip holds. The
    // image's space is reserved at once, so that a full disk shows here and not in the middle of a
    // write. An AdapterResult: AdapterErrorInUse when another program holds the image,
    // AdapterErrorStorage when a file cannot be created, reserved, read or written (error() says
    // which and why). *loaded: whether the chip took the image.
    int open(const QString& imagePath, const QString& statusPath, SimulatedChip& chip, bool keepChip,
             bool* loaded);
    // Writes what the chip changed since open or the last store to the open files. AdapterOk, or
    // AdapterErrorStorage with the files closed.
    int store(SimulatedChip& chip);
    // Closes the files and releases the lock.
    void close();
    bool isOpen() const { return image >= 0; }
    // Why the last open or store failed, naming the file: "cannot write ...: No space left on device".
    const QString& error() const { return reason; }

private:
    int fail(int result, const QString& text);

    int image = -1;
    int status = -1;
    QString imageName;
    QString statusName;
    QString reason;
};

} // namespace korvane
