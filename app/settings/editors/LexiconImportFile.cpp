#include "app/settings/editors/LexiconImportFile.h"

#include <QFile>
#include <QStringDecoder>

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

std::variant<Lexicon::ImportCounts, Refusal> import(const std::shared_ptr<Lexicon>& lexicon, const QString& path)
{
    std::variant<QString, Refusal> text = read(path);
    if (auto* refusal = std::get_if<Refusal>(&text))
        return *refusal;
    return lexicon->importText(std::get<QString>(text));
}

QString resultLine(const Lexicon::ImportCounts& counts)
{
    return QStringLiteral("已导入 %1 条规则、%2 个热词").arg(counts.rules).arg(counts.hotwords);
}

} // namespace LexiconImportFile
