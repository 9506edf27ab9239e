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

namespace {

const char kReadLengthZeroText[] = "读数据长度为0\n请检查起始地址设置是否正确！\n";
const char kNoDataText[] = "没有数据！";
const char kBeyondChipText[] = "数据长度超出芯片容量！";
const char kVerifyFailedText[] = "数据校验失败！\n";
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

    const std::int64_t length = std::int64_t{chipSize(context.chip)} - context.startAddress;
    if (length <= 0) {
        frame.warn(QString::fromUtf8(kReadLengthZeroText));
        return false;
    }
    const int readLength = static_cast<int>(length);
    frame.startProgress(readLength);

    // The blocks land straight in the array that becomes the buffer; it replaces the buffer only
    // once the whole range has been read.
    QByteArray bytes(readLength, Qt::Uninitialized);
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
