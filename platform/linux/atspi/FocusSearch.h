#pragma once

#include "platform/Clock.h"

#include <chrono>
#include <optional>
#include <vector>

// Finds the element with the keyboard focus: the accessibility tree has no direct answer, so the
// search walks the active windows of every application, depth first. Every step is a request to
// another application that may take up to its own time-out, and a browser's tree holds thousands
// of elements; the whole search therefore stops at a time budget and a count of elements, and
// then finds nothing rather than holding up the dictation that asked.
//
// Tree is the accessibility service seen as nodes it hands out and takes back:
//   using Node;
//   std::vector<Node> applications();
//   std::vector<Node> windows(Node application);
//   bool isActive(Node window);
//   bool isFocused(Node element);
//   int childCount(Node element);                 // 0 for an element that manages its own
//   std::optional<Node> child(Node element, int index);
//   void release(Node node);                      // every node handed out is given back once,
//                                                 // except the one found
template <typename Tree> class FocusSearch
{
public:
    using Node = typename Tree::Node;

    FocusSearch(Tree& tree, const Clock& clock, std::chrono::milliseconds budget, int maxElements)
        : m_tree(tree)
        , m_clock(clock)
        , m_deadline(clock.now() + budget)
        , m_maxElements(maxElements)
    {}

    std::optional<Node> run()
    {
        std::optional<Node> found;
        for (const Node application : m_tree.applications()) {
            if (!found && !isSpent()) {
                for (const Node window : m_tree.windows(application)) {
                    if (!found && !isSpent() && m_tree.isActive(window))
                        found = within(window);
                    m_tree.release(window);
                }
            }
            m_tree.release(application);
        }
        return found;
    }

private:
    bool isSpent() const { return m_visited >= m_maxElements || m_clock.now() >= m_deadline; }

    std::optional<Node> within(Node window)
    {
        struct Level
        {
            Node node;
            int count;
            int next = 0;
        };
        // The window itself belongs to the caller; every deeper level is given back here.
        std::vector<Level> path{{window, m_tree.childCount(window)}};
        std::optional<Node> found;
        while (!found && !isSpent()) {
            Level& level = path.back();
            if (level.next >= level.count) {
                if (path.size() == 1)
                    break;
                m_tree.release(level.node);
                path.pop_back();
                continue;
            }
            const std::optional<Node> child = m_tree.child(level.node, level.next++);
            if (!child)
                continue;
            ++m_visited;
            if (m_tree.isFocused(*child))
                found = child;
            else
                path.push_back(Level{*child, m_tree.childCount(*child)});
        }
        for (std::size_t i = 1; i < path.size(); ++i)
            m_tree.release(path[i].node);
        return found;
    }

    Tree& m_tree;
    const Clock& m_clock;
    const std::chrono::milliseconds m_deadline;
    const int m_maxElements;
    int m_visited = 0;
};
