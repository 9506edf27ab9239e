#include "backends/backendtable.h"

#include "backends/plugin/libraryloader.h"
#include "backends/plugin/pluginadapter.h"
#include "backends/serprog/serialport.h"
#include "backends/serprog/serprogadapter.h"
#include "backends/simulated/simulatedadapter.h"
#include "backends/spidev/spidevaccess.h"
#include "backends/spidev/spidevadapter.h"
#include "backends/usb/libusbbus.h"
#include "backends/usb/usbadapterlibrary.h"
#include "core/adapter/adapterresult.h"

#include <QCoreApplication>

#include <sys/stat.h>

namespace korvane {

namespace {

struct BackendKind
{
    const char* name;
    const char* form;
    const char* description;
    bool hardware; // part of the default set
    std::unique_ptr<AdapterLibrary> (*create)(Clock& clock, const QString& argument,
                                              const DeviceAccess& access, QString* error);
};

std::unique_ptr<AdapterLibrary> createSimulated(Clock& clock, const QString& argument, const DeviceAccess& access,
                                                QString* error)
{
    if (!argument.isEmpty()) {
        *error = QCoreApplication::translate("Backends", "the simulated adapter takes no argument");
        return nullptr;
    }
    if (access.simulated)
        return access.simulated(clock);
    return createSimulatedAdapterFromEnvironment(clock);
}

std::unique_ptr<AdapterLibrary> createSerprog(Clock& clock, const QString& argument,
                                              const DeviceAccess& access, QString* error)
{
    SerprogLocation location;
    std::string reason;
    if (!parseSerprogLocation(argument.toStdString(), &location, &reason)) {
        *error = QString::fromStdString(reason);
        return nullptr;
    }
    return std::make_unique<SerprogAdapter>(clock, access.serial ? *access.serial : systemSerialPortAccess(),
                                            location);
}

std::unique_ptr<AdapterLibrary> createSpidev(Clock& clock, const QString& argument,
                                             const DeviceAccess& access, QString* error)
{
    SpidevLocation location;
    std::string reason;
    if (!parseSpidevLocation(argument.toStdString(), &location, &reason)) {
        *error = QString::fromStdString(reason);
        return nullptr;
    }
    return std::make_unique<SpidevAdapter>(clock, access.spidev ? *access.spidev : systemSpidevAccess(),
                                           location);
}

std::unique_ptr<AdapterLibrary> createPlugin(Clock&, const QString& argument, const DeviceAccess& access,
                                             QString* error)
{
    if (argument.isEmpty()) {
        *error = QCoreApplication::translate("Backends",
                                             "lib needs the library's path, as in lib:/path/to/adapter.so");
        return nullptr;
    }
    return PluginAdapter::load(access.libraries ? *access.libraries : systemLibraryLoader(), argument, error);
}

std::shared_ptr<UsbBus> usbBusOf(const DeviceAccess& access)
{
    if (access.usb == nullptr)
        return std::make_shared<LibusbBus>();
    return std::shared_ptr<UsbBus>(access.usb, [](UsbBus*) {});
}

// USB programmers of one backend; ":N" keeps only the N-th of them (from 0, in bus and port order).
std::unique_ptr<AdapterLibrary> createUsb(const char* backend, Clock& clock, const QString& argument,
                                          const DeviceAccess& access, QString* error)
{
    int only = -1;
    if (!argument.isEmpty()) {
        bool ok = false;
        only = argument.toInt(&ok, 10);
        if (!ok || only < 0 || argument.startsWith(QLatin1Char('+'))) {
            *error =
                QCoreApplication::translate("Backends", "%1:N takes the index of one %1 adapter (0 is the "
                                                        "first found), not \"%2\"")
                    .arg(QLatin1String(backend), argument);
            return nullptr;
        }
    }
    const std::vector<UsbAdapterKind> kinds =
        *backend == 0 ? usbAdapterKinds() : usbAdapterKinds(std::string(backend));
    return std::make_unique<UsbAdapterLibrary>(clock, usbBusOf(access), kinds, only);
}

std::unique_ptr<AdapterLibrary> createAllUsb(Clock& clock, const QString& argument,
                                             const DeviceAccess& access, QString* error)
{
    if (!argument.isEmpty()) {
        *error = QCoreApplication::translate("Backends", "usb takes no argument");
        return nullptr;
    }
    return createUsb("", clock, argument, access, error);
}

template <const char* Backend>
std::unique_ptr<AdapterLibrary> createUsbOf(Clock& clock, const QString& argument, const DeviceAccess& access,
                                            QString* error)
{
    return createUsb(Backend, clock, argument, access, error);
}

constexpr char kCh341a[] = "ch341a";
constexpr char kCh347[] = "ch347";
constexpr char kFt232h[] = "ft232h";
constexpr char kFt2232h[] = "ft2232h";

// "usb" stands for the four USB backends in the default set, so that their adapters come in one
// order of bus and port whatever their kind.
const BackendKind kBackends[] = {
    {"usb", "usb", QT_TRANSLATE_NOOP("Backends", "every USB programmer below, by bus and port"), true,
     createAllUsb},
    {kCh341a, "ch341a[:N]", QT_TRANSLATE_NOOP("Backends", "CH341A programmers (1a86:5512)"), false,
     createUsbOf<kCh341a>},
    {kCh347, "ch347[:N]", QT_TRANSLATE_NOOP("Backends", "CH347T/CH347F programmers (1a86:55db, 1a86:55de)"),
     false, createUsbOf<kCh347>},
    {kFt232h, "ft232h[:N]", QT_TRANSLATE_NOOP("Backends", "FT232H in MPSSE mode (0403:6014)"), false,
     createUsbOf<kFt232h>},
    {kFt2232h, "ft2232h[:N]", QT_TRANSLATE_NOOP("Backends", "FT2232H channel A in MPSSE mode (0403:6010)"),
     false, createUsbOf<kFt2232h>},
    {"sim", "sim", QT_TRANSLATE_NOOP("Backends", "the simulated adapter and chips"), false, createSimulated},
    {"serprog", "serprog:DEVICE[:BAUD]",
     QT_TRANSLATE_NOOP("Backends", "a serprog programmer on a serial port (baud 115200 unless given)"), false,
     createSerprog},
    {"spidev", "spidev:/dev/spidevB.C[:HZ]",
     QT_TRANSLATE_NOOP("Backends", "Linux spidev; SPI1-CSn uses /dev/spidevB.n; HZ caps the clock"), false,
     createSpidev},
    {"lib", "lib:PATH",
     QT_TRANSLATE_NOOP("Backends", "an adapter library that exports the sixteen operations"), false,
     createPlugin},
};

} // namespace

std::unique_ptr<AdapterRegistry> createAdapterRegistry(Clock& clock, const QString& form, bool withSimulated,
                                                       QString* error, const DeviceAccess& access)
{
    auto registry = std::make_unique<AdapterRegistry>();
    QString failure;
    if (form.isEmpty()) {
        for (const BackendKind& kind : kBackends) {
            if (kind.hardware)
                registry->add(kind.create(clock, QString(), access, &failure));
        }
        if (withSimulated)
            registry->add(createSimulated(clock, QString(), access, &failure));
        return registry;
    }
    const int colon = form.indexOf(QLatin1Char(':'));
    const QString name = colon < 0 ? form : form.left(colon);
    const QString argument = colon < 0 ? QString() : form.mid(colon + 1);
    for (const BackendKind& kind : kBackends) {
        if (name.compare(QLatin1String(kind.name), Qt::CaseInsensitive) != 0)
            continue;
        std::unique_ptr<AdapterLibrary> backend = kind.create(clock, argument, access, &failure);
        if (!backend) {
            if (error)
                *error = failure;
            return nullptr;
        }
        registry->add(std::move(backend));
        return registry;
    }
    if (error) {
        QStringList names;
        for (const BackendKind& kind : kBackends)
            names << QLatin1String(kind.name);
        *error = QCoreApplication::translate("Backends", "unknown adapter \"%1\" (known: %2)")
                     .arg(name, names.join(QStringLiteral(", ")));
    }
    return nullptr;
}

QString adapterFormsHelp()
{
    QString text;
    for (const BackendKind& kind : kBackends)
        text += QStringLiteral("  %1  %2\n")
                    .arg(QLatin1String(kind.form), -28)
                    .arg(QCoreApplication::translate("Backends", kind.description));
    return text;
}

namespace {

// What a path is, where the system can tell: "a regular file"; empty when it cannot.
QString fileKindText(const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return QString();
    if (S_ISREG(info.st_mode))
        return QCoreApplication::translate("Backends", "a regular file");
    if (S_ISDIR(info.st_mode))
        return QCoreApplication::translate("Backends", "a directory");
    if (S_ISFIFO(info.st_mode))
        return QCoreApplication::translate("Backends", "a FIFO");
    if (S_ISSOCK(info.st_mode))
        return QCoreApplication::translate("Backends", "a socket");
    if (S_ISBLK(info.st_mode))
        return QCoreApplication::translate("Backends", "a block device");
    if (S_ISCHR(info.st_mode))
        return QCoreApplication::translate("Backends", "a device of another kind");
    return QString();
}

} // namespace

QString deviceNodeProblem(const QString& form, int adapterCode)
{
    const int colon = form.indexOf(QLatin1Char(':'));
    const QString name = form.left(colon).toLower();
    const std::string argument = form.mid(colon + 1).toStdString();
    std::string reason;
    std::string path;
    bool serial = false;
    if (colon > 0 && name == QLatin1String("serprog")) {
        SerprogLocation location;
        if (!parseSerprogLocation(argument, &location, &reason))
            return QString();
        path = location.path;
        serial = true;
    } else if (colon > 0 && name == QLatin1String("spidev")) {
        SpidevLocation location;
        if (!parseSpidevLocation(argument, &location, &reason))
            return QString();
        path = location.path;
    } else {
        return QString();
    }
    const QString node = QString::fromLocal8Bit(path.c_str());
    if (adapterCode == AdapterErrorNoDevice)
        return serial ? QCoreApplication::translate("Backends", "no such serial port %1").arg(node)
                      : QCoreApplication::translate("Backends", "no such spidev device %1").arg(node);
    if (adapterCode != AdapterErrorWrongDevice)
        return QString();
    const QString text = serial
                             ? QCoreApplication::translate("Backends", "%1 is not a serial port").arg(node)
                             : QCoreApplication::translate("Backends", "%1 is not a spidev device").arg(node);
    const QString kind = fileKindText(path);
    return kind.isEmpty() ? text : QCoreApplication::translate("Backends", "%1 (%2)").arg(text, kind);
}

} // namespace korvane
