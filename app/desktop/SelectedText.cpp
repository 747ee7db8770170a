#include "app/desktop/SelectedText.h"

#include "platform/Accessibility.h"

#include <QCoroFuture>

QCoro::Task<std::optional<QString>> readSelectedText(Accessibility* accessibility)
{
    QFuture<AccessibleElementPtr> focusedRequest = accessibility->focusedElement();
    const AccessibleElementPtr focused = co_await focusedRequest;
    if (!focused || focused->isSecret())
        co_return std::nullopt;
    QFuture<std::optional<QString>> selectionRequest = accessibility->selectedText(focused);
    std::optional<QString> selection = co_await selectionRequest;
    if (!selection || selection->trimmed().isEmpty())
        co_return std::nullopt;
    co_return selection;
}
