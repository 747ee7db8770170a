#include "core/net/Json.h"
#include "core/recognition/StreamingEvent.h"
#include "tests/support/TestRegistry.h"

#include <QJsonArray>
#include <QTest>

class TestServiceJson : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlCharactersFromAServiceAreDropped_data()
    {
        QTest::addColumn<QByteArray>("escaped");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nul") << QByteArray(R"(a\u0000b)") << QStringLiteral("ab");
        QTest::newRow("terminal escape") << QByteArray(R"(\u001b[31mred)") << QStringLiteral("[31mred");
        QTest::newRow("short escapes") << QByteArray(R"(a\bb\fc\rd)") << QStringLiteral("abcd");
        QTest::newRow("raw bytes") << QByteArray("a\x01"
                                                 "b\x00"
                                                 "c\x1b",
                                                 6)
                                   << QStringLiteral("abc");
        QTest::newRow("tab and newline kept") << QByteArray(R"(a\tb\nc\r\n)") << QStringLiteral("a\tb\nc\n");
        QTest::newRow("plain text untouched") << QByteArray(R"(好 \u00e9 \\b)") << QStringLiteral("好 é \\b");
    }

    void controlCharactersFromAServiceAreDropped()
    {
        QFETCH(QByteArray, escaped);
        QFETCH(QString, expected);
        // In every place of a service's answer, and in the streaming service's events.
        const QJsonDocument document =
            parseJsonDocument(R"({"text":")" + escaped + R"(","list":[{"deep":")" + escaped + R"("}]})");
        QCOMPARE(document.object().value("text").toString(), expected);
        QCOMPARE(document.object().value("list").toArray().at(0).toObject().value("deep").toString(), expected);
        const StreamingEvent event = StreamingEvent::parse(QString::fromUtf8(
            R"({"type":"conversation.item.input_audio_transcription.completed","transcript":")" + escaped + R"("})"));
        QCOMPARE(event.transcript, expected);
    }
};

MURMO_TEST(TestServiceJson)
#include "tst_ServiceJson.moc"
