// The read API over the core records.
#include <string>
#include <utility>

#include "access.hpp"
#include "core/packed_value.hpp"
#include "core/walk.hpp"

namespace brenk {

// The public enumerations mirror the core's, value for value.
static_assert(static_cast<int>(ConstraintKind::Value) == static_cast<int>(core::ConstraintKind::Value));
static_assert(static_cast<int>(CmpOp::Greater) == static_cast<int>(core::CmpType::Greater));
static_assert(static_cast<int>(OptionKind::Version) == static_cast<int>(core::OptionKind::Version));
static_assert(static_cast<int>(PartKind::Sep) == static_cast<int>(core::PartKind::Sep));
static_assert(static_cast<int>(WildcardKind::Rest) == static_cast<int>(core::WildcardKind::Rest));

using detail::Access;

namespace {

const char* const kind_names[] = {"Cmp", "Depends", "IfThen", "Maximize", "Minimize", "NumOf", "SpecOption", "Value"};
const char* const option_kind_names[] = {"Bool", "Int", "Float", "Str", "Version"};

[[noreturn]] void wrong_kind(const char* field, const char* kind)
{
    throw WrongKind(std::string("brenk: ") + field + " read from a " + kind);
}

/// The node, checked to be of `kind` before `field` is read from it.
template <class Node> const Node& node_of(ConstraintView v, core::ConstraintKind kind, const char* field)
{
    const core::Node* n = Access::node(v);
    if (n->kind != kind) wrong_kind(field, kind_names[static_cast<int>(n->kind)]);
    return *static_cast<const Node*>(n);
}

const core::ItemNode& objective(ConstraintView v)
{
    const core::Node* n = Access::node(v);
    if (n->kind != core::ConstraintKind::Maximize && n->kind != core::ConstraintKind::Minimize) {
        wrong_kind("item", kind_names[static_cast<int>(n->kind)]);
    }
    return *static_cast<const core::ItemNode*>(n);
}

/// A view of the node that a Constraint field holds (the field lives as long as its parent).
ConstraintView view(const core::Constraint& c) noexcept
{
    return Access::constraint(c.get());
}

ConstraintView view(const core::Node* n) noexcept
{
    return Access::constraint(n);
}

core::packed::ValueView checked_value(const char* packed, OptionKind kind, const char* field)
{
    const core::packed::ValueView v{packed};
    if (static_cast<OptionKind>(v.kind()) != kind) {
        wrong_kind(field, option_kind_names[static_cast<int>(v.kind())]);
    }
    return v;
}

bool is_digit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

/// The part a segment of a version's text form is: the text form writes an Int without
/// leading zeros, and keeps an all-digit segment as Str only when it does not fit 32 bits.
VersionPart segment_part(std::string_view seg) noexcept
{
    VersionPart part{PartKind::Str, 0, WildcardKind::Single, 0, seg};
    if (seg == "*" || seg == ">") {
        part.kind = PartKind::Wildcard;
        part.wildcard = seg == ">" ? WildcardKind::Rest : WildcardKind::Single;
        return part;
    }
    std::uint64_t value = 0;
    for (char c : seg) {
        if (!is_digit(c)) return part;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 0xFFFFFFFFu) return part;
    }
    if (seg.empty()) return part;
    part.kind = PartKind::Int;
    part.number = static_cast<std::uint32_t>(value);
    return part;
}

bool is_separator(char c) noexcept
{
    return c == '.' || c == '-' || c == '+';
}

} // namespace

const char* name_of(ConstraintKind kind) noexcept
{
    return kind_names[static_cast<int>(kind)];
}

const char* name_of(CmpOp op) noexcept
{
    return core::cmp_type_name(static_cast<core::CmpType>(op));
}

const char* symbol_of(CmpOp op) noexcept
{
    return core::operator_text(static_cast<core::CmpType>(op));
}

// Versions ---------------------------------------------------------------------------------

VersionView::iterator::iterator(std::string_view text, std::size_t pos) noexcept : text_(text), pos_(pos)
{
    if (pos_ <= text_.size()) {
        std::size_t end = pos_;
        while (end < text_.size() && !is_separator(text_[end])) ++end;
        part_ = segment_part(text_.substr(pos_, end - pos_));
    }
}

