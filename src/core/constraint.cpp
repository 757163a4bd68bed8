#include "constraint.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>
#include <new>

#include "packed.hpp"
#include "pool.hpp"
#include "stored_list.hpp"

namespace brenk::core {
namespace {

char* payload(Node* n) noexcept
{
    return reinterpret_cast<char*>(n) + payload_offset;
}
const char* payload(const Node* n) noexcept
{
    return reinterpret_cast<const char*>(n) + payload_offset;
}

std::size_t num_of_size(std::size_t stored_count) noexcept
{
    return num_of_items_offset + stored_list::bytes(stored_count);
}

/// The size a node's block was allocated with, read back from its contents.
std::size_t node_size(const Node* n) noexcept
{
    const char* p = payload(n);
    switch (n->kind) {
    case ConstraintKind::Cmp:
        return sizeof(CmpNode);
    case ConstraintKind::IfThen:
        return sizeof(IfThenNode);
    case ConstraintKind::Maximize:
    case ConstraintKind::Minimize:
        return sizeof(ItemNode);
    case ConstraintKind::NumOf:
        // Only the count byte: an external list is already gone when its node is freed.
        return num_of_size(static_cast<const NumOfNode*>(n)->stored_count());
    case ConstraintKind::Depends:
        packed::get_text(p);
        break;
    case ConstraintKind::SpecOption:
        packed::get_text(p);
        packed::get_text(p);
        break;
    case ConstraintKind::Value:
        packed::get_value_end(p);
        break;
    }
    return std::max(static_cast<std::size_t>(p - reinterpret_cast<const char*>(n)), sizeof(Node));
}

/// A freshly written node; its contents must give back the size it was allocated with.
Constraint adopt_written(Node* n, [[maybe_unused]] std::size_t size) noexcept
{
    assert(node_size(n) == std::max(size, sizeof(Node)));
    return Constraint::adopt(n);
}

/// Node blocks come from the small-block pool and go back through free_node.
void* allocate_node(std::size_t size)
{
    return pool::allocate(size);
}
void free_node(Node* n) noexcept
{
    pool::deallocate(n, node_size(n));
}

/// A block of `size` bytes (at least the node's own) holding a T whose inline data is
/// still to be written.
template <class T> T* new_node(std::size_t size)
{
    static_assert(sizeof(T) == sizeof(Node));
    return new (allocate_node(std::max(size, sizeof(T)))) T();
}

std::span<Constraint> items_of(NumOfNode* n) noexcept
{
    const std::span<const Constraint> of = n->of();
    return {const_cast<Constraint*>(of.data()), of.size()};
}

} // namespace

/// Children whose count reaches zero are detached before their parent is freed and visited
/// afterwards. A chain needs no heap at all; only nodes with several dying children use `pending`.
void destroy_node(Node* n) noexcept
{
    std::vector<Node*> pending;
    while (n != nullptr) {
        Node* next = nullptr;
        auto take = [&](Constraint& child) noexcept {
            Node* c = child.detach();
            if (c == nullptr || !c->release()) return;
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
        case ConstraintKind::Minimize:
            take(static_cast<ItemNode*>(n)->item);
            break;
        case ConstraintKind::NumOf: {
            auto* node = static_cast<NumOfNode*>(n);
            for (Constraint& c : items_of(node)) take(c);
            // Every item is detached, so this only frees a moved vector.
            stored_list::destroy(const_cast<char*>(node->items()), node->stored_count());
            break;
        }
        case ConstraintKind::Depends:
        case ConstraintKind::SpecOption:
        case ConstraintKind::Value:
            break; // plain bytes
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

namespace {

template <class T, class... Args> Constraint make(Args&&... args)
{
    return Constraint::adopt(new (allocate_node(sizeof(T))) T(std::forward<Args>(args)...));
}

} // namespace

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

OptionKind ValueNode::option_kind() const noexcept
{
    return packed::option_kind_at(packed_value());
}

Constraint make_cmp(Constraint lhs, Constraint rhs, CmpType op)
{
    return make<CmpNode>(std::move(lhs), std::move(rhs), op);
}
Constraint make_if_then(Constraint cond, Constraint then)
{
    return make<IfThenNode>(std::move(cond), std::move(then));
}
Constraint make_maximize(Constraint item)
{
    return make<ItemNode>(ConstraintKind::Maximize, std::move(item));
}
Constraint make_minimize(Constraint item)
{
    return make<ItemNode>(ConstraintKind::Minimize, std::move(item));
}

Constraint make_depends(std::string_view on)
{
    const std::size_t size = payload_offset + packed::text_size(on);
    auto* n = new_node<DependsNode>(size);
    packed::put_text(payload(n), on);
    return adopt_written(n, size);
}

Constraint make_spec_option(std::string_view package_name, std::string_view option_name)
{
    const std::size_t size = payload_offset + packed::text_size(package_name) + packed::text_size(option_name);
    auto* n = new_node<SpecOptionNode>(size);
    packed::put_text(packed::put_text(payload(n), package_name), option_name);
    return adopt_written(n, size);
}

Constraint make_value(const OptionValue& value)
{
    const std::size_t size = payload_offset + packed::value_size(value);
    auto* n = new_node<ValueNode>(size);
    packed::put_value(payload(n), value);
    return adopt_written(n, size);
}

std::span<const Constraint> NumOfNode::of() const noexcept
{
    return stored_list::get(items(), stored_count());
}

Constraint make_num_of(std::vector<Constraint> of)
{
    stored_list::Prepared list(of);
    auto* n = new_node<NumOfNode>(num_of_size(list.stored_count()));
    auto* bytes = reinterpret_cast<unsigned char*>(n);
    bytes[payload_offset] = static_cast<unsigned char>(list.stored_count());
    list.put(reinterpret_cast<char*>(bytes + num_of_items_offset));
    return Constraint::adopt(n);
}

} // namespace brenk::core
