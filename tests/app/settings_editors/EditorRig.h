#pragma once

#include "app/controller/AppServices.h"
#include "app/settings/editors/RemovableRowsView.h"
#include "tests/app/controller/FakeApp.h"

#include <QWidget>

// The application over fakes, for the editors: its settings, stores and hotkey engine.
struct EditorRig
{
    // signedInAs: the session's access token, so the gateway answers the distillation.
    explicit EditorRig(std::optional<QString> signedInAs = std::nullopt)
        : app(build(fake, std::move(signedInAs)))
    {}

    FakeApp fake;
    AppServices& app;

    Settings& settings() { return app.settings(); }
    AppState& state() { return app.state(); }

private:
    static AppServices& build(FakeApp& fake, std::optional<QString> signedInAs)
    {
        fake.accessToken = std::move(signedInAs);
        return fake.build();
    }
};

// The texts of an editor's list, in order, each with its detail when it has one.
inline QStringList rowTexts(const QWidget& editor)
{
    QStringList texts;
    for (const RemovableRowsModel::Row& row : editor.findChild<RemovableRowsView*>()->rows().rows())
        texts.append(row.detail.isEmpty() ? row.text : row.text + QStringLiteral(" | ") + row.detail);
    return texts;
}
