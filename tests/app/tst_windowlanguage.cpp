// The window in English: chosen in 帮助 → 语言/Language or by the system's locale, every text
// translated, and every label and button shown whole although the English texts are longer. The
// Chinese window stays exactly as it was.
#include "tests/app/flashwindowfixture.h"

#include "app/windowlanguage.h"
#include "gui/operationframe.h"
#include "gui/userinteraction.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSettings>
#include <QTabBar>

#include <functional>

using namespace korvane;

Q_DECLARE_METATYPE(WindowLanguage)

namespace {

// Texts that are Chinese in both languages: the language menu names its choices each in its own.
const QStringList kAlwaysChinese{QStringLiteral("中文"), QStringLiteral("语言/Language")};

bool hasChinese(const QString& text)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    return text.contains(han) && !kAlwaysChinese.contains(text);
}

QString shownText(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        return group->title();
    if (auto* box = qobject_cast<QComboBox*>(widget))
        return box->currentText();
    return QString();
}

// The size a widget needs to show its text whole. Word-wrapped labels may be narrower than their
// one-line width, but not lower than their text at that width; combo boxes and group boxes may
// be narrower than their longest entry or ideal width, not than their minimum.
QSize neededSize(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label->wordWrap())
            return QSize(label->minimumSizeHint().width(), label->heightForWidth(label->width()));
        return label->sizeHint();
    }
    if (qobject_cast<QAbstractButton*>(widget))
        return widget->sizeHint();
    if (qobject_cast<QGroupBox*>(widget) || qobject_cast<QComboBox*>(widget))
        return widget->minimumSizeHint();
    if (auto* tabs = qobject_cast<QTabBar*>(widget))
        return tabs->usesScrollButtons() ? tabs->minimumSizeHint() : tabs->sizeHint();
    return QSize();
}

bool insideItemView(QWidget* widget, QWidget* top)
{
    for (QWidget* w = widget->parentWidget(); w && w != top; w = w->parentWidget()) {
        if (qobject_cast<QAbstractItemView*>(w))
            return true;
    }
    return false;
}

// Every visible label, button, check box, group box, combo box and tab bar of top that is cut
// short, and every one still showing Chinese; empty when all is well.
QStringList faults(QWidget* top)
{
    QStringList found;
    QList<QWidget*> widgets = top->findChildren<QWidget*>();
    widgets.prepend(top);
    int checked = 0;
    for (QWidget* widget : qAsConst(widgets)) {
        const QSize need = neededSize(widget);
        // Tables draw their own cells; their header corner is a button without text.
        if (!need.isValid() || !widget->isVisibleTo(top) || insideItemView(widget, top))
            continue;
        ++checked;
        const QString text = shownText(widget);
        if (widget->width() < need.width() || widget->height() < need.height()) {
            found << QStringLiteral("%1 \"%2\" is %3x%4, needs %5x%6")
                         .arg(widget->objectName(), text)
                         .arg(widget->width())
                         .arg(widget->height())
                         .arg(need.width())
                         .arg(need.height());
        }
        if (hasChinese(text))
            found << QStringLiteral("%1 still Chinese: %2").arg(widget->objectName(), text);
    }
    if (hasChinese(top->windowTitle()))
        found << QStringLiteral("title still Chinese: ") + top->windowTitle();
    if (checked == 0)
        found << QStringLiteral("nothing to check in ") + top->objectName();
    return found;
}

// The titles of every menu and menu entry, nested menus included.
QStringList menuTexts(QMenuBar* bar)
{
    QStringList texts;
    std::function<void(const QList<QAction*>&)> walk = [&](const QList<QAction*>& actions) {
        for (QAction* action : actions) {
            texts << action->text();
            if (action->menu())
                walk(action->menu()->actions());
        }
    };
    walk(bar->actions());
    return texts;
}

} // namespace

class TestWindowLanguage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void languageForLocale_data();
    void languageForLocale();
    void rememberedChoice_data();
    void rememberedChoice();

    void chineseWindowUnchanged_data();
    void chineseWindowUnchanged();
    void menuChoiceRemembered();

    void englishWindowWhole();
    void failureReasonInTheWindowsLanguage();
    void englishDialogsWhole_data();
    void englishDialogsWhole();
    void englishProgressWhole_data();
    void englishProgressWhole();

private:
    void restart();
    QAction* action(const char* name) const { return f.child<QAction>(name); }

    FlashWindowFixture f;
    std::unique_ptr<QSettings> settings;
};

void TestWindowLanguage::init()
{
    useEnglish(false);
    QVERIFY(f.setUp({FlashWindowFixture::chipRecord(QStringLiteral("T8M"), {0xEF, 0x40, 0x17}, 8 << 20)},
                    8 << 20, 0x17));
    settings = std::make_unique<QSettings>(f.tempPath(QStringLiteral("settings.conf")), QSettings::IniFormat);
}

