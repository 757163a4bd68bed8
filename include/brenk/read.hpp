#pragma once
// brenk's read API: views over the records that package scripts build.
//
// Records never change after construction. A view is a pointer into one and allocates
// nothing: it stays valid exactly as long as what keeps the record alive (for an outline, a
// strong reference to its PackageOutline object; for a constraint or a version, the Shared*
// handle it came from). Views may be read from any thread at once; none of this needs the
// interpreter. Maps are read in bytewise name order, each name once. Reading a field that the
// constraint's kind does not have throws brenk::WrongKind.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <type_traits>

namespace brenk {

enum class ConstraintKind : std::uint8_t { Cmp, Depends, IfThen, Maximize, Minimize, NumOf, SpecOption, Value };
enum class CmpOp : std::uint8_t { Less, LessOrEqual, NotEqual, Equal, GreaterOrEqual, Greater };
enum class OptionKind : std::uint8_t { Bool, Int, Float, Str, Version };
enum class PartKind : std::uint8_t { Int, Str, Wildcard, Sep };
enum class WildcardKind : std::uint8_t { Single, Rest };

/// The class name of a kind ("Cmp", ...), of an operator ("Less", ...), its symbol ("<", ...).
const char* name_of(ConstraintKind kind) noexcept;
const char* name_of(CmpOp op) noexcept;
const char* symbol_of(CmpOp op) noexcept;

/// A field read from a constraint (or a value) of another kind.
class WrongKind : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

namespace detail {
struct Access; // builds views from records (src/host)
}

/// One part of a version: a segment (Int, Str, Wildcard) or a separator (Sep).
struct VersionPart {
    PartKind kind;
    char sep;              // Sep: '.', '-' or '+'
    WildcardKind wildcard; // Wildcard: Single ("*") or Rest (">")
    std::uint32_t number;  // Int
    std::string_view text; // the part as written
};

/// A version: its text form and the parts it decodes to, segments at even positions.
class VersionView {
public:
    std::string_view text() const noexcept { return text_; }

    class iterator {
    public:
        using value_type = VersionPart;
        using difference_type = std::ptrdiff_t;
        using iterator_category = std::input_iterator_tag;
        const VersionPart& operator*() const noexcept { return part_; }
        const VersionPart* operator->() const noexcept { return &part_; }
        iterator& operator++() noexcept;
        iterator operator++(int) noexcept
        {
            iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const iterator& o) const noexcept { return pos_ == o.pos_; }

    private:
        friend class VersionView;
        iterator(std::string_view text, std::size_t pos) noexcept;
        std::string_view text_;
        std::size_t pos_; // start of the current part; text_.size() + 1 at the end
        VersionPart part_{};
    };
    /// The parts, decoded one at a time.
    iterator begin() const noexcept { return iterator(text_, 0); }
    iterator end() const noexcept { return iterator(text_, text_.size() + 1); }

private:
    friend struct detail::Access;
    explicit VersionView(std::string_view text) noexcept : text_(text) {}
    std::string_view text_;
};

/// An option value of one of five kinds.
class OptionValueView {
public:
    OptionKind kind() const noexcept;
    bool as_bool() const;
    std::int64_t as_int() const;
    double as_float() const;
    std::string_view as_str() const;
    VersionView as_version() const;

private:
    friend struct detail::Access;
    explicit OptionValueView(const char* packed) noexcept : packed_(packed) {}
    const char* packed_;
};

struct OptionEntry {
    std::string_view name;
    OptionValueView value;
};
/// A declared option: its default, or nothing when it has none.
struct DefaultEntry {
    std::string_view name;
    std::optional<OptionValueView> value;
};

/// An option map, in bytewise name order.
template <class Entry> class MapView {
public:
    class iterator {
    public:
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using iterator_category = std::input_iterator_tag;
        Entry operator*() const noexcept;
        iterator& operator++() noexcept;
        iterator operator++(int) noexcept
        {
            iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const iterator& o) const noexcept { return index_ == o.index_; }

    private:
        friend class MapView;
        iterator(const MapView* map, std::size_t index) noexcept;
        const MapView* map_;
        std::size_t index_;
        const char* at_; // the current entry
    };
    std::size_t size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }
    iterator begin() const noexcept { return iterator(this, 0); }
    iterator end() const noexcept { return iterator(this, count_); }
    /// The entry of `name`, found by binary search, or nothing.
    std::optional<Entry> find(std::string_view name) const noexcept;

private:
    friend struct detail::Access;
    MapView(const char* bytes, std::size_t count, const char* order) noexcept
        : bytes_(bytes), count_(count), order_(order)
    {
    }
    const char* entry_at(std::size_t index, const char* sequential) const noexcept;
    const char* bytes_;
    std::size_t count_;
    const char* order_; // offsets in name order, or null when the packing order is name order
};
using OptionsView = MapView<OptionEntry>;
using DefaultsView = MapView<DefaultEntry>;

