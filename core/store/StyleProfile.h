#pragma once

#include "core/text/StyleMode.h"

#include <QByteArray>
#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class Styler;

// A short written portrait of how the user likes text to look, distilled by the language model
// from the user's own corrections and handed to every later styling request. Kept in
// "style-profile.json" in the data folder. Every read and change is one step under the store's
// mutex; the model call of a refresh runs between two such steps, never under the lock.
class StyleProfile : public QObject
{
    Q_OBJECT

public:
    struct Sample
    {
        QString original; // what the program delivered
        QString final;    // what the user turned it into

        bool operator==(const Sample&) const = default;
    };

    // The file's content.
    struct Snapshot
    {
        QString profileText;
        QList<Sample> samples; // oldest first
        qint64 correctionsSinceUpdate = 0;
        std::optional<QDateTime> updatedAt; // UTC

        bool operator==(const Snapshot&) const = default;
    };

    static constexpr qint64 kRefreshThreshold = 8;
    static constexpr qsizetype kSampleCap = 30;
    static constexpr qsizetype kRefreshWindow = 20;
    static constexpr qsizetype kMinimumSamples = 3;

    using Now = std::function<QDateTime()>;

    // Loads "style-profile.json" from directory, or starts empty. A file that cannot be read or
    // decoded is moved aside first, so the next save cannot destroy it. now stamps refreshes
    // (default: the system clock).
    explicit StyleProfile(const QString& directory, Now now = {}, QObject* parent = nullptr);

    QString filePath() const { return m_filePath; }

    QString profileText() const;
    std::optional<QDateTime> updatedAt() const;
    qsizetype sampleCount() const;
    Snapshot snapshot() const;

    // The profile as a system-prompt block (two line feeds, a heading, the profile), or empty.
    QString promptFragment() const;

    // Stores one correction. False, and nothing changes, when the texts are equal or final is
    // empty. True when a refresh is due (kRefreshThreshold corrections since the last one).
    bool record(const QString& original, const QString& final);

    // Asks styler to distil the newest samples into a new profile. Never fails: with too few
    // samples, or when the styler fails, nothing changes. Safe to start when the profile may be
    // destroyed before the styler answers.
    QCoro::Task<void> refresh(std::shared_ptr<const Styler> styler);

    // Forgets profile and samples.
    void reset();

    // The request of a refresh: the one-off mode and the numbered sample list it styles.
    static StyleMode distillationMode();
    static QString distillationText(const QList<Sample>& samples);

    // The file format. decode throws JsonError on anything but a valid snapshot.
    static QByteArray encode(const Snapshot& snapshot);
    static Snapshot decode(const QByteArray& bytes);

private:
    void save(); // m_mutex held

    QString m_filePath;
    Now m_now;
    mutable std::mutex m_mutex;
    Snapshot m_snapshot;
};
