#include "platform/LateLibrary.h"
#include "tests/support/TestRegistry.h"

#include <QRegularExpression>
#include <QTest>

#include <cmath>

namespace {

struct MathCalls
{
    decltype(&::cos) cos;
    decltype(&::sin) sin;
};

std::optional<MathCalls> loadMath(const char* soname, const char* second)
{
    return LateLibrary::load<MathCalls>("do sums", [&](LateLibrary& library, MathCalls& calls) {
        library.open(soname);
        library.bind(calls.cos, "cos");
        library.bind(calls.sin, second);
    });
}

// One place in the code that asks for the calls; each call counts the loader's runs.
const MathCalls* mathOnce(const char* soname, int& loads)
{
    return LateLibrary::once<MathCalls>("do sums once", [&](LateLibrary& library, MathCalls& calls) {
        ++loads;
        library.open(soname);
        library.bind(calls.cos, "cos");
        library.bind(calls.sin, "sin");
    });
}

} // namespace

class TestLateLibrary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void missingLibraryOrNameIsToldAndNothingIsBound_data()
    {
        QTest::addColumn<QByteArray>("soname");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QString>("told");
        QTest::newRow("library") << QByteArray("libmurmo-missing.so.1") << QByteArray("sin")
                                 << QStringLiteral("libmurmo-missing\\.so\\.1");
        QTest::newRow("name") << QByteArray("libm.so.6") << QByteArray("murmo_missing")
                              << QStringLiteral("murmo_missing");
    }

    void missingLibraryOrNameIsToldAndNothingIsBound()
    {
        QFETCH(QByteArray, soname);
        QFETCH(QByteArray, second);
        QFETCH(QString, told);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Cannot do sums without a library: .*") + told));
        QVERIFY(!loadMath(soname.constData(), second.constData()));
    }

    void presentLibraryIsCalled()
    {
        const std::optional<MathCalls> math = loadMath("libm.so.6", "sin");
        QVERIFY(math);
        QCOMPARE(math->cos(0.0), 1.0);
        QCOMPARE(math->sin(0.0), 0.0);
    }

    void onceLoadsAtTheFirstAskOnly()
    {
        int loads = 0;
        const MathCalls* first = mathOnce("libm.so.6", loads);
        // A later ask finds the calls of the first, whatever it would have opened.
        const MathCalls* again = mathOnce("libmurmo-missing.so.1", loads);
        QCOMPARE(loads, 1);
        QVERIFY(first);
        QCOMPARE(again, first);
        QCOMPARE(again->cos(0.0), 1.0);
    }
};

MURMO_TEST(TestLateLibrary)
#include "tst_LateLibrary.moc"
