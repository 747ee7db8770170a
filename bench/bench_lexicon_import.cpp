// What a user waits for after choosing a word list in the settings: a 20,000-line file read,
// checked, folded into the lexicon and saved. The bare work is building the same rules and
// hotwords in memory from the file, with nothing checked and nothing saved.
#include "app/settings/editors/LexiconImportFile.h"
#include "bench/BenchRatio.h"
#include "core/store/LearnedRule.h"
#include "core/store/LexiconImport.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int kLines = 20000;

// Three rules to a hotword, Latin and Chinese, with a few comments and blank lines.
QByteArray importFile()
{
    const QString han = QStringLiteral("甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉戌亥");
    QString text;
    for (int i = 0; i < kLines; ++i) {
        if (i % 50 == 0)
            text += QStringLiteral("# 第 %1 组\n\n").arg(i / 50);
        else if (i % 4 == 3)
            text += QStringLiteral("Term%1\n").arg(i);
        else if (i % 2 == 0)
            text += QStringLiteral("word%1x -> Word%1\n").arg(i);
        else
            text += QString(han.at(i % han.size())) + han.at((i / han.size()) % han.size()) + QString::number(i) +
                    QStringLiteral(" => ") + QStringLiteral("正%1\n").arg(i);
    }
    return text.toUtf8();
}

struct Setup
{
    Setup()
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(importFile());
    }

    // A fresh lexicon each time, so every import stores all its lines.
    void ours() const
    {
        QTemporaryDir store;
        auto lexicon = std::make_shared<Lexicon>(store.path());
        benchmark::DoNotOptimize(LexiconImportFile::import(lexicon, path));
    }

    void baseline() const
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        const QString text = QString::fromUtf8(file.readAll());
        QList<LearnedRule> rules;
        QHash<QString, qsizetype> byWrong;
        QStringList hotwords;
        QSet<QString> known;
        for (const LexiconImport::Entry& entry : LexiconImport::parse(text)) {
            if (entry.kind == LexiconImport::Entry::Kind::Hotword) {
                if (!known.contains(entry.wrong)) {
                    known.insert(entry.wrong);
                    hotwords.append(entry.wrong);
                }
            } else if (!byWrong.contains(entry.wrong)) {
                byWrong.insert(entry.wrong, rules.size());
                rules.append(LearnedRule::make(entry.wrong, entry.right, QStringLiteral("user_added")));
            }
        }
        benchmark::DoNotOptimize(rules.size() + hotwords.size());
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("words.txt"));
};

void ImportTwentyThousandLines(benchmark::State& state)
{
    Setup setup;
    for (auto _ : state)
        setup.ours();
    BenchRatio::compare(
        state, "import 20,000 lines, saved / built in memory", [&] { setup.ours(); }, [&] { setup.baseline(); }, 3.0);
}

} // namespace

BENCHMARK(ImportTwentyThousandLines)->Unit(benchmark::kMillisecond);
