#pragma once

#include <QObject>

// Whether the desktop wants light or dark windows. The answer may change while the program runs
// (the user flips the desktop's setting); darkChanged reports each change.
class Appearance : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isDark() const = 0;

Q_SIGNALS:
    void darkChanged(bool dark);
};
