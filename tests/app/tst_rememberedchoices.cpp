// The window remembers the user's choices between runs: size and position, device, port, speed,
// manufacturer and model, and the folder of the last file; a new user starts on the defaults.
#include "tests/app/flashwindowfixture.h"

#include <QLabel>
#include <QSettings>

using namespace korvane;

namespace {

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestRememberedChoices : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void restoredFromSettings_data();
    void restoredFromSettings();
    void choicesSurviveARestart();
    void withoutSettingsNothingIsStored();

private:
    // A window like the one main() makes: constructed, then handed the settings.
    void restart();
    QComboBox* box(const char* name) const { return f.child<QComboBox>(name); }
    QString settingsPath() const { return f.tempPath(QStringLiteral("settings.conf")); }

    FlashWindowFixture f;
    std::unique_ptr<QSettings> settings;
};

void TestRememberedChoices::init()
{
    const QList<CHIP_INFO> records{makeTestChip("Acme", "A1", {0xEF, 0x40, 0x15}, 1 << 20),
                                   makeTestChip("Acme", "A2", {0xEF, 0x40, 0x16}, 2 << 20),
                                   makeTestChip("Beta", "B1", {0xEF, 0x40, 0x17}, 4 << 20),
                                   makeTestChip("Beta", "B2", {0xEF, 0x40, 0x18}, 8 << 20)};
    QVERIFY(f.setUp(records, 1 << 20));
    settings = std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
}

void TestRememberedChoices::cleanup()
{
    settings.reset();
    f.tearDown();
}

void TestRememberedChoices::restart()
{
    f.window->close();
    f.window = std::make_unique<MainWindow>(*f.adapter, f.interaction, f.clock);
    f.hexEdit = f.window->findChild<QHexEdit*>();
    f.window->rememberChoices(settings.get());
}

void TestRememberedChoices::restoredFromSettings_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QStringList>("expected"); // device, port, speed, manufacturer, model, file folder

    const QStringList defaults{"0", "SPI1-CS0", "50 MHz", "Acme", "A1", ""};
    QTest::newRow("a new user gets the defaults") << QVariantMap() << defaults;
    QTest::newRow("everything remembered")
        << QVariantMap{{"device", "3"},          {"port", "SPI2-CS1"}, {"speed", "6.25 MHz"},
                       {"manufacturer", "Beta"}, {"model", "B2"},      {"directory", "/srv/images"}}
        << QStringList{"3", "SPI2-CS1", "6.25 MHz", "Beta", "B2", "/srv/images"};
    QTest::newRow("a model no longer in the list: its manufacturer's first")
        << QVariantMap{{"manufacturer", "Beta"}, {"model", "B9"}}
        << QStringList{"0", "SPI1-CS0", "50 MHz", "Beta", "B1", ""};
    QTest::newRow("a manufacturer no longer in the list: the first")
        << QVariantMap{{"manufacturer", "Gone"}, {"model", "B2"}} << defaults;
    QTest::newRow("a model of another manufacturer is not taken")
        << QVariantMap{{"manufacturer", "Acme"}, {"model", "B2"}} << defaults;
    QTest::newRow("values the boxes do not offer")
        << QVariantMap{{"device", "12"}, {"port", "SPI3-CS0"}, {"speed", "100 MHz"}, {"geometry", "junk"}}
        << defaults;
}

void TestRememberedChoices::restoredFromSettings()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QStringList, expected);
    const QSize defaultSize = f.window->size();
    settings->beginGroup(QStringLiteral("window"));
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        settings->setValue(it.key(), it.value());
    settings->endGroup();

    f.window = std::make_unique<MainWindow>(*f.adapter, f.interaction, f.clock);
    f.window->rememberChoices(settings.get());
    QCOMPARE(box("devIndexComboBox")->currentText(), expected[0]);
    QCOMPARE(box("spiIndexComboBox")->currentText(), expected[1]);
    QCOMPARE(box("speedComboBox")->currentText(), expected[2]);
    QCOMPARE(box("manufacturerComboBox")->currentText(), expected[3]);
    QCOMPARE(box("modelNameComboBox")->currentText(), expected[4]);
    QCOMPARE(chipModelName(f.window->currentChipInfo()), expected[4]);
    QCOMPARE(f.window->size(), defaultSize);
    QVERIFY(f.interaction.reports().isEmpty());

    // The remembered folder is where the file dialogs start; none is the dialog's own default.
    f.child<QAction>("actionOpenFile")->trigger();
    QCOMPARE(f.interaction.callsOf(InteractionCall::OpenFile).value(0).directory, expected[5]);
}

