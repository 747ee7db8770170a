#pragma once

#include "app/desktop/ScreenContext.h"
#include "platform/Workspace.h"

#include <QString>

#include <optional>

// How the styler is told which application a dictation is for, and the display name of an
// application, from what the recording start found out about the front window.
namespace AppContextLabel {

// The running application's own name for bundleId when it has one, else the name of the
// application that was in front when the recording started.
std::optional<QString> appName(Workspace& workspace, const std::optional<QString>& bundleId,
                               const std::optional<RunningApplication>& frontmost);

// None when the user turned the context off; else the screen context's application and window
// title ("Mail · Re: plan"), or the target application's name.
std::optional<QString> label(bool autoCompose, const std::optional<ScreenContext::Info>& screen, Workspace& workspace,
                             const std::optional<QString>& targetBundleId,
                             const std::optional<RunningApplication>& frontmost);

} // namespace AppContextLabel
