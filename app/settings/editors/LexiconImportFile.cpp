#include "app/settings/editors/LexiconImportFile.h"

#include "core/async/BulkPool.h"
#include "core/store/LexiconImport.h"
#include "core/store/TextClass.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QtConcurrent>

namespace LexiconImportFile {

std::variant<QString, Refusal> read(const QString& path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Refusal{QStringLiteral("无法读取文件：") + file.errorString()};
    // Read one byte past the cap, so a file that grows while it is read is still caught.
    const QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes) {
        return Refusal{QStringLiteral("文件超过 %1 MB，没有导入")
                           .arg(maxBytes / (1024 * 1024) > 0 ? maxBytes / (1024 * 1024) : 1)};
    }
    if (file.error() != QFileDevice::NoError)
        return Refusal{QStringLiteral("无法读取文件：") + file.errorString()};
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return Refusal{QStringLiteral("文件不是 UTF-8 文本，没有导入")};
    // A byte order mark is not part of the first line.
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

namespace {

const QString kImportSource = QStringLiteral("user_added");

// The lines of text that hold an entry or fail to: neither blank nor a comment.
int entryLines(const QString& text)
{
    static const QRegularExpression lineEnds(QStringLiteral("\\R"));
    int lines = 0;
    for (const QString& piece : text.split(lineEnds, Qt::SkipEmptyParts)) {
        const QString line = TextClass::trimSpacesAndTabs(piece);
        lines += line.isEmpty() || line.startsWith(QLatin1Char('#')) ? 0 : 1;
    }
    return lines;
}

int skippedLines(const QString& text)
{
    const QList<LexiconImport::Entry> entries = LexiconImport::parse(text);
    int skipped = entryLines(text) - int(entries.size());
    for (const LexiconImport::Entry& entry : entries) {
        if (entry.kind == LexiconImport::Entry::Kind::Rule &&
            (entry.wrong.isEmpty() || entry.right.isEmpty() ||
             Lexicon::isRefused(entry.wrong, entry.right, kImportSource)))
            ++skipped;
    }
    return skipped;
}

} // namespace

std::variant<Outcome, Refusal> import(const std::shared_ptr<Lexicon>& lexicon, const QString& path)
{
    std::variant<QString, Refusal> text = read(path);
    if (auto* refusal = std::get_if<Refusal>(&text))
        return *refusal;
    const QString& content = std::get<QString>(text);
    // Counting what the lexicon will refuse takes a look at every line again; it runs beside the
    // import rather than after it.
    QFuture<int> skipped = QtConcurrent::run(&bulkPool(), &skippedLines, content);
    const Lexicon::ImportCounts counts = lexicon->importText(content);
    return Outcome{counts, skipped.result()};
}

QString resultLine(const Outcome& outcome)
{
    QString line = QStringLiteral("已导入 %1 条规则、%2 个热词").arg(outcome.counts.rules).arg(outcome.counts.hotwords);
    if (outcome.skippedLines > 0)
        line += QStringLiteral("，%1 行未导入").arg(outcome.skippedLines);
    return line;
}

} // namespace LexiconImportFile