void TestWindowLanguage::cleanup()
{
    useEnglish(false);
    settings.reset();
    f.tearDown();
}

// A window as main() makes it: the language settled first, then the window with the settings.
void TestWindowLanguage::restart()
{
    f.window.reset();
    f.window = std::make_unique<MainWindow>(*f.adapter, f.interaction, f.clock);
    f.hexEdit = f.window->findChild<QHexEdit*>();
    f.window->rememberChoices(settings.get());
}

void TestWindowLanguage::languageForLocale_data()
{
    QTest::addColumn<WindowLanguage>("choice");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("english");

    // No LANG at all (CI, tests, many boxes) keeps the window as it always was.
    QTest::newRow("system C") << WindowLanguage::System << "C" << false;
    QTest::newRow("system zh_CN") << WindowLanguage::System << "zh_CN" << false;
    QTest::newRow("system zh_TW") << WindowLanguage::System << "zh_TW" << false;
    QTest::newRow("system en_US") << WindowLanguage::System << "en_US" << true;
    QTest::newRow("system de_DE") << WindowLanguage::System << "de_DE" << true;
    QTest::newRow("system ja_JP") << WindowLanguage::System << "ja_JP" << true;
    QTest::newRow("Chinese chosen on en_US") << WindowLanguage::Chinese << "en_US" << false;
    QTest::newRow("English chosen on zh_CN") << WindowLanguage::English << "zh_CN" << true;
    QTest::newRow("English chosen on C") << WindowLanguage::English << "C" << true;
}

void TestWindowLanguage::languageForLocale()
{
    QFETCH(WindowLanguage, choice);
    QFETCH(QString, locale);
    QFETCH(bool, english);
    QCOMPARE(speaksEnglish(choice, QLocale(locale)), english);
}

void TestWindowLanguage::rememberedChoice_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<WindowLanguage>("expected");

    QTest::newRow("nothing stored") << QVariant() << WindowLanguage::System;
    QTest::newRow("en") << QVariant(QStringLiteral("en")) << WindowLanguage::English;
    QTest::newRow("zh_CN") << QVariant(QStringLiteral("zh_CN")) << WindowLanguage::Chinese;
    QTest::newRow("a language of a later version")
        << QVariant(QStringLiteral("fr")) << WindowLanguage::System;
    QTest::newRow("garbage") << QVariant(42) << WindowLanguage::System;
}

void TestWindowLanguage::rememberedChoice()
{
    QFETCH(QVariant, stored);
    QFETCH(WindowLanguage, expected);
    if (stored.isValid())
        settings->setValue(QStringLiteral("window/language"), stored);
    QCOMPARE(rememberedLanguage(*settings), expected);

    // Stored and read back, from a fresh settings object as at the next start.
    rememberLanguage(*settings, expected);
    QSettings again(settings->fileName(), QSettings::IniFormat);
    QCOMPARE(rememberedLanguage(again), expected);
    QCOMPARE(again.contains(QStringLiteral("window/language")), expected != WindowLanguage::System);
}

void TestWindowLanguage::chineseWindowUnchanged_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("C locale") << "C" << QVariant();
    QTest::newRow("zh_CN locale") << "zh_CN" << QVariant();
    QTest::newRow("中文 chosen on en_US") << "en_US" << QVariant(QStringLiteral("zh_CN"));
}

void TestWindowLanguage::chineseWindowUnchanged()
{
    QFETCH(QString, locale);
    QFETCH(QVariant, stored);
    if (stored.isValid())
        settings->setValue(QStringLiteral("window/language"), stored);
    QVERIFY(!setUpWindowLanguage(*settings, QLocale(locale)));
    QVERIFY(!englishInUse());
    restart();

    QCOMPARE(f.child<QPushButton>("readDataPushButton")->text(), QString::fromUtf8("读出数据"));
    QCOMPARE(f.window->findChild<QMenu*>(QStringLiteral("menu_4"))->title(), QString::fromUtf8("帮助"));
    QCOMPARE(operationText(operationTexts(FlashOperation::Write).successText),
             QString::fromUtf8("写数据成功！"));
    QCOMPARE(f.window->findChild<QLabel*>(QStringLiteral("adapterLabel"))->text().left(5),
             QString::fromUtf8("设备 0："));
    // Whatever was stored stays checked; following the system is the default.
    QVERIFY(action(stored.isValid() ? "actionLanguageChinese" : "actionLanguageSystem")->isChecked());
    QCOMPARE(f.window->findChild<QMenu*>(QStringLiteral("languageMenu"))->title(),
             QString::fromUtf8("语言/Language"));
}

