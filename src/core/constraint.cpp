#include "constraint.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "packed.hpp"

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

/// Node blocks come from here and go back through free_node.
void* allocate_node(std::size_t size) { return ::operator new(size); }
void free_node(Node* n) noexcept { ::operator delete(static_cast<void*>(n)); }

char* payload(Node* n) noexcept { return reinterpret_cast<char*>(n) + payload_offset; }
const char* payload(const Node* n) noexcept { return reinterpret_cast<const char*>(n) + payload_offset; }

/// A block of `size` bytes (at least the node's own) holding a T whose inline data is
/// still to be written.
template <class T>
T* new_node(std::size_t size)
{
    return new (allocate_node(std::max(size, sizeof(T)))) T();
}

std::span<Constraint> items_of(NumOfNode* n) noexcept
{
    const std::span<const Constraint> of = n->of();
    return {const_cast<Constraint*>(of.data()), of.size()};
}

/// Frees `n` and every node only it kept alive, without native recursion: children whose
/// count reaches zero are detached before their parent is freed and visited afterwards.
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
            break;
        }
        case ConstraintKind::IfThen: {
            auto* node = static_cast<IfThenNode*>(n);
            take(node->cond);
            take(node->then);
            break;
        }
        case ConstraintKind::Maximize:
        case ConstraintKind::Minimize: take(static_cast<ItemNode*>(n)->item); break;
        case ConstraintKind::NumOf:
            for (Constraint& c : items_of(static_cast<NumOfNode*>(n))) take(c);
            break;
        case ConstraintKind::Depends:
        case ConstraintKind::SpecOption:
        case ConstraintKind::Value: break;  // plain bytes
        }
        // Every child was detached above, so nothing is left to destroy in the block.
        free_node(n);
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
    return Constraint::adopt(new (allocate_node(sizeof(T))) T(std::forward<Args>(args)...));
}

}  // namespace

std::string_view DependsNode::on() const noexcept
{
    const char* p = payload(this);
    return packed::get_text(p);
}

std::string_view SpecOptionNode::package_name() const noexcept
{
    const char* p = payload(this);
    return packed::get_text(p);
}

std::string_view SpecOptionNode::option_name() const noexcept
{
    const char* p = payload(this);
    packed::get_text(p);
    return packed::get_text(p);
}

OptionValue ValueNode::value() const
{
    const char* p = packed_value();
    return packed::get_value(p);
}

OptionKind ValueNode::value_kind() const noexcept { return packed::value_kind(packed_value()); }

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
Constraint make_if_then(Constraint cond, Constraint then) { return make<IfThenNode>(std::move(cond), std::move(then)); }
Constraint make_maximize(Constraint item) { return make<ItemNode>(ConstraintKind::Maximize, std::move(item)); }
Constraint make_minimize(Constraint item) { return make<ItemNode>(ConstraintKind::Minimize, std::move(item)); }

Constraint make_depends(std::string_view on)
{
    auto* n = new_node<DependsNode>(payload_offset + packed::text_size(on));
    packed::put_text(payload(n), on);
    return Constraint::adopt(n);
}

Constraint make_spec_option(std::string_view package_name, std::string_view option_name)
{
    const std::size_t size = payload_offset + packed::text_size(package_name) + packed::text_size(option_name);
    auto* n = new_node<SpecOptionNode>(size);
    packed::put_text(packed::put_text(payload(n), package_name), option_name);
    return Constraint::adopt(n);
}

Constraint make_value(const OptionValue& value)
{
    auto* n = new_node<ValueNode>(payload_offset + packed::value_size(value));
    packed::put_value(payload(n), value);
    return Constraint::adopt(n);
}

Constraint make_num_of(std::vector<Constraint> of)
{
    const bool inline_count = of.size() <= num_of_inline_max;
    const std::size_t items_offset = inline_count ? 8 : 16;
    auto* n = new_node<NumOfNode>(items_offset + of.size() * sizeof(Constraint));
    auto* bytes = reinterpret_cast<unsigned char*>(n);
    bytes[payload_offset] = inline_count ? static_cast<unsigned char>(of.size()) : num_of_inline_max + 1;
    if (!inline_count) {
        const std::uint64_t large = of.size();
        std::memcpy(bytes + 8, &large, sizeof large);
    }
    auto* items = reinterpret_cast<Constraint*>(bytes + items_offset);
    for (std::size_t i = 0; i < of.size(); ++i) new (items + i) Constraint(std::move(of[i]));
    return Constraint::adopt(n);
}

}  // namespace brenk
