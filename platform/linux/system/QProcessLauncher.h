#pragma once

#include "platform/ProcessLauncher.h"

class QProcessLauncher : public ProcessLauncher
{
public:
    bool startDetached(const QString& program, const QStringList& arguments) override;
    QString findExecutable(const QString& name) const override;
};
