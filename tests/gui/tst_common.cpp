#include "core/base/clock.h"
#include "gui/userinteraction.h"
#include "tests/support/virtualclock.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace korvane;

class TestCommon : public QObject
{
    Q_OBJECT

private slots:
    void systemClockIsMonotonicAndSleeps()
    {
        SystemClock clock;
        const auto start = clock.nowNanoseconds();
        clock.sleep(20);
        const double elapsed = clock.secondsSince(start);
        QVERIFY(elapsed >= 0.019);
        QVERIFY(elapsed < 5.0);
    }

    void virtualClockAdvancesOnlyBySleeping()
    {
        VirtualClock clock;
        const auto start = clock.nowNanoseconds();
        for (int i = 0; i < 30000; ++i)
            clock.sleep(10);
        QCOMPARE(clock.secondsSince(start), 300.0);
        QCOMPARE(clock.sleepCount, 30000);
    }

    // The production progress dialog: modal, label above a bar without percentage text, shown at once.
    void progressDialogLayoutAndLifetime()
    {
        QMainWindow window;
        window.show();
        WidgetUserInteraction ui;
        auto progress =
            ui.showProgress(&window, QStringLiteral("读数据"), QStringLiteral("正在读数据\n"), 0, 100);
        auto dialogs = window.findChildren<QDialog*>();
        QCOMPARE(dialogs.size(), 1);
        QDialog* dialog = dialogs.first();
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->isModal());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("读数据"));
        auto* bar = dialog->findChild<QProgressBar*>();
        auto* label = dialog->findChild<QLabel*>();
        QVERIFY(bar && label);
        QVERIFY(!bar->isTextVisible());
        QCOMPARE(bar->maximum(), 100);
        QVERIFY(label->geometry().top() < bar->geometry().top());
        progress->setValue(42);
        QCOMPARE(progress->value(), 42);
        progress->setLabelText(QStringLiteral("x"));
        QCOMPARE(label->text(), QStringLiteral("x"));
        progress->close();
        QVERIFY(!dialog->isVisible());
        progress.reset();
        QVERIFY(window.findChildren<QDialog*>().isEmpty());
    }

    // While the work runs the user cannot close the dialog: Esc and the close control leave it up
    // and modal, so the window behind it takes no click. Closing it from code still works.
    void progressDialogStaysUpUntilClosedFromCode_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::newRow("Esc on the dialog") << "esc";
        QTest::newRow("Esc through the window system") << "esc window";
        QTest::newRow("close") << "close";
        QTest::newRow("close event") << "close event";
    }
    void progressDialogStaysUpUntilClosedFromCode()
    {
        QFETCH(QString, gesture);
        QMainWindow window;
        auto* button = new QPushButton(QStringLiteral("整片擦除"));
        window.setCentralWidget(button);
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
        window.resize(300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint onButton = button->mapTo(&window, button->rect().center());

        WidgetUserInteraction ui;
        auto progress =
            ui.showProgress(&window, QStringLiteral("写数据"), QStringLiteral("正在写数据\n"), 0, 10);
        auto* dialog = window.findChild<QDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        progress->setValue(3);

        if (gesture == "esc") {
            QTest::keyClick(dialog, Qt::Key_Escape);
        } else if (gesture == "esc window") {
            QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
        } else if (gesture == "close") {
            QVERIFY(!dialog->close());
        } else {
            QCloseEvent event;
            QApplication::sendEvent(dialog, &event);
            QVERIFY(!event.isAccepted());
        }
        QCoreApplication::processEvents();
        QVERIFY(dialog->isVisible());
        QVERIFY(progress->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(dialog));
        QCOMPARE(dialog->result(), 0);
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, onButton);
        QCOMPARE(clicks, 0);

        // The work ends: closed from code, and the window takes input again.
        progress->setValue(10);
        progress->close();
        QVERIFY(!dialog->isVisible());
        QVERIFY(!progress->isVisible());
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, onButton);
        QCOMPARE(clicks, 1);
        progress.reset();
        QVERIFY(window.findChildren<QDialog*>().isEmpty());
    }

    // A busy indicator has minimum and maximum 0.
    void progressDialogBusyRange()
    {
        WidgetUserInteraction ui;
        QWidget parent;
        auto progress = ui.showProgress(&parent, QStringLiteral("整片擦除"), QString(), 0, 0);
        auto* bar = parent.findChild<QProgressBar*>();
        QVERIFY(bar);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 0);
    }
};

QTEST_MAIN(TestCommon)
#include "tst_common.moc"
