#include "app/adapterchoice.h"

#include "backends/backendtable.h"

#include <QCoreApplication>
#include <QSettings>

namespace korvane {

namespace {

const char kAdapterKey[] = "adapter";

} // namespace

WindowAdapters openWindowAdapters(Clock& clock, QSettings& settings, bool given, const QString& givenForm,
                                  const DeviceAccess& access)
{
    WindowAdapters result;
    const QString remembered = settings.value(QLatin1String(kAdapterKey)).toString();
    result.form = given ? givenForm.trimmed() : remembered;
    result.registry = createAdapterRegistry(clock, result.form, true, &result.error, access);
    if (given) {
        // Only a form that worked is kept; an empty one forgets.
        if (result.registry && result.form.isEmpty())
            settings.remove(QLatin1String(kAdapterKey));
        else if (result.registry)
            settings.setValue(QLatin1String(kAdapterKey), result.form);
        return result;
    }
    if (!result.registry) {
        result.notice = QCoreApplication::translate("AdapterChoice",
                                                    "上次使用的适配器 %1 无法使用：%2\n已改用默认适配器。")
                            .arg(remembered, result.error);
        settings.remove(QLatin1String(kAdapterKey));
        result.form.clear();
        result.error.clear();
        result.registry = createAdapterRegistry(clock, QString(), true, &result.error, access);
    }
    return result;
}

} // namespace korvane
