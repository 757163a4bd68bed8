#pragma once
// The constraint tree: eight kinds of immutable nodes shared by atomic reference count.
//
// Nodes never change once built, so a copy of a constraint is another reference to the same
// node: copying, converting and reading a subtree cost the same for one node or a million.
// Release is iterative, so no nesting depth can overflow the native stack.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "enums.hpp"
#include "option_value.hpp"
#include "rc.hpp"

namespace brenk::core {

/// The header every node starts with. Nodes are single blocks: the fields of a kind follow
/// the header (a Cmp's operator and a Value's kind byte sit in its padding), and texts are
/// stored inline, length-prefixed, from byte `payload_offset` on.
struct Node : Counted {
    explicit Node(ConstraintKind k) noexcept : kind(k) {}
    const ConstraintKind kind;
};
inline constexpr std::size_t payload_offset = sizeof(Counted) + 1;

/// Frees a node whose last reference is gone, and every node only it kept alive, without
/// native recursion.
void destroy_node(Node* n) noexcept;

/// An owning reference to a node; copies share it. Empty only after being moved from.
class Constraint : public Rc<Node, destroy_node> {
public:
    Constraint() noexcept = default;
    static Constraint adopt(Node* n) noexcept { return Constraint(Rc::adopt(n)); }

    ConstraintKind kind() const noexcept { return get()->kind; }
    template <class T> const T& as() const noexcept { return *static_cast<const T*>(get()); }

private:
    explicit Constraint(Rc&& owned) noexcept : Rc(std::move(owned)) {}
};

struct CmpNode : Node {
    CmpNode(Constraint l, Constraint r, CmpType o) noexcept
        : Node(ConstraintKind::Cmp), op(o), lhs(std::move(l)), rhs(std::move(r))
    {
    }
    CmpType op;
    Constraint lhs, rhs;
};
struct DependsNode : Node {
    DependsNode() noexcept : Node(ConstraintKind::Depends) {}
    std::string_view on() const noexcept;
};
struct IfThenNode : Node {
    IfThenNode(Constraint c, Constraint t) noexcept
        : Node(ConstraintKind::IfThen), cond(std::move(c)), then(std::move(t))
    {
    }
    Constraint cond, then;
};
/// Maximize and Minimize share a layout; the kind tells them apart.
struct ItemNode : Node {
    ItemNode(ConstraintKind k, Constraint i) noexcept : Node(k), item(std::move(i)) {}
    Constraint item;
};

/// Where a NumOf's items start: past its stored count, aligned for a Constraint.
inline constexpr std::size_t num_of_items_offset = 8;
static_assert(num_of_items_offset > payload_offset && num_of_items_offset % alignof(Constraint) == 0);

/// The stored count of the items at the payload offset, the items from num_of_items_offset.
struct NumOfNode : Node {
    NumOfNode() noexcept : Node(ConstraintKind::NumOf) {}
    std::size_t stored_count() const noexcept { return reinterpret_cast<const unsigned char*>(this)[payload_offset]; }
    const char* items() const noexcept { return reinterpret_cast<const char*>(this) + num_of_items_offset; }
    std::span<const Constraint> of() const noexcept;
};
struct SpecOptionNode : Node {
    SpecOptionNode() noexcept : Node(ConstraintKind::SpecOption) {}
    std::string_view package_name() const noexcept;
    std::string_view option_name() const noexcept;
};
/// The value is packed (see packed::put_value) from the payload offset on.
struct ValueNode : Node {
    ValueNode() noexcept : Node(ConstraintKind::Value) {}
    OptionValue value() const;
    OptionKind option_kind() const noexcept;
    const char* packed_value() const noexcept { return reinterpret_cast<const char*>(this) + payload_offset; }
};
static_assert(sizeof(CmpNode) == 24 && sizeof(IfThenNode) == 24 && sizeof(ItemNode) == 16);
static_assert(sizeof(NumOfNode) == 8 && sizeof(Constraint) == 8 && alignof(Constraint) <= 8);

Constraint make_cmp(Constraint lhs, Constraint rhs, CmpType op);
Constraint make_depends(std::string_view on);
Constraint make_if_then(Constraint cond, Constraint then);
Constraint make_maximize(Constraint item);
Constraint make_minimize(Constraint item);
Constraint make_num_of(std::vector<Constraint> of);
Constraint make_spec_option(std::string_view package_name, std::string_view option_name);
Constraint make_value(const OptionValue& value);

} // namespace brenk::core
