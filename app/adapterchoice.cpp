#include "app/adapterchoice.h"

#include "backends/backendtable.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

const char kAdapterKey[] = "adapter";

} // namespace

WindowAdapters openWindowAdapters(Clock& clock, QSettings& settings, bool given, const QString& givenSpec,
                                  const DeviceAccess& access)
{
    WindowAdapters result;
    const QString remembered = settings.value(QLatin1String(kAdapterKey)).toString();
    result.spec = given ? givenSpec.trimmed() : remembered;
    result.registry = createAdapterRegistry(clock, result.spec, true, &result.error, access);
    if (given) {
        // Only a spec that worked is kept; an empty one forgets.
        if (result.registry && result.spec.isEmpty())
            settings.remove(QLatin1String(kAdapterKey));
        else if (result.registry)
            settings.setValue(QLatin1String(kAdapterKey), result.spec);
        return result;
    }
    if (!result.registry) {
        result.notice = QCoreApplication::translate("AdapterChoice",
                                                    "上次使用的适配器 %1 无法使用：%2\n已改用默认适配器。")
                            .arg(remembered, result.error);
        settings.remove(QLatin1String(kAdapterKey));
        result.spec.clear();
        result.error.clear();
        result.registry = createAdapterRegistry(clock, QString(), true, &result.error, access);
    }
    return result;
}
