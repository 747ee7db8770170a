#pragma once

#include "platform/Accessibility.h"

#include <QHash>
#include <QList>
#include <QPromise>
#include <QString>

#include <memory>

// A text field of the fake accessibility tree. Tests change it directly, as the user would by
// typing, and look at it afterwards.
class FakeField : public AccessibleElement
{
public:
    bool isSecret() const override { return secret; }

    QString value;
    qsizetype selectionStart = 0;
    qsizetype selectionEnd = 0;
    qsizetype caret = 0;
    bool secret = false;
    // Whether the selection can be replaced / the whole value set.
    bool selectionSettable = true;
    bool valueSettable = true;
    // False: every read of the field fails (it went away).
    bool readable = true;
};

// The accessibility port over a scripted tree: one focused field and window titles by process
// id. Every request answers at once; every request is recorded, so tests can assert that a
// password field was never touched.
class FakeAccessibility : public Accessibility
{
public:
    bool isTrusted() const override { return trusted; }
    QFuture<AccessibleElementPtr> focusedElement() override;
    QFuture<std::optional<QString>> selectedText(AccessibleElementPtr element) override;
    QFuture<std::optional<QString>> value(AccessibleElementPtr element) override;
    QFuture<bool> replaceSelection(AccessibleElementPtr element, QString text) override;
    QFuture<bool> setValue(AccessibleElementPtr element, QString text) override;
    QFuture<std::optional<QString>> focusedWindowTitle(qint32 pid) override;

    std::shared_ptr<FakeField> addFocusedField(const QString& value = QString());

    // While set, focusedElement() answers only when releaseFocusedElement() is called, the way a
    // slow application keeps the accessibility bus waiting; the latest request is answered first.
    bool holdFocusedElement = false;
    void releaseFocusedElement();

    bool trusted = true;
    std::shared_ptr<FakeField> focused;
    QHash<qint32, QString> windowTitles;
    // "read value", "read selection", "replace selection", "set value" with the field's index
    // in the order fields were added, e.g. "set value #0".
    QList<QString> requests;

private:
    QString describe(const QString& what, const AccessibleElementPtr& element) const;
    QList<std::shared_ptr<FakeField>> m_fields;
    std::vector<std::shared_ptr<QPromise<AccessibleElementPtr>>> m_held;
};
