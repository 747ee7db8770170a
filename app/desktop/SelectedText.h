#pragma once

#include <QCoroTask>
#include <QString>

#include <optional>

class Accessibility;

// The text selected in the focused field of the front application, for the rewrite action:
// absent when nothing (or only white space) is selected, the field is a password field, or it
// cannot be read. The port must outlive the task.
QCoro::Task<std::optional<QString>> readSelectedText(Accessibility* accessibility);
