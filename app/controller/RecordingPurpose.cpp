#include "app/controller/RecordingPurpose.h"

#include "core/store/HistoryEntry.h"

QString RecordingPurpose::listeningStatus() const
{
    switch (action) {
    case Action::Ask:
        return QStringLiteral("正在聆听…（提问）");
    case Action::Rewrite:
        return QStringLiteral("正在聆听…（改写）");
    case Action::Translate:
        return QStringLiteral("正在聆听…（译成英文）");
    case Action::Dictate:
        break;
    }
    return QStringLiteral("正在聆听…");
}

OverlayModel::Phase RecordingPurpose::listeningPhase() const
{
    switch (action) {
    case Action::Ask:
        return OverlayModel::Phase::listeningAsk;
    case Action::Rewrite:
        return OverlayModel::Phase::listeningRewrite;
    case Action::Translate:
        return OverlayModel::Phase::listeningTranslate;
    case Action::Dictate:
        break;
    }
    return OverlayModel::Phase::listening;
}

QString RecordingPurpose::recognisingStatus() const
{
    switch (action) {
    case Action::Ask:
        return QStringLiteral("提问识别中…");
    case Action::Rewrite:
        return QStringLiteral("改写识别中…");
    case Action::Translate:
    case Action::Dictate:
        break;
    }
    return QStringLiteral("识别中…");
}

QString RecordingPurpose::historyAction() const
{
    switch (action) {
    case Action::Ask:
        return HistoryEntry::kAsk;
    case Action::Rewrite:
        return HistoryEntry::kRewrite;
    case Action::Translate:
        return HistoryEntry::kTranslate;
    case Action::Dictate:
        break;
    }
    return HistoryEntry::kDictate;
}
