#pragma once

#include "app/feedback/OverlayModel.h"

#include <QString>

#include <optional>

// What a recording is for, carried whole from the key that set it to the history entry: a plain
// dictation, a translation into English, a question for the answer card, or a rewrite of the text
// the user had selected, which only a rewrite carries.
struct RecordingPurpose
{
    enum class Action
    {
        Dictate,
        Translate,
        Ask,
        Rewrite,
    };

    Action action = Action::Dictate;
    std::optional<QString> selection;

    static RecordingPurpose dictate() { return {}; }
    static RecordingPurpose translate() { return {Action::Translate, std::nullopt}; }
    static RecordingPurpose ask() { return {Action::Ask, std::nullopt}; }
    static RecordingPurpose rewrite(QString selection) { return {Action::Rewrite, std::move(selection)}; }

    bool is(Action other) const { return action == other; }
    // The status line and the capsule while the recording listens.
    QString listeningStatus() const;
    OverlayModel::Phase listeningPhase() const;
    // The status line while the recording is recognised.
    QString recognisingStatus() const;
    // The action its history entry records.
    QString historyAction() const;

    bool operator==(const RecordingPurpose&) const = default;
};
