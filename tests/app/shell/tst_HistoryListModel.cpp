#include "app/shell/EntryAction.h"
#include "app/shell/HistoryListModel.h"
#include "app/ui/Theme.h"
#include "core/text/StyleMode.h"
#include "tests/support/TestRegistry.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

HistoryEntry entry(const QString& text, std::optional<QString> action = std::nullopt)
{
    return HistoryEntry::make(text, text, QStringLiteral("formal"), QStringLiteral("qwen"), std::move(action));
}

QStringList texts(const HistoryListModel& model)
{
    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row)
        shown << model.data(model.index(row)).toString();
    return shown;
}

} // namespace

class TestHistoryListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filtersAndCountsByAction()
    {
        HistoryListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QList<HistoryEntry> all{entry("a"), entry("b", HistoryEntry::kDictate), entry("c", HistoryEntry::kAsk),
                                      entry("d", QStringLiteral("summarise")), entry("e", HistoryEntry::kTranslate)};
        model.setEntries(all);
        QCOMPARE(texts(model), (QStringList{"a", "b", "c", "d", "e"}));
        QCOMPARE(model.count(std::nullopt), 5);
        // No action counts as a dictation; an action this version does not know only under "all".
        QCOMPARE(model.count(HistoryEntry::kDictate), 2);
        QCOMPARE(model.count(HistoryEntry::kAsk), 1);
        QCOMPARE(model.count(HistoryEntry::kRewrite), 0);

        model.setFilter(HistoryEntry::kDictate);
        QCOMPARE(texts(model), (QStringList{"a", "b"}));
        QCOMPARE(model.count(std::nullopt), 5);
        model.setFilter(HistoryEntry::kRewrite);
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.historyEmpty());
        model.setFilter(std::nullopt);
        QCOMPARE(model.rowCount(), 5);
    }

    // Each refresh is what the store can do between two looks: add at the top, change texts,
    // delete, drop the oldest past the limit, or several at once.
    void refreshesEntryByEntry_data()
    {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<QList<int>>("after");
        QTest::addColumn<int>("changedRow");
        QTest::newRow("added on top") << QList<int>{2, 1, 0} << QList<int>{4, 3, 2, 1, 0} << -1;
        QTest::newRow("text changed") << QList<int>{2, 1, 0} << QList<int>{2, 1, 0} << 1;
        QTest::newRow("deleted in the middle") << QList<int>{3, 2, 1, 0} << QList<int>{3, 1, 0} << -1;
        QTest::newRow("oldest dropped, one added") << QList<int>{3, 2, 1, 0} << QList<int>{4, 3, 2, 1} << -1;
        QTest::newRow("everything replaced") << QList<int>{1, 0} << QList<int>{4, 3} << -1;
        QTest::newRow("emptied") << QList<int>{1, 0} << QList<int>{} << -1;
    }
    void refreshesEntryByEntry()
    {
        QFETCH(QList<int>, before);
        QFETCH(QList<int>, after);
        QFETCH(int, changedRow);
        QList<HistoryEntry> pool;
        for (int i = 0; i < 5; ++i)
            pool << entry(QStringLiteral("entry %1").arg(i));
        auto pick = [&](const QList<int>& numbers) {
            QList<HistoryEntry> list;
            for (int number : numbers)
                list << pool.at(number);
            return list;
        };

        HistoryListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setEntries(pick(before));
        QList<HistoryEntry> next = pick(after);
        if (changedRow >= 0)
            next[changedRow].finalText = QStringLiteral("corrected");

        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        QList<QPersistentModelIndex> kept;
        for (int row = 0; row < model.rowCount(); ++row)
            kept << QPersistentModelIndex(model.index(row));
        model.setEntries(next);

        QCOMPARE(resets.count(), 0);
        QCOMPARE(model.rowCount(), int(next.size()));
        for (int row = 0; row < next.size(); ++row)
            QCOMPARE(model.entryAt(row), next.at(row));
        QCOMPARE(changes.count(), changedRow >= 0 ? 1 : 0);
        // An entry that stays keeps its index, wherever it moved.
        for (const QPersistentModelIndex& index : std::as_const(kept)) {
            if (!index.isValid())
                continue;
            QCOMPARE(model.entryAt(index.row()).id, index.data(HistoryListModel::IdRole).toUuid());
        }
    }

    void entryLabels_data()
    {
        QTest::addColumn<std::optional<QString>>("action");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("showsMode");
        QTest::addColumn<QString>("colour");
        QTest::newRow("none") << std::optional<QString>() << "听写"
                              << "原话" << true << "gold";
        QTest::newRow("dictate") << std::optional<QString>("dictate") << "听写"
                                 << "原话" << true << "gold";
        QTest::newRow("translate") << std::optional<QString>("translate") << "翻译"
                                   << "原话" << true << "teal";
        QTest::newRow("ask") << std::optional<QString>("ask") << "提问"
                             << "问题" << false << "violet";
        QTest::newRow("rewrite") << std::optional<QString>("rewrite") << "改写"
                                 << "指令" << true << "violet";
        QTest::newRow("unknown") << std::optional<QString>("summarise") << "听写"
                                 << "原话" << true << "gold";
    }
    void entryLabels()
    {
        QFETCH(std::optional<QString>, action);
        QFETCH(QString, name);
        QFETCH(QString, source);
        QFETCH(bool, showsMode);
        QFETCH(QString, colour);
        const HistoryEntry e = entry("x", action);
        QCOMPARE(EntryAction::actionName(e), name);
        QCOMPARE(EntryAction::sourceLabel(e), source);
        QCOMPARE(EntryAction::showsMode(e), showsMode);
        Theme::setPalette(ThemePalette::xuan());
        const ThemePalette& palette = Theme::palette();
        const QMap<QString, ColorPair> roles{
            {"gold", palette.gold}, {"teal", palette.teal}, {"violet", palette.violet}};
        QCOMPARE(EntryAction::actionColor(e), roles.value(colour));
    }

    void modeNames()
    {
        for (const StyleMode& mode : StyleMode::builtins()) {
            QVERIFY(mode.name != mode.id);
            QCOMPARE(EntryAction::modeName(mode.id), mode.name);
        }
        QCOMPARE(EntryAction::modeName(QStringLiteral("mine-7")), QStringLiteral("mine-7"));
    }
};

MURMO_TEST(TestHistoryListModel)
#include "tst_HistoryListModel.moc"
