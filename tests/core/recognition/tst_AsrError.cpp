#include "core/recognition/AsrError.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

class TestAsrError : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void descriptions_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");

        QTest::newRow("missing key") << AsrError::missingApiKey(QStringLiteral("Deepgram")).description()
                                     << QStringLiteral("未配置 Deepgram 的 API key");
        QTest::newRow("empty result") << AsrError::emptyResult().description() << QStringLiteral("识别结果为空");
        QTest::newRow("status with empty body")
            << AsrError::httpError(500, {}).description() << QStringLiteral("ASR 请求失败 (HTTP 500): ");
        QTest::newRow("status zero") << AsrError::httpError(0, QStringLiteral("x")).description()
                                     << QStringLiteral("ASR 请求失败 (HTTP 0): x");
        QTest::newRow("200 characters shown whole")
            << AsrError::httpError(502, QString(200, QLatin1Char('a'))).description()
            << QStringLiteral("ASR 请求失败 (HTTP 502): ") + QString(200, QLatin1Char('a'));
        QTest::newRow("250 characters cut after the 200th")
            << AsrError::httpError(502, QString(200, QLatin1Char('a')) + QString(50, QLatin1Char('b'))).description()
            << QStringLiteral("ASR 请求失败 (HTTP 502): ") + QString(200, QLatin1Char('a'));

        // Characters the user sees, not UTF-16 units: a flag is two code points of two units each,
        // an accented letter may be a letter plus a combining mark.
        QString flags;
        for (int i = 0; i < 201; ++i)
            flags += QStringLiteral("🇨🇳");
        QString expectedFlags;
        for (int i = 0; i < 200; ++i)
            expectedFlags += QStringLiteral("🇨🇳");
        QTest::newRow("cut by grapheme") << AsrError::httpError(429, flags).description()
                                         << QStringLiteral("ASR 请求失败 (HTTP 429): ") + expectedFlags;
        const QString combining = QStringLiteral("e\u0301");
        QTest::newRow("combining marks stay with their letter")
            << AsrError::httpError(400, combining.repeated(205)).description()
            << QStringLiteral("ASR 请求失败 (HTTP 400): ") + combining.repeated(200);
    }

    void descriptions()
    {
        QFETCH(QString, description);
        QFETCH(QString, expected);
        QCOMPARE(description, expected);
    }

    void payloadsAreKept()
    {
        const AsrError error = AsrError::httpError(503, QStringLiteral("busy"));
        QCOMPARE(error.kind(), AsrError::Kind::HttpError);
        QCOMPARE(error.status(), 503);
        QCOMPARE(error.body(), QStringLiteral("busy"));
        QCOMPARE(QString::fromUtf8(error.what()), error.description());
        QCOMPARE(AsrError::missingApiKey(QStringLiteral("Qwen (DashScope)")).provider(),
                 QStringLiteral("Qwen (DashScope)"));
    }
};

MURMO_TEST(TestAsrError)
#include "tst_AsrError.moc"
