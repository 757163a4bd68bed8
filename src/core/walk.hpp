#pragma once
// Depth-first traversal of a constraint tree with an explicit stack, for readers whose trees
// come from users: no depth overflows the native stack.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "constraint.hpp"

namespace brenk::core {

/// A node's children in field order: a Cmp's lhs and rhs, an IfThen's cond and then, an
/// objective's item, a NumOf's items.
inline std::size_t child_count(const Node* n) noexcept
{
    switch (n->kind) {
    case ConstraintKind::Cmp:
    case ConstraintKind::IfThen:
        return 2;
    case ConstraintKind::Maximize:
    case ConstraintKind::Minimize:
        return 1;
    case ConstraintKind::NumOf:
        return static_cast<const NumOfNode*>(n)->of().size();
    default:
        return 0;
    }
}

/// The `i`th child (i < child_count(n)).
inline const Node* child(const Node* n, std::size_t i) noexcept
{
    switch (n->kind) {
    case ConstraintKind::Cmp: {
        const auto* cmp = static_cast<const CmpNode*>(n);
        return (i == 0 ? cmp->lhs : cmp->rhs).get();
    }
    case ConstraintKind::IfThen: {
        const auto* if_then = static_cast<const IfThenNode*>(n);
        return (i == 0 ? if_then->cond : if_then->then).get();
    }
    case ConstraintKind::NumOf:
        return static_cast<const NumOfNode*>(n)->of()[i].get();
    default:
        return static_cast<const ItemNode*>(n)->item.get();
    }
}

/// What enter() asks of the walk: go into the node's children, pass over them, or stop.
enum class Step : std::uint8_t { into, over, stop };

/// Visits `root` and its descendants depth-first. `enter(node, parent, index, depth)` runs
/// before a node's children (`parent`: null for the root; `index`: the node's place among its
/// parent's children) and
/// returns a Step; `leave(node, depth)` runs after them, also for a node passed over. Returns
/// false when enter() stopped the walk (leave() then runs for nobody). The stack grows on the
/// heap, 16 bytes a level.
template <class Enter, class Leave> bool walk(const Node* root, Enter&& enter, Leave&& leave)
{
    struct Frame {
        const Node* node;
        std::size_t next; // the next child to visit
    };
    std::vector<Frame> stack;
    const auto visit = [&](const Node* node, const Node* parent, std::size_t index) {
        const Step step = enter(node, parent, index, stack.size());
        if (step == Step::stop) return false;
        if (step == Step::into && child_count(node) > 0) {
            stack.push_back({node, 0});
        }
        else {
            leave(node, stack.size());
        }
        return true;
    };
    if (!visit(root, nullptr, 0)) return false;
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == child_count(top.node)) {
            const Node* done = top.node;
            stack.pop_back();
            leave(done, stack.size());
            continue;
        }
        const std::size_t index = top.next++;
        const Node* parent = top.node;
        if (!visit(child(parent, index), parent, index)) return false;
    }
    return true;
}

} // namespace brenk::core