void TestWindowLanguage::menuChoiceRemembered()
{
    restart();
    QVERIFY(action("actionLanguageSystem")->isChecked());

    // English: stored at once, and said in English, since the window changes only at the next start.
    action("actionLanguageEnglish")->trigger();
    QCOMPARE(settings->value(QStringLiteral("window/language")).toString(), QStringLiteral("en"));
    QCOMPARE(f.interaction.callsOf(InteractionCall::Information).size(), 1);
    QCOMPARE(f.interaction.calls.last().text,
             QStringLiteral("The window will be in English from the next start."));
    QVERIFY(action("actionLanguageEnglish")->isChecked());
    QVERIFY(!action("actionLanguageSystem")->isChecked());

    // The next start comes up English, with English checked, whatever the system's locale.
    QSettings nextStart(settings->fileName(), QSettings::IniFormat);
    QVERIFY(setUpWindowLanguage(nextStart, QLocale(QLocale::C)));
    restart();
    QCOMPARE(f.child<QPushButton>("readDataPushButton")->text(), QStringLiteral("Read"));
    QVERIFY(action("actionLanguageEnglish")->isChecked());

    // Choosing English again changes nothing and says nothing.
    f.interaction.clear();
    action("actionLanguageEnglish")->trigger();
    QVERIFY(f.interaction.calls.isEmpty());

    // 中文 brings Chinese back, said in Chinese.
    action("actionLanguageChinese")->trigger();
    QCOMPARE(settings->value(QStringLiteral("window/language")).toString(), QStringLiteral("zh_CN"));
    QCOMPARE(f.interaction.calls.size(), 1);
    QCOMPARE(f.interaction.calls.last().text, QString::fromUtf8("下次启动时界面将改为中文。"));
    QVERIFY(!setUpWindowLanguage(QSettings(settings->fileName(), QSettings::IniFormat),
                                 QLocale(QLocale::English)));
    restart();
    QCOMPARE(f.child<QPushButton>("readDataPushButton")->text(), QString::fromUtf8("读出数据"));

    // Following the system again forgets the choice.
    action("actionLanguageSystem")->trigger();
    QVERIFY(!settings->contains(QStringLiteral("window/language")));
}

// Why an operation failed comes from the core, whose texts are English in the source: the Chinese
// window says it in Chinese, the English one in English.
void TestWindowLanguage::failureReasonInTheWindowsLanguage()
{
    f.adapter->failCall(AdapterOp::FlashRead, 2);
    f.click("readDataPushButton");
    QVERIFY(f.interaction.messages().last().startsWith(QStringLiteral("读数据出错！\n在 0x005000 处失败：")));
    useEnglish(true);
    restart();
    f.adapter->failCall(AdapterOp::FlashRead, 2);
    f.click("readDataPushButton");
    QVERIFY(f.interaction.messages().last().startsWith(QStringLiteral("Read failed.\nfailed at 0x005000: ")));
}

void TestWindowLanguage::englishWindowWhole()
{
    settings->setValue(QStringLiteral("window/language"), QStringLiteral("en"));
    QVERIFY(setUpWindowLanguage(*settings, QLocale(QLocale::Chinese, QLocale::China)));
    restart();
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));

    QCOMPARE(f.child<QPushButton>("readDataPushButton")->text(), QStringLiteral("Read"));
    QCOMPARE(f.child<QPushButton>("eraseChipPushButton")->text(), QStringLiteral("Erase chip"));
    QCOMPARE(f.window->findChild<QLabel*>(QStringLiteral("adapterLabel"))->text().left(9),
             QStringLiteral("Device 0:"));
    const QStringList found = faults(f.window.get());
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    // The settings rows' boxes stay in one column although "Manufacturer:" is longer than "Port:".
    const int boxLeft = f.child<QComboBox>("devIndexComboBox")->mapTo(f.window.get(), QPoint()).x();
    for (const char* box : {"spiIndexComboBox", "speedComboBox", "manufacturerComboBox", "modelNameComboBox",
                            "memSizeLabel", "startAddrSpinBox"})
        QCOMPARE(f.child<QWidget>(box)->mapTo(f.window.get(), QPoint()).x(), boxLeft);

    QStringList chineseMenus;
    for (const QString& text : menuTexts(f.window->menuBar())) {
        if (hasChinese(text))
            chineseMenus << text;
    }
    QVERIFY2(chineseMenus.isEmpty(), qPrintable(chineseMenus.join(QLatin1Char('\n'))));
}

