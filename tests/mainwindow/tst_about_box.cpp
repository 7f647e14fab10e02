// The about box: its fixed texts byte for byte, this machine's details where they belong, and
// no detail cut off, however long.

#include "mainwindow/about_box.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

Q_DECLARE_METATYPE(SystemInfo)

class TestAboutBox : public QObject {
    Q_OBJECT
private slots:
    void shows_data();
    void shows();
};

void TestAboutBox::shows_data()
{
    QTest::addColumn<SystemInfo>("info");

    QTest::newRow("this machine") << ReadSystemInfo();
    const QString unknown = QStringLiteral("未知");
    QTest::newRow("nothing known") << SystemInfo{unknown, unknown, unknown, unknown, unknown};
    QTest::newRow("long texts")
        << SystemInfo{QStringLiteral("Debian GNU/Linux 12 (bookworm) with a rather long name of its own edition"),
                      QStringLiteral("Linux 6.1.0-13-amd64"),
                      QStringLiteral("#1 SMP PREEMPT_DYNAMIC Debian 6.1.55-1 (2023-09-29) built on a long host name by a build system with a long name too"),
                      QStringLiteral("Intel(R) Xeon(R) Platinum 8375C CPU @ 2.90GHz (128 个逻辑处理器)"),
                      QStringLiteral("503.7 GB (528 178 492 KB)")};
}

void TestAboutBox::shows()
{
    QFETCH(SystemInfo, info);

    TAboutBox box(info);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    QCOMPARE(box.windowTitle(), QStringLiteral("关于 Tarvo"));
    QCOMPARE(box.ProductName->text(), QStringLiteral("Tarvo"));
    QVERIFY(box.ProductName->font().pointSizeF() > box.Comments->font().pointSizeF());
    QCOMPARE(box.Comments->text(), QStringLiteral("FTP 客户端软件"));
    QCOMPARE(box.Version->text(), QStringLiteral("Version: 1.0 Beta1 "));
    QCOMPARE(box.OsName->text(), info.osName);
    QVERIFY(box.OsVersion->text().contains(info.osVersion));
    QVERIFY(box.OsVersion->text().contains(info.osBuild));
    QCOMPARE(box.Processor->text(), info.processor);
    QCOMPARE(box.Memory->text(), info.memory);
    QCOMPARE(box.OKButton->text(), QStringLiteral("确定"));

    // Every label shows its whole text, measured here from its font: wrapped ones are tall
    // enough, the others wide enough.
    for (QLabel *label : box.findChildren<QLabel *>()) {
        if (label->text().isEmpty())
            continue;
        QVERIFY2(box.rect().contains(QRect(label->mapTo(&box, QPoint(0, 0)), label->size())),
                 qPrintable(label->text()));
        const QRect room = label->contentsRect();
        const QRect need = QFontMetrics(label->font())
                               .boundingRect(QRect(0, 0, room.width(), 10000),
                                             Qt::AlignLeft | (label->wordWrap() ? Qt::TextWordWrap : 0), label->text());
        QVERIFY2(need.width() <= room.width() && need.height() <= room.height(), qPrintable(label->text()));
    }
    QCOMPARE(box.minimumSize(), box.maximumSize());

    QTest::mouseClick(box.OKButton, Qt::LeftButton);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    QVERIFY(!box.isVisible());
}

QTEST_MAIN(TestAboutBox)
#include "tst_about_box.moc"
