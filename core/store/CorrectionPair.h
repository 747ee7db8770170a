#pragma once

#include <QString>

// One learned replacement: text the recogniser produced and what the user turned it into.
struct CorrectionPair
{
    QString wrong;
    QString right;

    friend bool operator==(const CorrectionPair&, const CorrectionPair&) = default;
};
