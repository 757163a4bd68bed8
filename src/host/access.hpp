#pragma once
// Between the public views and the core records: the one place that knows both.
#include "brenk/read.hpp"
#include "core/constraint.hpp"
#include "core/outline.hpp"
#include "core/version.hpp"

namespace brenk::detail {

struct Access {
    static OutlineView outline(const core::OutlineRecord& record) noexcept { return OutlineView(&record); }
    static const core::OutlineRecord& record(OutlineView v) noexcept
    {
        return *static_cast<const core::OutlineRecord*>(v.record_);
    }
    static ConstraintView constraint(const core::Node* n) noexcept { return ConstraintView(n); }
    static const core::Node* node(ConstraintView v) noexcept { return static_cast<const core::Node*>(v.node_); }
    static ConstraintList list(std::span<const core::Constraint> items) noexcept
    {
        return ConstraintList(items.data(), items.size());
    }
    static const core::Constraint* items(const ConstraintList& l) noexcept
    {
        return static_cast<const core::Constraint*>(l.items_);
    }
    static OptionValueView value(const char* packed) noexcept { return OptionValueView(packed); }
    static VersionView version(std::string_view text) noexcept { return VersionView(text); }
    template <class Entry> static MapView<Entry> map(const core::OutlineRecord::PackedMap& m) noexcept
    {
        return MapView<Entry>(m.bytes.data(), m.count, m.order);
    }
    /// Takes over the reference that `c` held.
    static SharedConstraint share(core::Constraint c) noexcept { return SharedConstraint(ConstraintView(c.detach())); }
    static SharedVersion share(core::Version v) noexcept;
    static const core::VersionData* version_data(const SharedVersion& v) noexcept
    {
        return static_cast<const core::VersionData*>(v.data_);
    }
};

} // namespace brenk::detail