void TestRememberedChoices::choicesSurviveARestart()
{
    f.window->rememberChoices(settings.get());
    box("devIndexComboBox")->setCurrentIndex(7);
    box("spiIndexComboBox")->setCurrentIndex(9);
    box("speedComboBox")->setCurrentIndex(4);
    box("manufacturerComboBox")->setCurrentText(QStringLiteral("Beta"));
    box("modelNameComboBox")->setCurrentText(QStringLiteral("B2"));
    f.window->resize(900, 650);
    f.window->move(40, 30);
    QVERIFY(QDir().mkpath(f.tempPath(QStringLiteral("images"))));
    f.interaction.fileNames.enqueue(f.tempPath(QStringLiteral("images/missing.bin")));
    QTest::ignoreMessage(QtDebugMsg, "Open file error");
    f.child<QAction>("actionOpenFile")->trigger(); // the folder counts even when the load fails

    restart();
    QCOMPARE(box("devIndexComboBox")->currentText(), QStringLiteral("7"));
    QCOMPARE(box("spiIndexComboBox")->currentText(), QStringLiteral("SPI2-CS4"));
    QCOMPARE(box("speedComboBox")->currentText(), QStringLiteral("3.125 MHz"));
    QCOMPARE(box("manufacturerComboBox")->currentText(), QStringLiteral("Beta"));
    QCOMPARE(box("modelNameComboBox")->currentText(), QStringLiteral("B2"));
    QCOMPARE(f.window->currentChipInfo().Config.NumPages, (8 << 20) / 256);
    QCOMPARE(f.child<QLabel>("memSizeLabel")->text(), text("8 MByte"));
    QCOMPARE(f.window->size(), QSize(900, 650));
    f.interaction.clear();
    f.loadBytes(QByteArray("x"));
    QCOMPARE(f.interaction.callsOf(InteractionCall::OpenFile).value(0).directory,
             f.tempPath(QStringLiteral("images")));

    // The operations use what was restored.
    box("devIndexComboBox")->setCurrentIndex(0);
    f.click("verifyPushButton");
    const std::vector<AdapterCall> inits = f.adapter->callsOf(AdapterOp::FlashInit);
    QVERIFY(!inits.empty());
    QCOMPARE(inits.back().selector, 0x41);
    QCOMPARE(inits.back().clockHz, std::uint32_t(50000000 >> 4));
    QCOMPARE(inits.back().config.NumPages, (8 << 20) / 256);

    // Everything under one group, so that other parts of the program keep their own keys.
    QSettings stored(settingsPath(), QSettings::IniFormat);
    QCOMPARE(stored.childGroups(), QStringList{"window"});
    QCOMPARE(stored.value(QStringLiteral("window/port")).toString(), QStringLiteral("SPI2-CS4"));
}

void TestRememberedChoices::withoutSettingsNothingIsStored()
{
    box("devIndexComboBox")->setCurrentIndex(5);
    f.window->close();
    f.window = std::make_unique<MainWindow>(*f.adapter, f.interaction, f.clock);
    QCOMPARE(box("devIndexComboBox")->currentText(), QStringLiteral("0"));
    QVERIFY(!QFile::exists(settingsPath()));
    QCOMPARE(settings->allKeys(), QStringList());
}

QTEST_MAIN(TestRememberedChoices)
#include "tst_rememberedchoices.moc"
