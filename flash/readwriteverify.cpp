#include "flash/readwriteverify.h"

#include "flash/adapter/adapterlibrary.h"
#include "flash/operationframe.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace {

const char kReadLengthZeroText[] = "读数据长度为0\n请检查起始地址设置是否正确！\n";
const char kNoDataText[] = "没有数据！";
const char kBeyondChipText[] = "数据长度超出芯片容量！";
const char kVerifyFailedText[] = "数据校验失败！\n";
const char kAllocationFailedText[] = "分配内存失败！";
const char kDifferenceCountText[] = "有%d字节数据和写入数据不同！";

constexpr int kBlock = static_cast<int>(kMaxFlashTransfer);

const std::uint8_t* bytesOf(const QByteArray& array)
{
    return reinterpret_cast<const std::uint8_t*>(array.constData());
}

// The whole buffer in one piece, edits included; *ok false when it cannot be had whole.
QByteArray bufferContent(QHexEditData* model, bool* ok)
{
    QHexEditDataReader reader(model);
    return reader.read(0, model->length(), ok);
}

// Whether PageSize x NumPages fits the 32 bits chip sizes are kept in; a corrupt record's product
// would wrap to some other size, and that size would be read as if it were the chip.
bool sizeRepresentable(const SPIFlashConfig& config)
{
    const std::int64_t size = std::int64_t{config.PageSize} * config.NumPages;
    return size == chipSize(config);
}

// Whether a read of count bytes from start stays within what the record's read address width
// reaches; beyond it the chip would answer with its first bytes again. A width the library cannot
// use at all is left for it to refuse.
bool withinReadReach(const SPIFlashConfig& config, std::int64_t start, std::int64_t count)
{
    const int width = config.ReadDataAddrBytes;
    return width < 1 || width > 4 || start + count <= std::int64_t(1) << (8 * width);
}

// The most a byte array is asked to hold: its size is an int, and its allocation adds a header and
// a terminating NUL in the same range. Past that Qt cannot allocate at all.
constexpr int kMaxBufferBytes = std::numeric_limits<int>::max() - 64;

// A corrupt record can ask for more than a byte array can hold or than memory allows. The first
// is refused without trying; Qt reports the second by throwing std::bad_alloc, which is caught
// here, at the one allocation sized by the record, and turned into a result.
bool allocateBytes(QByteArray& bytes, int size)
{
    if (size > kMaxBufferBytes)
        return false;
    try {
        bytes = QByteArray(size, Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int countDifferences(const std::uint8_t* a, const std::uint8_t* b, int count)
{
    // Matching blocks are the rule: let memcmp settle them.
    if (std::memcmp(a, b, static_cast<std::size_t>(count)) == 0)
        return 0;
    constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
    int differences = 0;
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        std::uint64_t d = x ^ y;
        if (d != 0) {
            // Fold every differing byte into its lowest bit, then add the eight bits up.
            d |= d >> 4;
            d |= d >> 2;
            d |= d >> 1;
            differences += static_cast<int>(((d & kLowBits) * kLowBits) >> 56);
        }
    }
    for (; i < count; ++i)
        differences += a[i] != b[i];
    return differences;
}

} // namespace

bool readFlash(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::Read);
    if (!frame.open())
        return false;

    if (!sizeRepresentable(context.chip.Config)) {
        frame.warn(QString::fromUtf8(frame.texts().failureText));
        return false;
    }
    const std::int64_t length = std::int64_t{chipSize(context.chip)} - context.startAddress;
    if (length <= 0) {
        frame.warn(QString::fromUtf8(kReadLengthZeroText));
        return false;
    }
    const int readLength = static_cast<int>(length);
    if (!withinReadReach(context.chip.Config, context.startAddress, readLength)) {
        frame.warn(QString::fromUtf8(frame.texts().failureText));
        return false;
    }
    // The blocks land straight in the array that becomes the buffer; it replaces the buffer only
    // once the whole range has been read.
    QByteArray bytes;
    if (!allocateBytes(bytes, readLength)) {
        frame.warn(QString::fromUtf8(kAllocationFailedText));
        return false;
    }
    frame.startProgress(readLength);

    auto* out = reinterpret_cast<std::uint8_t*>(bytes.data());
    const auto start = static_cast<std::uint32_t>(context.startAddress);
    for (int done = 0; done < readLength;) {
        const int count = std::min(kBlock, readLength - done);
        if (context.adapter.flashRead(context.deviceIndex, context.selector, start + done, out + done,
                                      static_cast<std::uint32_t>(count)) != 0) {
            frame.fail();
            return false;
        }
        done += count;
        frame.step(done);
    }
    frame.stopTimer();
    frame.closeProgress();

    QHexEdit* hexEdit = context.hexEdit;
    if (QHexEditData* model = hexEdit->data()) {
        // Removal and insertion, two undo steps, or neither when the buffer cannot take the bytes.
        if (!QHexEditDataWriter(model).replaceAll(bytes)) {
            frame.fail();
            return false;
        }
        hexEdit->hide();
        hexEdit->show();
    } else {
        QHexEditData* created = QHexEditData::fromMemory(bytes);
        created->setParent(context.window);
        hexEdit->setData(created);
    }
    frame.succeed();
    return true;
}

bool writeFlash(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::Write);
    if (!frame.open())
        return false;

    QHexEditData* model = context.hexEdit->data();
    if (!model || model->length() < 1) {
        frame.warn(QString::fromUtf8(kNoDataText));
        return false;
    }
    if (context.startAddress + model->length() > std::int64_t{chipSize(context.chip)}) {
        frame.warn(QString::fromUtf8(kBeyondChipText));
        return false;
    }
    bool complete = false;
    const QByteArray source = bufferContent(model, &complete);
    if (!complete) {
        frame.fail();
        return false;
    }
    const int length = source.size();
    frame.startProgress(length);

    const std::uint8_t* in = bytesOf(source);
    const auto start = static_cast<std::uint32_t>(context.startAddress);
    for (int done = 0; done < length;) {
        const int count = std::min(kBlock, length - done);
        if (context.adapter.flashWrite(context.deviceIndex, context.selector, start + done, in + done,
                                       static_cast<std::uint32_t>(count)) != 0) {
            frame.fail();
            return false;
        }
        done += count;
        frame.step(done);
    }
    frame.succeed();
    return true;
}

bool verifyFlash(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::Verify);
    if (!frame.open())
        return false;

    QHexEditData* model = context.hexEdit->data();
    bool complete = true;
    const QByteArray reference = model ? bufferContent(model, &complete) : QByteArray();
    if (!complete) {
        frame.fail();
        return false;
    }
    if (reference.size() < 1) {
        frame.warn(QString::fromUtf8(kNoDataText));
        return false;
    }
    const int length = reference.size();
    frame.startProgress(length);

    std::uint8_t block[kBlock];
    const std::uint8_t* expected = bytesOf(reference);
    const auto start = static_cast<std::uint32_t>(context.startAddress);
    int differences = 0;
    for (int done = 0; done < length;) {
        const int count = std::min(kBlock, length - done);
        if (context.adapter.flashRead(context.deviceIndex, context.selector, start + done, block,
                                      static_cast<std::uint32_t>(count)) != 0) {
            frame.fail();
            return false;
        }
        differences += countDifferences(block, expected + done, count);
        done += count;
        frame.step(done);
    }
    frame.closeProgress();
    frame.stopTimer();

    if (differences != 0) {
        frame.warn(QString::fromUtf8(kVerifyFailedText) +
                   QString::asprintf(kDifferenceCountText, differences));
        return false;
    }
    frame.succeed();
    return true;
}
