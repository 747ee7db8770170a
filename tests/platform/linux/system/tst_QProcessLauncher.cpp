#include "platform/linux/system/QProcessLauncher.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestQProcessLauncher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // An address counts as opened only when the opener says so by its exit; an opener that ran
    // and found nothing to open the address with, or none at all, is a failure.
    void anAddressIsOpenedOnlyWhenTheOpenerSucceeds_data()
    {
        QTest::addColumn<QString>("opener");
        QTest::addColumn<bool>("opened");
        QTest::newRow("opened") << "exit 0" << true;
        QTest::newRow("no program for it") << "exit 3" << false;
        QTest::newRow("killed") << "kill -9 $$" << false;
        QTest::newRow("no opener") << QString() << false;
    }
    void anAddressIsOpenedOnlyWhenTheOpenerSucceeds()
    {
        QFETCH(QString, opener);
        QFETCH(bool, opened);
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("opener"));
        const QString log = dir.filePath(QStringLiteral("asked"));
        if (!opener.isNull()) {
            QVERIFY(writeFile(program,
                              QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" >'%1'\n%2\n").arg(log, opener).toUtf8()));
            QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        QProcessLauncher launcher(program);
        const QUrl address(QStringLiteral("https://example.com/authorize?state=a%20b&x=1"));
        QFuture<bool> opening = launcher.openUrl(address);
        QTRY_VERIFY_WITH_TIMEOUT(opening.isFinished(), 20000);
        QCOMPARE(opening.result(), opened);
        if (!opener.isNull())
            QCOMPARE(QUrl(QString::fromUtf8(readFile(log))), address);
    }
};

MURMO_TEST(TestQProcessLauncher)
#include "tst_QProcessLauncher.moc"
