#pragma once

#include "app/desktop/ScreenContext.h"

#include <QString>

#include <optional>

// The background a spoken question is asked with: the front application, its window title and the
// text near the cursor, one labelled line each, leaving out what is blank. The nearby text is the
// screen context's, which never holds a password field's contents.
namespace AskContext {

std::optional<QString> build(const QString& appName, const std::optional<ScreenContext::Info>& screen);

} // namespace AskContext