VersionView::iterator& VersionView::iterator::operator++() noexcept
{
    if (part_.kind == PartKind::Sep) {
        *this = iterator(text_, pos_ + 1);
        return *this;
    }
    const std::size_t end = pos_ + part_.text.size();
    if (end >= text_.size()) {
        pos_ = text_.size() + 1;
        return *this;
    }
    pos_ = end;
    part_ = VersionPart{PartKind::Sep, text_[end], WildcardKind::Single, 0, text_.substr(end, 1)};
    return *this;
}

// Option values ----------------------------------------------------------------------------

OptionKind OptionValueView::kind() const noexcept
{
    return static_cast<OptionKind>(core::packed::option_kind_at(packed_));
}

bool OptionValueView::as_bool() const
{
    return checked_value(packed_, OptionKind::Bool, "as_bool()").as_bool();
}

std::int64_t OptionValueView::as_int() const
{
    return checked_value(packed_, OptionKind::Int, "as_int()").as_int();
}

double OptionValueView::as_float() const
{
    return checked_value(packed_, OptionKind::Float, "as_float()").as_float();
}

std::string_view OptionValueView::as_str() const
{
    return checked_value(packed_, OptionKind::Str, "as_str()").as_text();
}

VersionView OptionValueView::as_version() const
{
    return Access::version(checked_value(packed_, OptionKind::Version, "as_version()").as_text());
}

// Maps -------------------------------------------------------------------------------------

template <class Entry> const char* MapView<Entry>::entry_at(std::size_t index, const char* sequential) const noexcept
{
    if (index >= count_) return nullptr;
    if (order_ == nullptr) return sequential;
    const core::OutlineRecord::PackedMap m{count_, {}, order_};
    return bytes_ + m.order_offset(index);
}

template <class Entry>
MapView<Entry>::iterator::iterator(const MapView* map, std::size_t index) noexcept
    : map_(map), index_(index), at_(map->entry_at(index, map->bytes_))
{
}

template <class Entry> Entry MapView<Entry>::iterator::operator*() const noexcept
{
    const char* p = at_;
    const std::string_view name = core::packed::get_text(p);
    if constexpr (std::is_same_v<Entry, OptionEntry>) {
        return {name, Access::value(p)};
    }
    else {
        if (*p == core::packed::no_value) return {name, std::nullopt};
        return {name, Access::value(p)};
    }
}

template <class Entry> typename MapView<Entry>::iterator& MapView<Entry>::iterator::operator++() noexcept
{
    const char* p = at_;
    core::packed::get_text(p);
    core::packed::get_value_end(p);
    ++index_;
    at_ = map_->entry_at(index_, p);
    return *this;
}

template <class Entry> std::optional<Entry> MapView<Entry>::find(std::string_view name) const noexcept
{
    if (order_ == nullptr) {
        // Packed in name order but of varying lengths: a scan, allocation-free.
        for (const Entry& e : *this) {
            if (e.name == name) return e;
            if (e.name > name) break;
        }
        return std::nullopt;
    }
    std::size_t lo = 0, hi = count_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        iterator it(this, mid);
        const Entry e = *it;
        if (e.name == name) return e;
        if (e.name < name) {
            lo = mid + 1;
        }
        else {
            hi = mid;
        }
    }
    return std::nullopt;
}

template class MapView<OptionEntry>;
template class MapView<DefaultEntry>;

// Constraints ------------------------------------------------------------------------------

ConstraintKind ConstraintView::kind() const noexcept
{
    return static_cast<ConstraintKind>(Access::node(*this)->kind);
}

ConstraintView ConstraintView::lhs() const
{
    return view(node_of<core::CmpNode>(*this, core::ConstraintKind::Cmp, "lhs").lhs);
}

ConstraintView ConstraintView::rhs() const
{
    return view(node_of<core::CmpNode>(*this, core::ConstraintKind::Cmp, "rhs").rhs);
}

