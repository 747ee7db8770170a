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
        QTest::newRow("delete and C1 controls")
            << QByteArray(R"(a\u007fb\u0080c\u009b31md)") << QStringLiteral("abc31md");
        QTest::newRow("backslash before a C1 byte") << QByteArray("a\\\x98"
                                                                  "b\\\x84"
                                                                  "c")
                                                    << QStringLiteral("abc");
        QTest::newRow("raw C1 and delete") << QByteArray("a\x7f"
                                                         "b\xc2\x9b"
                                                         "c\xc2\x85"
                                                         "d")
                                           << QStringLiteral("abcd");
        QTest::newRow("bidi embedding, override, isolate") << QByteArray("a\\u202Ab\\u202ec\xe2\x80\xae"
                                                                         "d\\u2066e\\u2069f\xe2\x81\xa7g")
                                                           << QStringLiteral("abcdefg");
        QTest::newRow("joiners, selectors and marks kept")
            << QByteArray(R"(\u0915\u094d\u200d\u0937 \u200c\u2764\ufe0f\u200f\u00a0)")
            << QString::fromUtf16(u"\u0915\u094d\u200d\u0937 \u200c\u2764\ufe0f\u200f\u00a0");
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
        // A streaming frame arrives as text, so it can only carry valid UTF-8.
        if (QString::fromUtf8(escaped).toUtf8() != escaped)
            return;
        const StreamingEvent event = StreamingEvent::parse(QString::fromUtf8(
            R"({"type":"conversation.item.input_audio_transcription.completed","transcript":")" + escaped + R"("})"));
        QCOMPARE(event.transcript, expected);
    }
};

MURMO_TEST(TestServiceJson)
#include "tst_ServiceJson.moc"
