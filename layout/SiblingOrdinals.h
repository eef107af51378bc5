// Counts the children of one parent by name as they pass, giving each its XPath index: its
// 1-based place among the siblings whose name is written exactly the same way.
#pragma once

#include <string_view>
#include <unordered_map>

namespace lyremap {

class SiblingOrdinals {
public:
    // The ordinal of the next child, named NAME; every child must pass through here in order.
    int next(std::string_view name) { return ++counts_[name]; }

private:
    // Views into the document's names, which outlive the walk of one parent.
    std::unordered_map<std::string_view, int> counts_;
};

} // namespace lyremap
