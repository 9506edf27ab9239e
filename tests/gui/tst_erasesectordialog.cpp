#include "gui/erasesectordialog.h"

#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace korvane;

class TestEraseSectorDialog : public QObject
{
    Q_OBJECT

private:
    static QSpinBox* start(EraseSectorDialog& d) { return d.findChild<QSpinBox*>("startSectorSpinBox"); }
    static QSpinBox* count(EraseSectorDialog& d) { return d.findChild<QSpinBox*>("sectorNumSpinBox"); }

private slots:
    void form()
    {
        EraseSectorDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Dialog"));
        QCOMPARE(dialog.size(), QSize(232, 101));
        QCOMPARE(dialog.findChild<QPushButton*>("surePushButton")->text(), QString("确定"));
        QCOMPARE(dialog.findChild<QPushButton*>("cancelPushButton")->text(), QString("取消"));
        QCOMPARE(start(dialog)->value(), 0);
        QCOMPARE(count(dialog)->value(), 0);
    }

    void limitsFollowTheStart()
    {
        EraseSectorDialog dialog;
        dialog.setSectorTotal(8);
        QCOMPARE(start(dialog)->maximum(), 7);
        QCOMPARE(count(dialog)->maximum(), 8);
        count(dialog)->setValue(6);
        start(dialog)->setValue(5);
        QCOMPARE(count(dialog)->maximum(), 3);
        QCOMPARE(count(dialog)->value(), 3); // lowered at once
        start(dialog)->setValue(7);
        QCOMPARE(count(dialog)->maximum(), 1);
        start(dialog)->setValue(99);
        QCOMPARE(start(dialog)->value(), 7);
        // A new total applies to the start already chosen.
        dialog.setSectorTotal(10);
        QCOMPARE(count(dialog)->maximum(), 3);
    }

    void totalOfZeroOrLessIsOne_data()
    {
        QTest::addColumn<int>("total");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -5;
    }
    void totalOfZeroOrLessIsOne()
    {
        QFETCH(int, total);
        EraseSectorDialog dialog;
        dialog.setSectorTotal(total);
        QCOMPARE(dialog.sectorTotal(), 1);
        QCOMPARE(start(dialog)->maximum(), 0);
        QCOMPARE(count(dialog)->maximum(), 1);
    }

    void confirmStoresTheChoice()
    {
        EraseSectorDialog dialog;
        dialog.setSectorTotal(16);
        start(dialog)->setValue(4);
        count(dialog)->setValue(3);
        QCOMPARE(dialog.startSector(), 0); // fixed only by the button
        dialog.findChild<QPushButton*>("surePushButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.startSector(), 4);
        QCOMPARE(dialog.sectorNum(), 3);
    }

    void cancelRejects()
    {
        EraseSectorDialog dialog;
        dialog.setSectorTotal(16);
        count(dialog)->setValue(3);
        dialog.setResult(QDialog::Accepted);
        dialog.findChild<QPushButton*>("cancelPushButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.sectorNum(), 0);
    }
};

QTEST_MAIN(TestEraseSectorDialog)
#include "tst_erasesectordialog.moc"