class ConstraintList;

/// One node of a constraint tree.
class ConstraintView {
public:
    ConstraintKind kind() const noexcept;

    ConstraintView lhs() const; // Cmp
    ConstraintView rhs() const;
    CmpOp op() const;
    std::string_view on() const; // Depends: the package depended on
    ConstraintView cond() const; // IfThen
    ConstraintView then() const;
    ConstraintList of() const;             // NumOf
    ConstraintView item() const;           // Maximize, Minimize
    std::string_view package_name() const; // SpecOption
    std::string_view option_name() const;
    OptionValueView value() const; // Value

    /// The children in field order (lhs, rhs; cond, then; item; the items), for walks.
    std::size_t child_count() const noexcept;
    ConstraintView child(std::size_t i) const noexcept;

    /// True for the same node (shared subtrees compare equal).
    bool operator==(const ConstraintView& o) const noexcept { return node_ == o.node_; }

private:
    friend struct detail::Access;
    explicit ConstraintView(const void* node) noexcept : node_(node) {}
    const void* node_;
};

/// A list of constraints (an outline's, a NumOf's items).
class ConstraintList {
public:
    class iterator {
    public:
        using value_type = ConstraintView;
        using difference_type = std::ptrdiff_t;
        using iterator_category = std::input_iterator_tag;
        ConstraintView operator*() const noexcept { return (*list_)[index_]; }
        iterator& operator++() noexcept
        {
            ++index_;
            return *this;
        }
        iterator operator++(int) noexcept
        {
            iterator old = *this;
            ++index_;
            return old;
        }
        bool operator==(const iterator& o) const noexcept { return index_ == o.index_; }

    private:
        friend class ConstraintList;
        iterator(const ConstraintList* list, std::size_t index) noexcept : list_(list), index_(index) {}
        const ConstraintList* list_;
        std::size_t index_;
    };
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    ConstraintView operator[](std::size_t i) const noexcept;
    iterator begin() const noexcept { return iterator(this, 0); }
    iterator end() const noexcept { return iterator(this, size_); }

private:
    friend struct detail::Access;
    ConstraintList(const void* items, std::size_t size) noexcept : items_(items), size_(size) {}
    const void* items_;
    std::size_t size_;
};

/// A package outline: what one script describes.
class OutlineView {
public:
    std::string_view name() const noexcept;
    ConstraintList constraints() const noexcept;
    OptionsView set_options() const noexcept;
    DefaultsView set_defaults() const noexcept;

private:
    friend struct detail::Access;
    explicit OutlineView(const void* record) noexcept : record_(record) {}
    const void* record_;
};

/// Owns a reference to a constraint node (copied out of a constraint object, whose node a
/// property write may later replace): the view stays valid while the handle lives.
class SharedConstraint {
public:
    SharedConstraint(const SharedConstraint& o) noexcept;
    SharedConstraint& operator=(SharedConstraint o) noexcept;
    ~SharedConstraint();
    ConstraintView view() const noexcept { return view_; }

private:
    friend struct detail::Access;
    explicit SharedConstraint(ConstraintView adopted) noexcept : view_(adopted) {}
    ConstraintView view_;
};

/// Owns a reference to a version value.
class SharedVersion {
public:
    SharedVersion(const SharedVersion& o) noexcept;
    SharedVersion& operator=(SharedVersion o) noexcept;
    ~SharedVersion();
    VersionView view() const noexcept;

private:
    friend struct detail::Access;
    explicit SharedVersion(const void* adopted) noexcept : data_(adopted) {}
    const void* data_;
};

/// What a visitor asks of walk(): go into the node's children, pass over them, or stop.
enum class Step : std::uint8_t { into, over, stop };

/// Receives the nodes of a walk in depth-first order.
class Visitor {
public:
    /// Before the node's children; `depth` is 0 for the root.
    virtual Step enter(ConstraintView node, std::size_t depth) = 0;
    /// After the node's children (also when they were passed over).
    virtual void leave(ConstraintView node, std::size_t depth);

protected:
    ~Visitor() = default;
};

/// Walks `root` with an explicit stack on the heap (16 bytes a level), so any depth is fine
/// on any thread's stack. False when the visitor stopped the walk.
bool walk(ConstraintView root, Visitor& visitor);

/// walk() with a callable `enter(ConstraintView, std::size_t depth) -> Step`.
template <class Enter>
    requires(!std::is_base_of_v<Visitor, std::remove_cvref_t<Enter>>)
bool walk(ConstraintView root, Enter&& enter)
{
    struct Adapter final : Visitor {
        Enter& f;
        explicit Adapter(Enter& e) : f(e) {}
        Step enter(ConstraintView node, std::size_t depth) override { return f(node, depth); }
    } adapter(enter);
    return walk(root, static_cast<Visitor&>(adapter));
}

} // namespace brenk
