#include "core/adapter/adapterresult.h"

#include <QCoreApplication>

namespace korvane {

const char* adapterResultText(int code)
{
    switch (code) {
    case AdapterOk:
        return QT_TRANSLATE_NOOP("AdapterResult", "success");
    case AdapterErrorArgument:
        return QT_TRANSLATE_NOOP("AdapterResult", "invalid argument");
    case AdapterErrorNotConfigured:
        return QT_TRANSLATE_NOOP("AdapterResult", "the adapter was not configured for this chip");
    case AdapterErrorTransport:
        return QT_TRANSLATE_NOOP("AdapterResult", "the transfer to the chip failed");
    case AdapterErrorTimeout:
        return QT_TRANSLATE_NOOP("AdapterResult", "the chip stayed busy too long");
    case AdapterErrorConfig:
        return QT_TRANSLATE_NOOP("AdapterResult", "the chip record cannot serve this operation");
    case AdapterErrorRange:
        return QT_TRANSLATE_NOOP("AdapterResult",
                                 "the range runs past the chip or past what its addresses reach");
    case AdapterErrorInjected:
        return QT_TRANSLATE_NOOP("AdapterResult", "failure injected by a test");
    case AdapterErrorNoDevice:
        return QT_TRANSLATE_NOOP("AdapterResult", "the adapter is gone (unplugged?)");
    case AdapterErrorAccess:
        return QT_TRANSLATE_NOOP("AdapterResult", "no permission to use the adapter");
    case AdapterErrorUnsupported:
        return QT_TRANSLATE_NOOP("AdapterResult", "the adapter does not support this");
    case AdapterErrorProtocol:
        return QT_TRANSLATE_NOOP("AdapterResult", "the adapter gave an answer that makes no sense");
    case AdapterErrorTimedOut:
        return QT_TRANSLATE_NOOP("AdapterResult", "the adapter did not answer in time");
    case AdapterErrorInUse:
        return QT_TRANSLATE_NOOP("AdapterResult", "the adapter is in use by another program");
    case AdapterErrorStorage:
        return QT_TRANSLATE_NOOP("AdapterResult", "what was written could not be stored");
    case AdapterErrorFrameLimit:
        return QT_TRANSLATE_NOOP("AdapterResult",
                                 "the adapter's largest transfer is too small for the chip's instructions");
    case AdapterErrorWrongDevice:
        return QT_TRANSLATE_NOOP("AdapterResult",
                                 "the device node is of another kind than the adapter needs");
    case AdapterErrorWriteEnable:
        return QT_TRANSLATE_NOOP("AdapterResult", "the chip did not take write enable");
    }
    return QT_TRANSLATE_NOOP("AdapterResult", "adapter error");
}

} // namespace korvane