CmpOp ConstraintView::op() const
{
    return static_cast<CmpOp>(node_of<core::CmpNode>(*this, core::ConstraintKind::Cmp, "op").op);
}

std::string_view ConstraintView::on() const
{
    return node_of<core::DependsNode>(*this, core::ConstraintKind::Depends, "on").on();
}

ConstraintView ConstraintView::cond() const
{
    return view(node_of<core::IfThenNode>(*this, core::ConstraintKind::IfThen, "cond").cond);
}

ConstraintView ConstraintView::then() const
{
    return view(node_of<core::IfThenNode>(*this, core::ConstraintKind::IfThen, "then").then);
}

ConstraintList ConstraintView::of() const
{
    return Access::list(node_of<core::NumOfNode>(*this, core::ConstraintKind::NumOf, "of").of());
}

ConstraintView ConstraintView::item() const
{
    return view(objective(*this).item);
}

std::string_view ConstraintView::package_name() const
{
    return node_of<core::SpecOptionNode>(*this, core::ConstraintKind::SpecOption, "package_name").package_name();
}

std::string_view ConstraintView::option_name() const
{
    return node_of<core::SpecOptionNode>(*this, core::ConstraintKind::SpecOption, "option_name").option_name();
}

OptionValueView ConstraintView::value() const
{
    return Access::value(node_of<core::ValueNode>(*this, core::ConstraintKind::Value, "value").packed_value());
}

std::size_t ConstraintView::child_count() const noexcept
{
    return core::child_count(Access::node(*this));
}

ConstraintView ConstraintView::child(std::size_t i) const noexcept
{
    return view(core::child(Access::node(*this), i));
}

ConstraintView ConstraintList::operator[](std::size_t i) const noexcept
{
    return view(Access::items(*this)[i]);
}

// Outlines ---------------------------------------------------------------------------------

std::string_view OutlineView::name() const noexcept
{
    return Access::record(*this).name();
}

ConstraintList OutlineView::constraints() const noexcept
{
    return Access::list(Access::record(*this).constraints());
}

OptionsView OutlineView::set_options() const noexcept
{
    return Access::map<OptionEntry>(Access::record(*this).options_map());
}

DefaultsView OutlineView::set_defaults() const noexcept
{
    return Access::map<DefaultEntry>(Access::record(*this).defaults_map());
}

// Shared handles ---------------------------------------------------------------------------

SharedConstraint::SharedConstraint(const SharedConstraint& o) noexcept : view_(o.view_)
{
    Access::node(view_)->retain();
}

SharedConstraint& SharedConstraint::operator=(SharedConstraint o) noexcept
{
    std::swap(view_, o.view_);
    return *this;
}

SharedConstraint::~SharedConstraint()
{
    core::Constraint::adopt(const_cast<core::Node*>(Access::node(view_)));
}

SharedVersion detail::Access::share(core::Version v) noexcept
{
    core::Rc<core::VersionData> data = v.data();
    return SharedVersion(data.detach());
}

SharedVersion::SharedVersion(const SharedVersion& o) noexcept : data_(o.data_)
{
    Access::version_data(*this)->retain();
}

SharedVersion& SharedVersion::operator=(SharedVersion o) noexcept
{
    std::swap(data_, o.data_);
    return *this;
}

SharedVersion::~SharedVersion()
{
    core::Rc<core::VersionData>::adopt(const_cast<core::VersionData*>(Access::version_data(*this)));
}

VersionView SharedVersion::view() const noexcept
{
    const core::VersionData* data = Access::version_data(*this);
    return Access::version(std::string_view(data->text(), data->size));
}

// Walks ------------------------------------------------------------------------------------

void Visitor::leave(ConstraintView, std::size_t) {}

bool walk(ConstraintView root, Visitor& visitor)
{
    return core::walk(
        Access::node(root),
        [&](const core::Node* n, const core::Node*, std::size_t, std::size_t depth) {
            return static_cast<core::Step>(visitor.enter(view(n), depth));
        },
        [&](const core::Node* n, std::size_t depth) { visitor.leave(view(n), depth); });
}

} // namespace brenk
