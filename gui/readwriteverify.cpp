#include "gui/readwriteverify.h"

#include "core/operations/flashoperations.h"
#include "core/operations/readchecks.h"
#include "core/spinor/spinor.h"
#include "gui/operationframe.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"

#include <QByteArray>
#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

namespace korvane {

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("ReadWriteVerify", text);
}

const char kReadLengthZeroText[] =
    QT_TRANSLATE_NOOP("ReadWriteVerify", "读数据长度为0\n请检查起始地址设置是否正确！\n");
const char kNoDataText[] = QT_TRANSLATE_NOOP("ReadWriteVerify", "没有数据！");
const char kBeyondChipText[] = QT_TRANSLATE_NOOP("ReadWriteVerify", "数据长度超出芯片容量！");
const char kVerifyFailedText[] = QT_TRANSLATE_NOOP("ReadWriteVerify", "数据校验失败！\n");
const char kAllocationFailedText[] = QT_TRANSLATE_NOOP("ReadWriteVerify", "分配内存失败！");
const char kDifferenceCountText[] = QT_TRANSLATE_NOOP("ReadWriteVerify", "有%1字节数据和写入数据不同！");
const char kWriteMismatchText[] =
    QT_TRANSLATE_NOOP("ReadWriteVerify", "写入后校验失败：有%1字节和写入数据不同，第一个在地址0x%2。");
const char kReadsDifferText[] =
    QT_TRANSLATE_NOOP("ReadWriteVerify", "两次读出的数据不一致：有%1字节不同，第一个在地址0x%2。\n"
                                         "可能是接触不良或时钟太快，请降低“速度”后重试。");

// Two passes over one bar: each counts half.
class HalvedProgress : public OperationProgress
{
public:
    explicit HalvedProgress(OperationProgress& inner) : inner(inner) {}
    void advanced(std::int64_t done) override { inner.advanced(done / 2); }
    void waiting() override { inner.waiting(); }

private:
    OperationProgress& inner;
};

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
    return width < 1 || width > 4 ||
           SpiNor::withinAddressReach(std::uint64_t(start), std::uint64_t(count), width);
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

QString address6(std::uint64_t address)
{
    return QStringLiteral("%1").arg(address, 6, 16, QLatin1Char('0')).toUpper();
}

} // namespace

bool readIntoBuffer(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::Read);
    if (!frame.open())
        return false;

    if (!sizeRepresentable(context.chip.Config)) {
        frame.warn(operationText(frame.texts().failureText));
        return false;
    }
    const std::int64_t length = std::int64_t{chipSize(context.chip)} - context.startAddress;
    if (length <= 0) {
        frame.warn(translated(kReadLengthZeroText));
        return false;
    }
    const int readLength = static_cast<int>(length);
    if (!withinReadReach(context.chip.Config, context.startAddress, readLength)) {
        frame.warn(operationText(frame.texts().failureText));
        return false;
    }
    // The blocks land straight in the array that becomes the buffer; it replaces the buffer only
    // once the whole range has been read.
    QByteArray bytes;
    if (!allocateBytes(bytes, readLength)) {
        frame.warn(translated(kAllocationFailedText));
        return false;
    }
    frame.startProgress(readLength);

    auto* out = reinterpret_cast<std::uint8_t*>(bytes.data());
    const auto start = static_cast<std::uint32_t>(context.startAddress);
    // With two reads both fill the one bar.
    HalvedProgress halved(frame.progressSink());
    const OperationResult read =
        frame.session().read(start, out, static_cast<std::uint32_t>(readLength),
                             context.readTwice ? static_cast<OperationProgress&>(halved) : frame.progressSink(),
                             context.readTwice);
    if (read.status == OperationStatus::ReadMismatch) {
        frame.fail(translated(kReadsDifferText).arg(read.count).arg(address6(read.address)));
        return false;
    }
    if (!read.ok()) {
        frame.fail(read);
        return false;
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
    if (context.succeededWith)
        context.succeededWith(bytes);
    frame.succeed();
    return true;
}

bool bufferToWrite(const OperationContext& context, OperationFrame& frame, QByteArray* source)
{
    QHexEditData* model = context.hexEdit->data();
    if (!model || model->length() < 1) {
        frame.warn(translated(kNoDataText));
        return false;
    }
    if (context.startAddress + model->length() > std::int64_t{chipSize(context.chip)}) {
        frame.warn(translated(kBeyondChipText));
        return false;
    }
    bool complete = false;
    *source = bufferContent(model, &complete);
    if (!complete) {
        frame.fail();
        return false;
    }
    return true;
}

bool writeBuffer(const OperationContext& context)
{
    OperationFrame frame(context, FlashOperation::Write);
    if (!frame.open())
        return false;

    QByteArray source;
    if (!bufferToWrite(context, frame, &source))
        return false;
    const int length = source.size();
    if (!frame.prepareChange(std::uint64_t(context.startAddress), std::uint64_t(context.startAddress) + length))
        return false;
    // With the check, writing and reading back fill the one bar.
    frame.startProgress(length);
    HalvedProgress halved(frame.progressSink());
    const WriteSegment whole{static_cast<std::uint32_t>(context.startAddress), bytesOf(source),
                             static_cast<std::uint32_t>(length)};
    const OperationResult written = frame.session().write(
        {whole}, context.verifyAfterWrite ? static_cast<OperationProgress&>(halved) : frame.progressSink(),
        context.verifyAfterWrite);
    if (written.status == OperationStatus::VerifyMismatch) {
        frame.fail(translated(kWriteMismatchText).arg(written.count).arg(address6(written.address)));
        return false;
    }
    if (!written.ok()) {
        frame.fail(written);
        return false;
    }
    if (context.succeededWith)
        context.succeededWith(source);
    frame.succeed();
    return true;
}

bool verifyBuffer(const OperationContext& context)
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
        frame.warn(translated(kNoDataText));
        return false;
    }
    const int length = reference.size();
    frame.startProgress(length);

    const WriteSegment whole{static_cast<std::uint32_t>(context.startAddress), bytesOf(reference),
                             static_cast<std::uint32_t>(length)};
    const OperationResult verified = frame.session().verify({whole}, frame.progressSink());
    if (verified.status != OperationStatus::Ok && verified.status != OperationStatus::VerifyMismatch) {
        frame.fail(verified);
        return false;
    }
    frame.closeProgress();
    frame.stopTimer();

    if (verified.status == OperationStatus::VerifyMismatch) {
        frame.warn(translated(kVerifyFailedText) +
                   translated(kDifferenceCountText).arg(static_cast<int>(verified.count)));
        return false;
    }
    if (context.succeededWith)
        context.succeededWith(reference);
    frame.succeed();
    return true;
}

} // namespace korvane
