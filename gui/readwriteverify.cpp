#include "gui/readwriteverify.h"

#include "core/operations/flashoperations.h"
#include "gui/operationframe.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"

#include <QByteArray>

#include <algorithm>
#include <cstdint>

namespace {

const char kReadLengthZeroText[] = "读数据长度为0\n请检查起始地址设置是否正确！\n";
const char kNoDataText[] = "没有数据！";
const char kBeyondChipText[] = "数据长度超出芯片容量！";
const char kVerifyFailedText[] = "数据校验失败！\n";
const char kDifferenceCountText[] = "有%d字节数据和写入数据不同！";

const std::uint8_t* bytesOf(const QByteArray& array)
{
    return reinterpret_cast<const std::uint8_t*>(array.constData());
}

// The whole buffer in one piece, edits included.
QByteArray bufferContent(QHexEditData* model)
{
    QHexEditDataReader reader(model);
    return reader.read(0, model->length());
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
    if (!readFlash(context.adapter, frame.target(), start, out, static_cast<std::uint32_t>(readLength),
                   frame.progressSink())
             .ok()) {
        frame.fail();
        return false;
    }
    frame.stopTimer();
    frame.closeProgress();

    QHexEdit* hexEdit = context.hexEdit;
    if (QHexEditData* model = hexEdit->data()) {
        QHexEditDataWriter writer(model);
        writer.remove(0, model->length());
        writer.append(bytes);
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
    const QByteArray source = bufferContent(model);
    const int length = source.size();
    frame.startProgress(length);

    const auto start = static_cast<std::uint32_t>(context.startAddress);
    if (!writeFlash(context.adapter, frame.target(), start, bytesOf(source), static_cast<std::uint32_t>(length),
                    frame.progressSink())
             .ok()) {
        frame.fail();
        return false;
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
    const QByteArray reference = model ? bufferContent(model) : QByteArray();
    if (reference.size() < 1) {
        frame.warn(QString::fromUtf8(kNoDataText));
        return false;
    }
    const int length = reference.size();
    frame.startProgress(length);

    const auto start = static_cast<std::uint32_t>(context.startAddress);
    const OperationResult verified = verifyFlash(context.adapter, frame.target(), start, bytesOf(reference),
                                                 static_cast<std::uint32_t>(length), frame.progressSink());
    if (verified.status != OperationStatus::Ok && verified.status != OperationStatus::VerifyMismatch) {
        frame.fail();
        return false;
    }
    frame.closeProgress();
    frame.stopTimer();

    if (verified.status == OperationStatus::VerifyMismatch) {
        frame.warn(QString::fromUtf8(kVerifyFailedText) +
                   QString::asprintf(kDifferenceCountText, static_cast<int>(verified.count)));
        return false;
    }
    frame.succeed();
    return true;
}
