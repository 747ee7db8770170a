#include "app/feedback/AnswerModel.h"

void AnswerModel::setPhase(Phase phase)
{
    if (phase == m_phase)
        return;
    m_phase = phase;
    Q_EMIT changed();
}

void AnswerModel::setQuestion(const QString& question)
{
    if (question == m_question)
        return;
    m_question = question;
    Q_EMIT changed();
}

void AnswerModel::setAnswer(const QString& answer)
{
    if (answer == m_answer)
        return;
    m_answer = answer;
    Q_EMIT changed();
}
