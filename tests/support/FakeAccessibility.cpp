#include "tests/support/FakeAccessibility.h"

namespace {

const FakeField* field(const AccessibleElementPtr& element)
{
    return dynamic_cast<const FakeField*>(element.get());
}

} // namespace

std::shared_ptr<FakeField> FakeAccessibility::addFocusedField(const QString& value)
{
    auto created = std::make_shared<FakeField>();
    created->value = value;
    created->caret = value.size();
    m_fields.append(created);
    focused = created;
    return created;
}

QString FakeAccessibility::describe(const QString& what, const AccessibleElementPtr& element) const
{
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).get() == element.get())
            return QStringLiteral("%1 #%2").arg(what).arg(i);
    }
    return what + QStringLiteral(" #?");
}

QFuture<AccessibleElementPtr> FakeAccessibility::focusedElement()
{
    if (!holdFocusedElement)
        return QtFuture::makeReadyFuture(AccessibleElementPtr(focused));
    auto promise = std::make_shared<QPromise<AccessibleElementPtr>>();
    promise->start();
    m_held.push_back(promise);
    return promise->future();
}

void FakeAccessibility::releaseFocusedElement()
{
    auto held = std::exchange(m_held, {});
    for (auto promise = held.rbegin(); promise != held.rend(); ++promise) {
        (*promise)->addResult(AccessibleElementPtr(focused));
        (*promise)->finish();
    }
}

QFuture<std::optional<QString>> FakeAccessibility::selectedText(AccessibleElementPtr element)
{
    requests.append(describe(QStringLiteral("read selection"), element));
    const FakeField* f = field(element);
    if (!f || !f->readable)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return QtFuture::makeReadyFuture(
        std::optional<QString>(f->value.mid(f->selectionStart, f->selectionEnd - f->selectionStart)));
}

QFuture<std::optional<QString>> FakeAccessibility::value(AccessibleElementPtr element)
{
    requests.append(describe(QStringLiteral("read value"), element));
    const FakeField* f = field(element);
    if (!f || !f->readable)
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return QtFuture::makeReadyFuture(std::optional<QString>(f->value));
}

QFuture<bool> FakeAccessibility::replaceSelection(AccessibleElementPtr element, QString text)
{
    requests.append(describe(QStringLiteral("replace selection"), element));
    auto* f = const_cast<FakeField*>(field(element));
    if (!f || !f->readable || !f->selectionSettable)
        return QtFuture::makeReadyFuture(false);
    const qsizetype start = f->selectionStart != f->selectionEnd ? f->selectionStart : f->caret;
    const qsizetype length = f->selectionEnd - f->selectionStart;
    f->value.replace(start, length, text);
    f->caret = start + text.size();
    f->selectionStart = f->selectionEnd = f->caret;
    return QtFuture::makeReadyFuture(true);
}

QFuture<bool> FakeAccessibility::setValue(AccessibleElementPtr element, QString text)
{
    requests.append(describe(QStringLiteral("set value"), element));
    auto* f = const_cast<FakeField*>(field(element));
    if (!f || !f->readable || !f->valueSettable)
        return QtFuture::makeReadyFuture(false);
    f->value = text;
    f->caret = text.size();
    f->selectionStart = f->selectionEnd = f->caret;
    return QtFuture::makeReadyFuture(true);
}

QFuture<std::optional<QString>> FakeAccessibility::focusedWindowTitle(qint32 pid)
{
    if (!windowTitles.contains(pid))
        return QtFuture::makeReadyFuture(std::optional<QString>());
    return QtFuture::makeReadyFuture(std::optional<QString>(windowTitles.value(pid)));
}
