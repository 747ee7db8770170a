#include "app/ui/QtTexts.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

class TestQtTexts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void qtsOwnButtonsSpeakChinese()
    {
        QVERIFY(QtTexts::installChinese(*qApp));
        QDialogButtonBox buttons(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        QCOMPARE(buttons.button(QDialogButtonBox::Open)->text(), QStringLiteral("打开"));
        // The other tests of this program see Qt as it comes.
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }
};

MURMO_TEST(TestQtTexts)
#include "tst_QtTexts.moc"
