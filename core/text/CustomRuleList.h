#pragma once

#include <QString>
#include <QStringList>

// The user's custom writing rules as the settings keep them: one rule a line in a single text,
// which goes whole into every styling prompt.
namespace CustomRuleList {

// The rules: the lines without the spaces and tabs around them, empty ones dropped, in order.
QStringList items(const QString& notes);
// The stored text without every rule equal to item.
QString without(const QString& notes, const QString& item);
// The stored text with rule appended, unless an equal rule is already there.
QString with(const QString& notes, const QString& rule);

// What the language model is told when it turns the user's description into a rule.
inline const QString kDistillPrompt = QStringLiteral(
    "你是写作偏好提炼器。把用户这句关于中文写作/标点/排版习惯的口语描述，提炼成一条简短、明确、祈使句式的规则（不超过 "
    "20 字），只输出规则本身，不要解释、不要加引号或序号。");

} // namespace CustomRuleList
