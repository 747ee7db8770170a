#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// One dictation, translation, question or rewrite as the history keeps it.
struct HistoryEntry
{
    QUuid id;
    QDateTime timestamp;
    QString asrText;
    QString finalText;
    QString modeId;
    QString providerId;
    // One of the actions below; absent means dictation.
    std::optional<QString> action;
    // The recording's file name inside the recordings folder; absent when no audio was kept.
    std::optional<QString> audioFileName;
    // Seconds into the recording where the microphone stopped on its own (the sound server went
    // away); absent for a take that ran until the user ended it. Written as "cutAt".
    std::optional<double> cutAt;

    // The actions an entry records, as the file stores them.
    static inline const QString kDictate = QStringLiteral("dictate");
    static inline const QString kTranslate = QStringLiteral("translate");
    static inline const QString kAsk = QStringLiteral("ask");
    static inline const QString kRewrite = QStringLiteral("rewrite");

    // What an entry shows while its recording is being recognised, and after recognition failed
    // until a retry succeeds. Neither is anything the user said.
    static inline const QString kRecognisingText = QStringLiteral("（识别中…）");
    static inline const QString kFailedText = QStringLiteral("（识别失败 · 点 ↻ 重试）");
    static bool isPlaceholder(const QString& finalText)
    {
        return finalText == kRecognisingText || finalText == kFailedText;
    }

    // What an entry and its status line say of a take cut at `seconds`.
    static QString cutText(double seconds);

    // A new entry with a fresh id, stamped now, without a recording.
    static HistoryEntry make(QString asrText, QString finalText, QString modeId, QString providerId,
                             std::optional<QString> action = std::nullopt,
                             QDateTime timestamp = QDateTime::currentDateTimeUtc());

    // The id as it appears in the file and in the recording's name: canonical, upper case.
    QString idText() const;

    QJsonObject toJson() const;
    // std::nullopt when a required key is missing or any value has the wrong type.
    static std::optional<HistoryEntry> fromJson(const QJsonObject& object);

    // The contents of "history.json": a compact array of entries, oldest first.
    static QByteArray encodeList(const QList<HistoryEntry>& entries);
    // std::nullopt unless the bytes are such an array and every entry in it is readable.
    static std::optional<QList<HistoryEntry>> decodeList(QByteArrayView bytes);

    // The newest entries of a list, and how many older ones it held beyond them.
    struct Newest
    {
        QList<HistoryEntry> entries;
        qsizetype olderCount = 0;
    };
    // Reads "history.json" like decodeList(), but keeps only the newest `keep` entries; the older
    // ones are checked as strictly and left out.
    static std::optional<Newest> decodeNewest(const QByteArray& bytes, qsizetype keep);

    friend bool operator==(const HistoryEntry&, const HistoryEntry&) = default;
};
