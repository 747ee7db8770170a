#pragma once

#include "app/controller/HistoryEntryActions.h"
#include "app/feedback/AudioPreview.h"
#include "app/shell/HistoryListModel.h"
#include "app/shell/HistoryListView.h"
#include "core/store/HistoryStore.h"
#include "tests/support/FakeSoundOutput.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

// Records the card actions that go to the controller.
class RecordingEntryActions : public HistoryEntryActions
{
public:
    QList<QUuid> retranscribed;
    QList<QPair<QUuid, QString>> corrected;

    void retranscribe(const HistoryEntry& entry) override { retranscribed << entry.id; }
    void correctHistory(const HistoryEntry& entry, const QString& newText) override
    {
        corrected << qMakePair(entry.id, newText);
    }
};

// A history in a temporary data directory, with recordings where asked.
struct HistoryFixture
{
    QTemporaryDir dir;
    HistoryStore store{dir.path()};

    // The store has looked for its file before any view reads it.
    HistoryFixture() { store.flush(); }

    // Adds an entry (newest last added) and, when withAudio, a recording file for it.
    HistoryEntry add(const QString& finalText, std::optional<QString> action = std::nullopt, bool withAudio = false,
                     const QString& asrText = {})
    {
        HistoryEntry entry = HistoryEntry::make(asrText.isNull() ? finalText : asrText, finalText,
                                                QStringLiteral("formal"), QStringLiteral("qwen"), std::move(action));
        if (withAudio) {
            entry.audioFileName = entry.idText() + QStringLiteral(".ogg");
            QDir().mkpath(store.recordingsDir());
            writeFile(store.recordingsDir() + u'/' + *entry.audioFileName, QByteArray("OggS"));
        }
        store.add(entry);
        return entry;
    }
};

// The list with every collaborator faked.
struct ListRig
{
    HistoryFixture history;
    HistoryListModel model;
    FakeSoundOutput output;
    AudioPreview audio{output, [](const QString&) { return QByteArray("RIFF-fake-wave"); }};
    RecordingEntryActions actions;
    QStringList revealed;
    ManualClock clock;
    HistoryListView view{model, history.store, audio, actions, [this](const QString& path) { revealed << path; },
                         clock};

    ListRig() { view.resize(640, 480); }
    void refresh() { model.setEntries(history.store.all()); }
};
