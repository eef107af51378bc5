// Counts the children of one parent by name as they pass, giving each its XPath index: its
// 1-based place among the siblings whose name is written exactly the same way.
#pragma once

#include <array>
#include <string_view>
#include <utility>
#include <vector>

namespace lyremap {

class SiblingOrdinals {
public:
    // The ordinal of the next child, named NAME; every child must pass through here in order.
    int next(std::string_view name) {
        // A parent's children have a handful of names: a short search, and no allocation
        // until there are more than fit inline.
        for (std::size_t i = 0; i < inline_; ++i)
            if (few_[i].first == name)
                return ++few_[i].second;
        if (inline_ < few_.size()) {
            few_[inline_++] = {name, 1};
            return 1;
        }
        for (auto& [known, count] : more_)
            if (known == name)
                return ++count;
        more_.emplace_back(name, 1);
        return 1;
    }

private:
    // Views into the document's names, which outlive the walk of one parent.
    std::array<std::pair<std::string_view, int>, 6> few_{};
    std::size_t inline_ = 0;
    std::vector<std::pair<std::string_view, int>> more_;
};

} // namespace lyremap
