#pragma once

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <optional>

class Accessibility;
class Workspace;

// What is on the screen when a recording starts: the front application, its window title and
// the text around the cursor. Names and terms found there are offered to the language model so
// it writes words the speaker did say the way the screen spells them.
namespace ScreenContext {

struct Info
{
    QString appName;
    QString windowTitle;
    QString nearbyText;

    bool operator==(const Info&) const = default;
};

constexpr qsizetype maxTitleLength = 120;
constexpr qsizetype maxNearbyLength = 300;
constexpr qsizetype maxTerms = 20;

// Reads the title of the focused window of pid and, when readText is set, the selection (or else
// the whole value) of the focused field. Never fails: what cannot be read is empty. Every
// accessibility request is bounded by the adapter's short time-out, and nothing blocks the
// calling thread. The ports must outlive the task.
QCoro::Task<Info> read(Accessibility* accessibility, Workspace* workspace, QString appName, std::optional<qint32> pid,
                       bool readText);

// The distinct name-like terms of text, in order of first appearance and as first spelled.
QStringList extractTerms(const QString& text);

// The reference block for the styling prompt, absent when there is nothing to say.
std::optional<QString> promptLine(const Info& info);

} // namespace ScreenContext
