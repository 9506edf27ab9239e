// Which adapters the window starts with: the --adapter form given, remembered for the next start;
// the remembered one without it; the default set when there is none, when --adapter "" forgets it,
// or when the remembered one can no longer be used.
#include "app/adapterchoice.h"
#include "backends/serprog/serprogadapter.h"
#include "tests/support/virtualclock.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;

class TestAdapterChoice : public QObject
{
    Q_OBJECT

private slots:
    void choose_data()
    {
        QTest::addColumn<QString>("stored"); // "" for nothing remembered
        QTest::addColumn<bool>("given");
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("backend"); // of the last adapter; "" for none; "-" for no registry
        QTest::addColumn<QString>("storedAfter");
        QTest::addColumn<QString>("message"); // part of the error or the notice; "" for none

        const QString serprog = QStringLiteral("serprog:/nonexistent/ttyACM0");
        QTest::newRow("first start") << "" << false << ""
                                     << "sim"
                                     << ""
                                     << "";
        QTest::newRow("given, remembered") << "" << true << "sim"
                                           << "sim"
                                           << "sim"
                                           << "";
        QTest::newRow("remembered, used") << serprog << false << ""
                                          << "" << serprog << "";
        QTest::newRow("given replaces remembered") << serprog << true << "sim"
                                                   << "sim"
                                                   << "sim"
                                                   << "";
        QTest::newRow("empty form forgets") << serprog << true << ""
                                            << "sim"
                                            << ""
                                            << "";
        QTest::newRow("given, unusable: not remembered") << "sim" << true << "serprog:/dev/ttyUSB0:250000"
                                                         << "-"
                                                         << "sim"
                                                         << "not a baud rate";
        QTest::newRow("given, unknown kind") << "" << true << "bogus"
                                             << "-"
                                             << ""
                                             << "unknown adapter";
        QTest::newRow("remembered, unusable: default and forgotten")
            << "lib:/nonexistent/adapter.so" << false << ""
            << "sim"
            << "" << QString::fromUtf8("上次使用的适配器 lib:/nonexistent/adapter.so 无法使用");
    }
    void choose()
    {
        QFETCH(QString, stored);
        QFETCH(bool, given);
        QFETCH(QString, form);
        QFETCH(QString, backend);
        QFETCH(QString, storedAfter);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // The simulated adapter keeps its chips' images there, not in the user's folder.
        qputenv("SPIFLASH_SIM_DIR", dir.filePath(QStringLiteral("sim")).toLocal8Bit());
        QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        if (!stored.isEmpty())
            settings.setValue(QStringLiteral("adapter"), stored);
        VirtualClock clock;
        const WindowAdapters chosen = openWindowAdapters(clock, settings, given, form);
        if (backend == QLatin1String("-")) {
            QVERIFY(!chosen.registry);
        } else {
            QVERIFY2(chosen.registry, qPrintable(chosen.error));
            const auto adapters = chosen.registry->adapters();
            QCOMPARE(adapters.empty() ? QString() : QString::fromStdString(adapters.back().identity.backend),
                     backend);
            // A form is one backend; the default set ends with the simulated adapter.
            if (!chosen.form.isEmpty())
                QCOMPARE(chosen.registry->backendCount(), 1);
        }
        QCOMPARE(settings.value(QStringLiteral("adapter")).toString(), storedAfter);
        QCOMPARE(settings.contains(QStringLiteral("adapter")), !storedAfter.isEmpty());
        const QString said = chosen.registry ? chosen.notice : chosen.error;
        if (message.isEmpty())
            QVERIFY2(said.isEmpty(), qPrintable(said));
        else
            QVERIFY2(said.contains(message), qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(TestAdapterChoice)
#include "tst_adapterchoice.moc"
