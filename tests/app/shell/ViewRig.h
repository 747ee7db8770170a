#pragma once

#include "app/controller/AppState.h"
#include "app/controller/Settings.h"
#include "app/desktop/PermissionsModel.h"
#include "app/shell/HistoryWindow.h"
#include "core/store/Lexicon.h"
#include "tests/app/shell/ShellFakes.h"
#include "tests/support/FakePermissionProbes.h"
#include "tests/support/FakeProcessLauncher.h"

#include <memory>

// The main window over a temporary data directory and settings file, with every desktop service
// faked. Permissions are granted and the hotkeys work unless a test says otherwise.
struct ViewRig
{
    QTemporaryDir configDir;
    Settings settings{configDir.path() + QStringLiteral("/Murmo.conf"), nullptr};
    AppState state{settings};
    HistoryFixture history;
    Lexicon lexicon{history.dir.path()};
    FakePermissionProbes probes;
    ManualClock clock;
    std::unique_ptr<PermissionsModel> permissions;
    FakeProcessLauncher launcher;
    FakeSoundOutput output;
    AudioPreview audio{output, [](const QString&) { return QByteArray("RIFF-fake-wave"); }};
    RecordingEntryActions actions;
    QStringList revealed;
    // Whether a file manager shows what is revealed.
    bool revealShows = true;
    bool fnTaken = false;
    std::optional<InstallLocation::Warning> installWarning;
    std::unique_ptr<HistoryWindow> window;

    ViewRig()
    {
        probes.microphone = true;
        probes.accessibility = true;
        state.setHotkeysActive(true);
    }

    HistoryWindow& open(bool onboarded = true)
    {
        permissions = std::make_unique<PermissionsModel>(probes);
        HistoryView::Parts parts{state,
                                 settings,
                                 history.store,
                                 lexicon,
                                 *permissions,
                                 probes,
                                 launcher,
                                 audio,
                                 actions,
                                 clock,
                                 [this](const QString& path) {
                                     revealed << path;
                                     return QtFuture::makeReadyFuture(revealShows);
                                 },
                                 [this] { return fnTaken; },
                                 installWarning,
                                 QStringLiteral("/home/user/Downloads/murmo")};
        window = std::make_unique<HistoryWindow>(std::move(parts), onboarded);
        window->show();
        return *window;
    }

    HistoryView& view() { return *window->view(); }
    void historyChanged() { state.bumpHistoryVersion(); }
};
