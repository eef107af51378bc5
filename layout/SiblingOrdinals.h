// Counts the children of one parent by name as they pass, giving each its XPath index: its
// 1-based place among the siblings whose name is written exactly the same way.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace lyremap {

class SiblingOrdinals {
public:
    // The ordinal of the next child, named NAME; every child must pass through here in order.
    int next(std::string_view name) {
        // A parent's children have a few names (widget, frame, perhaps some other): a short
        // search needs no allocation. A parent with many names counts them in a hash table,
        // so that no file makes the search long.
        // A document keeps each name's text once, so the same name mostly comes at the same
        // place: comparing places first spares comparing the texts.
        for (std::size_t i = 0; i < used_; ++i)
            if (few_[i].first.data() == name.data() && few_[i].first.size() == name.size())
                return ++few_[i].second;
        for (std::size_t i = 0; i < used_; ++i)
            if (few_[i].first == name)
                return ++few_[i].second;
        if (used_ < few_.size()) {
            few_[used_++] = {name, 1};
            return 1;
        }
        return ++many_[name];
    }

private:
    // Views into the document's names, which outlive the walk of one parent.
    std::array<std::pair<std::string_view, int>, 4> few_{};
    std::size_t used_ = 0;
    std::unordered_map<std::string_view, int> many_;
};

} // namespace lyremap
