#include "platform/linux/atspi/FocusSearch.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <map>
#include <set>

using namespace std::chrono_literals;

namespace {

// An accessibility tree of numbered nodes in which every request takes the same time of the
// manual clock, and which counts the nodes handed out and not yet given back.
struct FakeTree
{
    using Node = int;

    ManualClock& clock;
    std::chrono::milliseconds cost;
    std::vector<Node> applicationNodes{};
    std::map<Node, std::vector<Node>> childrenOf{};
    std::set<Node> active{};
    std::set<Node> focused{};
    std::set<Node> managing{};
    std::multiset<Node> held{};

    std::vector<Node> request(std::vector<Node> nodes)
    {
        clock.advance(cost);
        held.insert(nodes.begin(), nodes.end());
        return nodes;
    }
    bool ask(const std::set<Node>& nodes, Node node)
    {
        clock.advance(cost);
        return nodes.contains(node);
    }

    std::vector<Node> applications() { return request(applicationNodes); }
    std::vector<Node> windows(Node application) { return request(childrenOf[application]); }
    bool isActive(Node window) { return ask(active, window); }
    bool isFocused(Node element) { return ask(focused, element); }
    int childCount(Node element) { return ask(managing, element) ? 0 : int(childrenOf[element].size()); }
    std::optional<Node> child(Node element, int index) { return request({childrenOf[element].at(index)}).front(); }
    void release(Node node)
    {
        const auto found = held.find(node);
        QVERIFY2(found != held.end(), "a node given back that was not handed out");
        held.erase(found);
    }
};

} // namespace

class TestFocusSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsTheFocusedElementWithinItsBudget_data()
    {
        QTest::addColumn<int>("fieldsBefore");   // ordinary elements ahead of the focused one
        QTest::addColumn<bool>("behindManager"); // the focused one sits under an element managing its own
        QTest::addColumn<int>("expected");       // the node found, or -1
        QTest::newRow("ordinary window") << 20 << false << 999;
        QTest::newRow("element that manages its own is not entered") << 0 << true << -1;
        QTest::newRow("large browser tree: gives up on time") << 20000 << false << -1;
    }

    void findsTheFocusedElementWithinItsBudget()
    {
        QFETCH(int, fieldsBefore);
        QFETCH(bool, behindManager);
        QFETCH(int, expected);
        ManualClock clock;
        FakeTree tree{clock, 1ms};
        // Two applications: one with an inactive window holding a focused-looking element, one
        // whose active window holds a document of many elements and the focused field.
        tree.applicationNodes = {1, 2};
        tree.childrenOf[1] = {10};
        tree.childrenOf[10] = {11};
        tree.focused.insert(11);
        tree.childrenOf[2] = {20, 21};
        tree.active.insert(21);
        tree.childrenOf[21] = {100, 200};
        for (int i = 0; i < fieldsBefore; ++i)
            tree.childrenOf[100].push_back(1000 + i);
        tree.childrenOf[200] = {999};
        tree.focused.insert(999);
        if (behindManager)
            tree.managing.insert(200);

        const auto started = clock.now();
        FocusSearch search(tree, clock, 300ms, 100000);
        const std::optional<int> found = search.run();
        QCOMPARE(found.value_or(-1), expected);
        // Past the budget by one request at most.
        QVERIFY(clock.now() - started <= 300ms + tree.cost);
        if (found)
            tree.held.erase(tree.held.find(*found));
        QVERIFY(tree.held.empty());
    }

    void stopsAfterItsCountOfElements()
    {
        ManualClock clock;
        FakeTree tree{clock, 0ms};
        tree.applicationNodes = {1};
        tree.childrenOf[1] = {2};
        tree.active.insert(2);
        for (int i = 0; i < 50; ++i)
            tree.childrenOf[2].push_back(100 + i);
        tree.focused.insert(149);
        QCOMPARE(FocusSearch(tree, clock, 300ms, 50).run(), std::optional<int>(149));
        QCOMPARE(FocusSearch(tree, clock, 300ms, 49).run(), std::nullopt);
        tree.held.erase(tree.held.find(149));
        QVERIFY(tree.held.empty());
    }
};

MURMO_TEST(TestFocusSearch)
#include "tst_FocusSearch.moc"
