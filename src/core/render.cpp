// Text rendering of constraint trees, iterative so that depth never exhausts the stack.
#include <string>
#include <string_view>
#include <vector>

#include "packed.hpp"
#include "render.hpp"

namespace brenk::core {
namespace {

/// One step of a node's rendering: a text to write, a child to render, or the end.
struct Piece {
    std::string_view text;
    const Node* child;
    bool done;
};

Piece text(std::string_view t)
{
    return Piece{t, nullptr, false};
}
Piece child(const Constraint& c)
{
    return Piece{{}, c.get(), false};
}
constexpr Piece done{{}, nullptr, true};

/// The piece of `n` at `step` (0, 1, ...). A node is expanded one piece at a time, so the
/// pending work is one frame per open node, never a copy of a wide node's children.
Piece piece_of(const Node* n, std::size_t step)
{
    switch (n->kind) {
    case ConstraintKind::Cmp: {
        const auto& c = *static_cast<const CmpNode*>(n);
        switch (step) {
        case 0:
            return text("[ ");
        case 1:
            return child(c.lhs);
        case 2:
            return text(" ] ");
        case 3:
            return text(operator_text(c.op));
        case 4:
            return text(" [ ");
        case 5:
            return child(c.rhs);
        case 6:
            return text(" ]");
        default:
            return done;
        }
    }
    case ConstraintKind::Depends:
        switch (step) {
        case 0:
            return text("Depends( ");
        case 1:
            return text(static_cast<const DependsNode*>(n)->on());
        case 2:
            return text(" )");
        default:
            return done;
        }
    case ConstraintKind::IfThen: {
        const auto& c = *static_cast<const IfThenNode*>(n);
        switch (step) {
        case 0:
            return text("If( ");
        case 1:
            return child(c.cond);
        case 2:
            return text(" ) Then [ ");
        case 3:
            return child(c.then);
        case 4:
            return text(" ]");
        default:
            return done;
        }
    }
    case ConstraintKind::Maximize:
    case ConstraintKind::Minimize:
        switch (step) {
        case 0:
            return text(n->kind == ConstraintKind::Maximize ? "Maximize( " : "Minimize( ");
        case 1:
            return child(static_cast<const ItemNode*>(n)->item);
        case 2:
            return text(" )");
        default:
            return done;
        }
    case ConstraintKind::NumOf: {
        // "NumOf( ", then element 0, ", ", element 1, ..., then " )".
        const auto of = static_cast<const NumOfNode*>(n)->of();
        const std::size_t last = of.empty() ? 1 : 2 * of.size();
        if (step == 0) return text("NumOf( ");
        if (step == last) return text(" )");
        if (step > last) return done;
        return step % 2 == 1 ? child(of[step / 2]) : text(", ");
    }
    case ConstraintKind::SpecOption: {
        const auto& c = *static_cast<const SpecOptionNode*>(n);
        switch (step) {
        case 0:
            return text("Package '");
        case 1:
            return text(c.package_name());
        case 2:
            return text("' -> Option '");
        case 3:
            return text(c.option_name());
        case 4:
            return text("'");
        default:
            return done;
        }
    }
    case ConstraintKind::Value:
        break; // written whole by constraint_text
    }
    return done;
}

struct Frame {
    const Node* node;
    std::size_t step;
};

} // namespace

bool constraint_text(const Constraint& c, Sink& sink)
{
    std::vector<Frame> stack;
    // A value is written at once; any other node opens a frame.
    auto enter = [&](const Node* n) {
        if (n->kind == ConstraintKind::Value)
            return packed::value_text(static_cast<const ValueNode*>(n)->packed_value(), sink);
        stack.push_back(Frame{n, 0});
        return true;
    };
    if (!enter(c.get())) return false;
    while (!stack.empty()) {
        const Piece piece = piece_of(stack.back().node, stack.back().step++);
        if (piece.done) {
            stack.pop_back();
            continue;
        }
        if (!(piece.child == nullptr ? sink.write(piece.text) : enter(piece.child))) return false;
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

} // namespace brenk::core
