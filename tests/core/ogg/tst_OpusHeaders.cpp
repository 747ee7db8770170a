#include "core/ogg/OpusHeaders.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

namespace {

QByteArray header(const char* tail, int tailSize)
{
    return QByteArray("OpusHead", 8) + QByteArray(tail, tailSize);
}

int parse(const QByteArray& packet, OpusHeader* out = nullptr)
{
    return opus_header_parse(reinterpret_cast<const unsigned char*>(packet.constData()), int(packet.size()), out);
}

} // namespace

class TestOpusHeaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writtenIdentificationHeader()
    {
        Header h;
        h.outputChannels = 2;
        h.inputSampleRate = 44100;
        QCOMPARE(h.toBytes(), header("\x01\x02\x00\x00\x44\xac\x00\x00\x00\x00\x00", 11));
    }

    void acceptance_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<int>("accepted");
        // version, channels, pre-skip (2), rate (4), gain (2), family
        QTest::newRow("as written") << header("\x01\x01\x00\x00\x80\x3e\x00\x00\x00\x00\x00", 11) << 1;
        QTest::newRow("version 1 with a trailing byte")
            << header("\x01\x01\x00\x00\x80\x3e\x00\x00\x00\x00\x00\x00", 12) << 0;
        QTest::newRow("version 2 with trailing bytes")
            << header("\x02\x01\x00\x00\x80\x3e\x00\x00\x00\x00\x00xyz", 14) << 1;
        QTest::newRow("version 0") << header("\x00\x01\x00\x00\x80\x3e\x00\x00\x00\x00\x00", 11) << 1;
        QTest::newRow("version 16") << header("\x10\x01\x00\x00\x80\x3e\x00\x00\x00\x00\x00", 11) << 0;
        QTest::newRow("no channels") << header("\x01\x00\x00\x00\x80\x3e\x00\x00\x00\x00\x00", 11) << 0;
        QTest::newRow("one byte short") << header("\x01\x01\x00\x00\x80\x3e\x00\x00\x00\x00", 10) << 0;
        QTest::newRow("wrong magic") << QByteArray("OpusHeaD\x01\x01\x00\x00\x80\x3e\x00\x00\x00\x00\x00", 19) << 0;
        QTest::newRow("family 0, three channels") << header("\x01\x03\x00\x00\x80\x3e\x00\x00\x00\x00\x00", 11) << 0;
        QTest::newRow("family 0, stereo") << header("\x01\x02\x00\x00\x80\x3e\x00\x00\x00\x00\x00", 11) << 1;
        // family 1: streams, coupled, then one map byte per channel
        QTest::newRow("family 1, 3 channels")
            << header("\x01\x03\x00\x00\x80\xbb\x00\x00\x00\x00\x01\x02\x01\x00\x02\x01", 16) << 1;
        QTest::newRow("family 1, silent channel")
            << header("\x01\x02\x00\x00\x80\xbb\x00\x00\x00\x00\x01\x01\x00\x00\xff", 15) << 1;
        QTest::newRow("family 1, no streams")
            << header("\x01\x01\x00\x00\x80\xbb\x00\x00\x00\x00\x01\x00\x00\x00", 14) << 0;
        QTest::newRow("family 1, more coupled than streams")
            << header("\x01\x01\x00\x00\x80\xbb\x00\x00\x00\x00\x01\x01\x02\x00", 14) << 0;
        QTest::newRow("family 1, map beyond the streams")
            << header("\x01\x01\x00\x00\x80\xbb\x00\x00\x00\x00\x01\x01\x00\x01", 14) << 0;
        QTest::newRow("family 1, map cut short")
            << header("\x01\x03\x00\x00\x80\xbb\x00\x00\x00\x00\x01\x02\x01\x00\x02", 15) << 0;
        QTest::newRow("family 1, stream counts cut off")
            << header("\x01\x01\x00\x00\x80\xbb\x00\x00\x00\x00\x01", 11) << 0;
        QTest::newRow("family 1, version 1 with a trailing byte")
            << header("\x01\x01\x00\x00\x80\xbb\x00\x00\x00\x00\x01\x01\x00\x00\x00", 15) << 0;
        QTest::newRow("family 255 with 255 streams and coupled")
            << header("\x01\x01\x00\x00\x80\xbb\x00\x00\x00\x00\xff\xff\x01\x00", 14) << 0;
    }

    void acceptance()
    {
        QFETCH(QByteArray, packet);
        QFETCH(int, accepted);
        QCOMPARE(parse(packet), accepted);
    }

    void fieldsAreReadLittleEndian()
    {
        OpusHeader h;
        QCOMPARE(parse(header("\x01\x02\x38\x01\x11\x2b\x00\x00\x00\xff\x00", 11), &h), 1);
        QCOMPARE(h.version, 1);
        QCOMPARE(h.channels, 2);
        QCOMPARE(h.preskip, 312);
        QCOMPARE(h.input_sample_rate, 11025u);
        QCOMPARE(h.gain, -256);
        QCOMPARE(h.channel_mapping, 0);
        QCOMPARE(h.nb_streams, 1);
        QCOMPARE(h.nb_coupled, 1);
        QCOMPARE(h.stream_map[0], 0);
        QCOMPARE(h.stream_map[1], 1);

        QCOMPARE(parse(header("\x01\x03\x00\x00\x80\xbb\x00\x00\x00\x00\x01\x02\x01\x02\x00\xff", 16), &h), 1);
        QCOMPARE(h.nb_streams, 2);
        QCOMPARE(h.nb_coupled, 1);
        QCOMPARE(h.stream_map[0], 2);
        QCOMPARE(h.stream_map[1], 0);
        QCOMPARE(h.stream_map[2], 255);
    }

    void writtenCommentHeader()
    {
        CommentHeader tags;
        tags.vendorString = QStringLiteral("v");
        tags.userComments = {Comment{QStringLiteral("A=é")}};
        QCOMPARE(tags.toBytes(), QByteArray("OpusTags\x01\x00\x00\x00v\x01\x00\x00\x00\x04\x00\x00\x00"
                                            "A=\xc3\xa9",
                                            25));
    }
};

MURMO_TEST(TestOpusHeaders)
#include "tst_OpusHeaders.moc"
