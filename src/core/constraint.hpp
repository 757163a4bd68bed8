#pragma once
// The constraint tree: eight kinds of immutable nodes shared by atomic reference count.
//
// Nodes never change once built, so a copy of a constraint is another reference to the same
// node: copying, converting and reading a subtree cost the same for one node or a million.
// Release is iterative, so no nesting depth can overflow the native stack.
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "option_value.hpp"

namespace brenk {

enum class ConstraintKind : std::uint8_t { Cmp, Depends, IfThen, Maximize, Minimize, NumOf, SpecOption, Value };
inline constexpr int constraint_kind_count = 8;

enum class CmpType : std::uint8_t { Less, LessOrEqual, NotEqual, Equal, GreaterOrEqual, Greater };
inline constexpr int cmp_type_count = 6;

/// "<", "<=", "!=", "==", ">=", ">".
const char* operator_text(CmpType op) noexcept;
/// "Less", "LessOrEqual", ...
const char* cmp_type_name(CmpType op) noexcept;

struct Node {
    explicit Node(ConstraintKind k) noexcept : kind(k) {}
    mutable std::atomic<std::uint32_t> refs{1};
    const ConstraintKind kind;
};

/// An owning reference to a node; copies share it. Empty only after being moved from.
class Constraint {
public:
    Constraint() noexcept = default;
    static Constraint adopt(Node* n) noexcept
    {
        Constraint c;
        c.node_ = n;
        return c;
    }
    Constraint(const Constraint& o) noexcept : node_(o.node_)
    {
        if (node_) node_->refs.fetch_add(1, std::memory_order_relaxed);
    }
    Constraint(Constraint&& o) noexcept : node_(std::exchange(o.node_, nullptr)) {}
    Constraint& operator=(Constraint o) noexcept
    {
        std::swap(node_, o.node_);
        return *this;
    }
    ~Constraint() { reset(); }

    void reset() noexcept;
    ConstraintKind kind() const noexcept { return node_->kind; }
    const Node* get() const noexcept { return node_; }
    template <class T>
    const T& as() const noexcept
    {
        return *static_cast<const T*>(node_);
    }
    /// Gives up ownership without touching the count (used by iterative release).
    Node* detach() noexcept { return std::exchange(node_, nullptr); }
    explicit operator bool() const noexcept { return node_ != nullptr; }

private:
    Node* node_ = nullptr;
};

struct CmpNode : Node {
    CmpNode(Constraint l, Constraint r, CmpType o) noexcept
        : Node(ConstraintKind::Cmp), lhs(std::move(l)), rhs(std::move(r)), op(o) {}
    Constraint lhs, rhs;
    CmpType op;
};
struct DependsNode : Node {
    explicit DependsNode(std::string o) noexcept : Node(ConstraintKind::Depends), on(std::move(o)) {}
    std::string on;
};
struct IfThenNode : Node {
    IfThenNode(Constraint c, Constraint t) noexcept
        : Node(ConstraintKind::IfThen), cond(std::move(c)), then(std::move(t)) {}
    Constraint cond, then;
};
/// Maximize and Minimize share a layout; the kind tells them apart.
struct ItemNode : Node {
    ItemNode(ConstraintKind k, Constraint i) noexcept : Node(k), item(std::move(i)) {}
    Constraint item;
};
struct NumOfNode : Node {
    explicit NumOfNode(std::vector<Constraint> o) noexcept : Node(ConstraintKind::NumOf), of(std::move(o)) {}
    std::vector<Constraint> of;
};
struct SpecOptionNode : Node {
    SpecOptionNode(std::string p, std::string o) noexcept
        : Node(ConstraintKind::SpecOption), package_name(std::move(p)), option_name(std::move(o)) {}
    std::string package_name, option_name;
};
struct ValueNode : Node {
    explicit ValueNode(OptionValue v) noexcept : Node(ConstraintKind::Value), value(std::move(v)) {}
    OptionValue value;
};

Constraint make_cmp(Constraint lhs, Constraint rhs, CmpType op);
Constraint make_depends(std::string on);
Constraint make_if_then(Constraint cond, Constraint then);
Constraint make_maximize(Constraint item);
Constraint make_minimize(Constraint item);
Constraint make_num_of(std::vector<Constraint> of);
Constraint make_spec_option(std::string package_name, std::string option_name);
Constraint make_value(OptionValue value);

/// Writes the text rendering of `c` into `sink`; stops at and returns the sink's failure.
bool constraint_text(const Constraint& c, Sink& sink);
std::string constraint_string(const Constraint& c);

}  // namespace brenk