void TestWindowLanguage::englishDialogsWhole_data()
{
    QTest::addColumn<QString>("trigger"); // the window's action that opens the dialog
    QTest::addColumn<QString>("dialog");  // its class
    QTest::addColumn<QString>("button");  // clicked before the check, so the code's texts show
    QTest::addColumn<QString>("nested");  // a dialog that button opens, checked too

    QTest::newRow("chip list") << "actionAddChip"
                               << "ChipListDialog"
                               << ""
                               << "";
    QTest::newRow("add chip") << "actionAddChip"
                              << "ChipListDialog"
                              << "instructionsPushButton"
                              << "AddChipDialog";
    QTest::newRow("detect") << "actionChipDetect"
                            << "ChipDetectDialog"
                            << "detectPushButton"
                            << "";
    QTest::newRow("erase sectors") << "actionEraseSector"
                                   << "EraseSectorDialog"
                                   << ""
                                   << "";
    QTest::newRow("status registers") << "actionStatusRegisters"
                                      << "StatusRegisterDialog"
                                      << "readPushButton"
                                      << "";
    QTest::newRow("production") << "actionProduction"
                                << "ProductionDialog"
                                << ""
                                << "";
}

void TestWindowLanguage::englishDialogsWhole()
{
    QFETCH(QString, trigger);
    QFETCH(QString, dialog);
    QFETCH(QString, button);
    QFETCH(QString, nested);
    QVERIFY(useEnglish(true));
    restart();
    f.window->show();

    QStringList found;
    int checkedDialogs = 0;
    const auto check = [&](QDialog* shown) {
        shown->show();
        if (!QTest::qWaitForWindowExposed(shown))
            found << QStringLiteral("not shown: ") + shown->metaObject()->className();
        for (const QString& fault : faults(shown))
            found << QStringLiteral("%1: %2").arg(QLatin1String(shown->metaObject()->className()), fault);
        ++checkedDialogs;
    };
    f.interaction.dialogScripts.enqueue([&](QDialog* shown) {
        // Dialogs by their class, without the namespace.
        if (QString::fromLatin1(shown->metaObject()->className()).section(QStringLiteral("::"), -1) != dialog) {
            found << QStringLiteral("opened ") + shown->metaObject()->className();
            return int(QDialog::Rejected);
        }
        if (!button.isEmpty()) {
            if (!nested.isEmpty()) {
                f.interaction.dialogScripts.enqueue([&](QDialog* inner) {
                    if (QString::fromLatin1(inner->metaObject()->className()).section(QStringLiteral("::"), -1) ==
                        nested)
                        check(inner);
                    return int(QDialog::Rejected);
                });
            }
            shown->findChild<QPushButton*>(button)->click();
        }
        check(shown);
        return int(QDialog::Rejected);
    });
    action(trigger.toLatin1().constData())->trigger();

    QCOMPARE(checkedDialogs, nested.isEmpty() ? 1 : 2);
    // Nothing went wrong along the way: no warnings from the simulated chip.
    QCOMPARE(f.interaction.callsOf(InteractionCall::Warning).size(), 0);
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
}

void TestWindowLanguage::englishProgressWhole_data()
{
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("title"); // source texts, translated once English is installed
    QTest::addColumn<QByteArray>("label");

    // The longest label each operation opens its progress dialog with.
    const auto add = [](const char* name, const OperationTexts& texts) {
        QTest::newRow(name) << QByteArray("OperationFrame") << QByteArray(texts.progressTitle)
                            << QByteArray(texts.progressLabel);
    };
    add("read", operationTexts(FlashOperation::Read));
    add("write", operationTexts(FlashOperation::Write));
    add("verify", operationTexts(FlashOperation::Verify));
    add("erase chip", operationTexts(FlashOperation::EraseChip));
    add("erase sectors", operationTexts(FlashOperation::EraseSectors));
    add("smart write", smartWriteTexts());
    add("blank check", blankCheckTexts());
    QTest::newRow("firmware") << QByteArray("FirmwareService") << QByteArray("固件更新")
                              << QByteArray("正在检测设备，请稍后...\n");
}

void TestWindowLanguage::englishProgressWhole()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, title);
    QFETCH(QByteArray, label);
    QVERIFY(useEnglish(true));
    const QString englishTitle = QCoreApplication::translate(context.constData(), title.constData());
    const QString englishLabel = QCoreApplication::translate(context.constData(), label.constData());
    QVERIFY2(!hasChinese(englishTitle) && !hasChinese(englishLabel), qPrintable(englishTitle + englishLabel));

    QWidget parent;
    parent.show();
    WidgetUserInteraction widgets;
    std::unique_ptr<ProgressDialog> progress =
        widgets.showProgress(&parent, englishTitle, englishLabel, 0, 100);
    QDialog* dialog = parent.findChild<QDialog*>();
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QCOMPARE(dialog->windowTitle(), englishTitle);
    const QStringList found = faults(dialog);
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    progress->close();
}

QTEST_MAIN(TestWindowLanguage)
#include "tst_windowlanguage.moc"
