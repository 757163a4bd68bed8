// Text rendering of constraint trees, iterative so that depth never exhausts the stack.
#include <string>
#include <string_view>
#include <vector>

#include "constraint.hpp"

namespace brenk {
namespace {

/// A pending piece of output: a fixed text, or a node still to be expanded.
struct Item {
    const Node* node;
    std::string_view text;
};

/// Pushes the pieces of `n` in reverse, so popping writes them in order.
void expand(const Node* n, std::vector<Item>& stack)
{
    auto text = [&](std::string_view t) { stack.push_back(Item{nullptr, t}); };
    auto node = [&](const Constraint& c) { stack.push_back(Item{c.get(), {}}); };
    switch (n->kind) {
    case ConstraintKind::Cmp: {
        const auto& c = *static_cast<const CmpNode*>(n);
        text(" ]");
        node(c.rhs);
        text(" [ ");
        text(operator_text(c.op));
        text(" ] ");
        node(c.lhs);
        text("[ ");
        break;
    }
    case ConstraintKind::Depends:
        text(" )");
        text(static_cast<const DependsNode*>(n)->on);
        text("Depends( ");
        break;
    case ConstraintKind::IfThen: {
        const auto& c = *static_cast<const IfThenNode*>(n);
        text(" ]");
        node(c.then);
        text(" ) Then [ ");
        node(c.cond);
        text("If( ");
        break;
    }
    case ConstraintKind::Maximize:
    case ConstraintKind::Minimize:
        text(" )");
        node(static_cast<const ItemNode*>(n)->item);
        text(n->kind == ConstraintKind::Maximize ? "Maximize( " : "Minimize( ");
        break;
    case ConstraintKind::NumOf: {
        const auto& of = static_cast<const NumOfNode*>(n)->of;
        text(" )");
        for (std::size_t i = of.size(); i-- > 0;) {
            node(of[i]);
            if (i != 0) text(", ");
        }
        text("NumOf( ");
        break;
    }
    case ConstraintKind::SpecOption: {
        const auto& c = *static_cast<const SpecOptionNode*>(n);
        text("'");
        text(c.option_name);
        text("' -> Option '");
        text(c.package_name);
        text("Package '");
        break;
    }
    case ConstraintKind::Value: break;  // written directly by constraint_text
    }
}

}  // namespace

bool constraint_text(const Constraint& c, Sink& sink)
{
    std::vector<Item> stack;
    stack.push_back(Item{c.get(), {}});
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        if (item.node == nullptr) {
            if (!sink.write(item.text)) return false;
            continue;
        }
        if (item.node->kind == ConstraintKind::Value) {
            if (!option_value_text(static_cast<const ValueNode*>(item.node)->value, sink)) return false;
            continue;
        }
        expand(item.node, stack);
    }
    return true;
}

std::string constraint_string(const Constraint& c)
{
    std::string out;
    StringSink sink(out);
    constraint_text(c, sink);
    return out;
}

}  // namespace brenk
