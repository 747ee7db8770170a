#pragma once

#include "app/controller/AppServices.h"
#include "tests/app/controller/FakeApp.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
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

// Rows a reload took out are deleted once the event loop runs; the tests look at what is left.
inline void settleRows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The texts of the "row" widgets of an editor, in order, each with its detail when it has one.
inline QStringList rowTexts(const QWidget& editor)
{
    settleRows();
    QStringList texts;
    for (const QWidget* row : editor.findChildren<QWidget*>(QStringLiteral("row"))) {
        QString text = row->findChild<QLabel*>(QStringLiteral("text"))->text();
        if (const QLabel* detail = row->findChild<QLabel*>(QStringLiteral("detail")))
            text += QStringLiteral(" | ") + detail->text();
        texts.append(text);
    }
    return texts;
}
