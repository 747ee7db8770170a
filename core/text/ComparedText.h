#pragma once

#include <QString>
#include <QStringView>

#include <deque>
#include <vector>

// A text as user-perceived characters, each as written (for output) and in the form used to
// compare it: composed, and lower-cased when the comparison ignores case. Lower-casing character
// by character keeps both the same length. The characters are views into the text; only those
// whose compared form differs are stored apart, which for printable ASCII and CJK text (their own
// composed form) is none but upper-case letters.
class ComparedText
{
public:
    ComparedText(QString text, bool lowerCase);

    // The views point into m_text and m_folded, which a move keeps in place; a copy would not.
    ComparedText(ComparedText&&) = default;
    ComparedText& operator=(ComparedText&&) = default;
    ComparedText(const ComparedText&) = delete;
    ComparedText& operator=(const ComparedText&) = delete;

    qsizetype size() const { return qsizetype(m_offsets.size()) - 1; }
    QStringView written(qsizetype i) const
    {
        return QStringView(m_text).mid(m_offsets[std::size_t(i)],
                                       m_offsets[std::size_t(i) + 1] - m_offsets[std::size_t(i)]);
    }
    // UTF-16 offset of character i in the text (i == size(): the text's length).
    qsizetype offset(qsizetype i) const { return m_offsets[std::size_t(i)]; }

    // Whether other's compared characters appear at position.
    bool matchesAt(qsizetype position, const ComparedText& other) const;

    // The compared characters from position, count of them, as one key: equal keys mean equal
    // characters.
    QString key(qsizetype position, qsizetype count) const;
    // Appends character i to a key.
    void appendKey(QString& key, qsizetype i) const;

    std::vector<QStringView> compared;

    // Whether every unit of text is printable ASCII, CJK punctuation or a unified ideograph: then
    // each unit is a character of its own and the text is its own composed form.
    static bool isPlain(QStringView text);
    // Characters in text (grapheme clusters).
    static qsizetype characterCount(const QString& text);
    // text in composed form (NFC).
    static QString composed(const QString& text);

private:
    QStringView comparable(QStringView character, bool lowerCase);

    QString m_text;
    std::vector<qsizetype> m_offsets;
    std::deque<QString> m_folded;
};
