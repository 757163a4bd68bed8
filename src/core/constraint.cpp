#include "constraint.hpp"

#include <memory>

namespace brenk {
namespace {

/// Drops one reference; returns the node when that was the last one.
Node* drop_ref(Node* n) noexcept
{
    // acq_rel, not release plus an acquire fence on the last drop: ThreadSanitizer does not
    // model standalone fences, and on x86 both are the same instruction.
    if (n->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return nullptr;
    return n;
}

/// Frees `n` and every node only it kept alive, without native recursion: children whose
/// count reaches zero are detached before their parent is deleted and visited afterwards.
/// A chain needs no heap at all; only nodes with several dying children use `pending`.
void destroy(Node* n) noexcept
{
    std::vector<Node*> pending;
    while (n != nullptr) {
        Node* next = nullptr;
        auto take = [&](Constraint& child) noexcept {
            Node* c = child.detach();
            if (c == nullptr || (c = drop_ref(c)) == nullptr) return;
            if (next == nullptr) {
                next = c;
                return;
            }
            try {
                pending.push_back(c);
            }
            catch (...) {
                // Out of memory while freeing: leak this subtree rather than recurse.
            }
        };
        switch (n->kind) {
        case ConstraintKind::Cmp: {
            auto* node = static_cast<CmpNode*>(n);
            take(node->lhs);
            take(node->rhs);
            delete node;
            break;
        }
        case ConstraintKind::IfThen: {
            auto* node = static_cast<IfThenNode*>(n);
            take(node->cond);
            take(node->then);
            delete node;
            break;
        }
        case ConstraintKind::Maximize:
        case ConstraintKind::Minimize: {
            auto* node = static_cast<ItemNode*>(n);
            take(node->item);
            delete node;
            break;
        }
        case ConstraintKind::NumOf: {
            auto* node = static_cast<NumOfNode*>(n);
            for (Constraint& c : node->of) take(c);
            delete node;
            break;
        }
        case ConstraintKind::Depends: delete static_cast<DependsNode*>(n); break;
        case ConstraintKind::SpecOption: delete static_cast<SpecOptionNode*>(n); break;
        case ConstraintKind::Value: delete static_cast<ValueNode*>(n); break;
        }
        if (next == nullptr && !pending.empty()) {
            next = pending.back();
            pending.pop_back();
        }
        n = next;
    }
}

template <class T, class... Args>
Constraint make(Args&&... args)
{
    return Constraint::adopt(new T(std::forward<Args>(args)...));
}

}  // namespace

void Constraint::reset() noexcept
{
    if (node_ == nullptr) return;
    if (Node* dead = drop_ref(std::exchange(node_, nullptr))) destroy(dead);
}

const char* operator_text(CmpType op) noexcept
{
    static constexpr const char* texts[] = {"<", "<=", "!=", "==", ">=", ">"};
    return texts[static_cast<int>(op)];
}

const char* cmp_type_name(CmpType op) noexcept
{
    static constexpr const char* names[] = {"Less", "LessOrEqual", "NotEqual", "Equal", "GreaterOrEqual", "Greater"};
    return names[static_cast<int>(op)];
}

Constraint make_cmp(Constraint lhs, Constraint rhs, CmpType op) { return make<CmpNode>(std::move(lhs), std::move(rhs), op); }
Constraint make_depends(std::string on) { return make<DependsNode>(std::move(on)); }
Constraint make_if_then(Constraint cond, Constraint then) { return make<IfThenNode>(std::move(cond), std::move(then)); }
Constraint make_maximize(Constraint item) { return make<ItemNode>(ConstraintKind::Maximize, std::move(item)); }
Constraint make_minimize(Constraint item) { return make<ItemNode>(ConstraintKind::Minimize, std::move(item)); }
Constraint make_num_of(std::vector<Constraint> of) { return make<NumOfNode>(std::move(of)); }
Constraint make_spec_option(std::string package_name, std::string option_name)
{
    return make<SpecOptionNode>(std::move(package_name), std::move(option_name));
}
Constraint make_value(OptionValue value) { return make<ValueNode>(std::move(value)); }

}  // namespace brenk
