#include "app/controller/RecordingPurpose.h"

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
