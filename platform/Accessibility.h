#pragma once

#include <QFuture>
#include <QString>

#include <memory>
#include <optional>

// One user-interface object of another application (a text field, most of the time), as the
// accessibility service exposes it. Handles may be kept and used on any thread; the adapter
// decides where the object is really touched.
class AccessibleElement
{
public:
    virtual ~AccessibleElement() = default;

    // A password field: its contents are never read, watched or written.
    virtual bool isSecret() const = 0;
};
using AccessibleElementPtr = std::shared_ptr<const AccessibleElement>;

// Reading and writing the text fields of other applications. Every request may take up to a
// short time-out when the other application hangs, so each one answers through a future instead
// of blocking: callers continue on their own thread when it resolves. Requests never fail by
// throwing; a failure resolves to an empty value or false.
class Accessibility
{
public:
    virtual ~Accessibility() = default;

    // Whether the program may act on other applications on this desktop (insert text by
    // synthesised keys). Readers work only when the accessibility service runs as well; without
    // it they resolve to nothing.
    virtual bool isTrusted() const = 0;

    // The element with the keyboard focus, null when there is none or it cannot be found.
    virtual QFuture<AccessibleElementPtr> focusedElement() = 0;

    // The element's selected text (empty when nothing is selected), absent when it has no text
    // or it cannot be read. Secret elements always give absent.
    virtual QFuture<std::optional<QString>> selectedText(AccessibleElementPtr element) = 0;

    // The element's whole text value, absent as for selectedText.
    virtual QFuture<std::optional<QString>> value(AccessibleElementPtr element) = 0;

    // Replaces the selection with text, or inserts it at the caret when nothing is selected.
    // False when the element's text cannot be edited, or it is secret.
    virtual QFuture<bool> replaceSelection(AccessibleElementPtr element, QString text) = 0;

    // Sets the element's whole text value. False when it cannot be set, or it is secret.
    virtual QFuture<bool> setValue(AccessibleElementPtr element, QString text) = 0;

    // The title of the focused window of the application with process id pid, as the
    // accessibility service names it; absent when it cannot be read.
    virtual QFuture<std::optional<QString>> focusedWindowTitle(qint32 pid) = 0;
};
