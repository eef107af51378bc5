#include "render/LayoutDiff.h"

#include <algorithm>
#include <span>
#include <unordered_map>
#include <utility>

namespace lyremap {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
// The largest pair of sibling runs aligned by the full table (4 bytes a cell); longer runs are
// first cut at the subtrees that occur once on each side.
constexpr std::size_t kTableCells = std::size_t(1) << 20;
// The cells all tables of one diff may fill, per step of the two trees and at the least: many
// widgets of a thousand children each, all different, would otherwise take a thousand cells a
// step. Past it, siblings are paired in turn.
constexpr std::size_t kTableCellsPerStep = 32;
constexpr std::size_t kTableCellsAtLeast = std::size_t(1) << 26;

std::uint64_t mix(std::uint64_t h, std::uint64_t value) {
    // One round of splitmix64 over the running value and the next input.
    std::uint64_t z = h ^ (value + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// One open's element tree as the matching needs it, indexed by step.
struct Tree {
    explicit Tree(const FrameLog& frameLog, const std::vector<std::uint32_t>& nameIds);

    std::span<const std::uint32_t> childrenOf(std::uint32_t step) const {
        return {children.data() + first[step], children.data() + first[step + 1]};
    }

    const FrameLog& log;
    std::vector<std::uint32_t> first;    // where each step's children start in `children`
    std::vector<std::uint32_t> children; // every step's children in drawing order
    std::vector<std::uint32_t> roots;    // the steps without a parent
    std::vector<std::uint32_t> frameOf;  // the frame a step drew, kNone for other steps
    std::vector<std::uint32_t> key;      // name (shared by both trees) and whether a frame
    std::vector<std::uint64_t> hash;     // the subtree, each frame relative to its origin
    std::vector<std::uint64_t> shape;    // the subtree's names alone
};

Tree::Tree(const FrameLog& frameLog, const std::vector<std::uint32_t>& nameIds) : log(frameLog) {
    const auto& steps = log.steps();
    const auto& frames = log.frames();
    const std::size_t count = steps.size();
    frameOf.assign(count, kNone);
    for (std::size_t f = 0; f < frames.size(); ++f)
        frameOf[frames[f].step] = std::uint32_t(f);

    // A parent's step comes before its children's, so one pass in step order sees each
    // widget's frames in drawing order and every origin before it is used.
    first.assign(count + 1, 0);
    for (std::size_t s = 0; s < count; ++s) {
        if (steps[s].parent == FrameLog::kNoStep)
            roots.push_back(std::uint32_t(s));
        else
            ++first[steps[s].parent + 1];
    }
    for (std::size_t s = 0; s < count; ++s)
        first[s + 1] += first[s];
    children.resize(count - roots.size());
    std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
    key.resize(count);
    hash.resize(count);
    shape.resize(count);
    // The origin each widget's next frame is placed from: its parent's after the parent's frames.
    std::vector<std::pair<std::int32_t, std::int32_t>> origin(count);
    for (std::size_t s = 0; s < count; ++s) {
        const std::uint32_t parent = steps[s].parent;
        if (parent != FrameLog::kNoStep)
            children[fill[parent]++] = std::uint32_t(s);
        const bool isFrame = frameOf[s] != kNone;
        key[s] = nameIds[steps[s].name] * 2 + (isFrame ? 1 : 0);
        shape[s] = hash[s] = mix(0, key[s]);
        if (!isFrame) {
            origin[s] = parent == FrameLog::kNoStep ? std::pair{0, 0} : origin[parent];
            continue;
        }
        const FrameLog::Frame& frame = frames[frameOf[s]];
        const auto [x, y] = origin[parent];
        const MapRect& r = frame.rect;
        // What the file says of the frame, as far as the drawing shows it: its corner from its
        // origin and its size (with wrapping, which is the same on both sides).
        const auto pack = [](std::uint32_t high, std::uint32_t low) {
            return std::uint64_t(high) << 32 | low;
        };
        hash[s] = mix(hash[s], pack(std::uint32_t(r.Left) - std::uint32_t(x),
                                    std::uint32_t(r.Top) - std::uint32_t(y)));
        hash[s] = mix(hash[s], pack(std::uint32_t(r.Right) - std::uint32_t(r.Left),
                                    std::uint32_t(r.Bottom) - std::uint32_t(r.Top)) ^
                                   std::uint64_t(frame.pen) << 61);
        origin[parent] = {r.Left, r.Top};
    }
    for (std::size_t s = count; s-- > 0;) {
        for (std::uint32_t child : childrenOf(std::uint32_t(s))) {
            hash[s] = mix(hash[s], hash[child]);
            shape[s] = mix(shape[s], shape[child]);
        }
    }
}

// A place in an alignment: a step of each side, or of one side only.
struct Pair {
    std::uint32_t a;
    std::uint32_t b;
};

using Steps = std::span<const std::uint32_t>;

class Differ {
public:
    Differ(const Tree& oldTree, const Tree& newTree)
        : a_(oldTree), b_(newTree),
          cellsLeft_(std::max(kTableCellsAtLeast,
                              kTableCellsPerStep * (oldTree.key.size() + newTree.key.size()))) {}

    std::vector<FrameChange> run() {
        visitAligned(a_.roots, b_.roots);
        return std::move(changes_);
    }

private:
    bool same(std::uint32_t a, std::uint32_t b) const { return a_.hash[a] == b_.hash[b]; }

    // How well two siblings match: 0 not at all (other names), 4 the same subtree, 2 the same
    // names throughout, 1 the same name only.
    std::uint32_t weight(std::uint32_t a, std::uint32_t b) const {
        if (a_.key[a] != b_.key[b])
            return 0;
        if (same(a, b))
            return 4;
        return a_.shape[a] == b_.shape[b] ? 2 : 1;
    }

    static void unmatched(Steps a, Steps b, std::vector<Pair>& out) {
        for (std::uint32_t step : a)
            out.push_back({step, kNone});
        for (std::uint32_t step : b)
            out.push_back({kNone, step});
    }

    // Aligns the sibling runs A and B into OUT, in order.
    void align(Steps a, Steps b, std::vector<Pair>& out, bool mayCut = true) {
        std::size_t head = 0;
        while (head < a.size() && head < b.size() && same(a[head], b[head])) {
            out.push_back({a[head], b[head]});
            ++head;
        }
        std::size_t tail = 0;
        while (tail < a.size() - head && tail < b.size() - head &&
               same(a[a.size() - 1 - tail], b[b.size() - 1 - tail]))
            ++tail;
        const Steps midA = a.subspan(head, a.size() - head - tail);
        const Steps midB = b.subspan(head, b.size() - head - tail);
        const std::size_t cells = midA.size() * midB.size();
        if (cells == 0) {
            unmatched(midA, midB, out);
        } else if (cells <= kTableCells && cells <= cellsLeft_) {
            cellsLeft_ -= cells;
            alignByTable(midA, midB, out);
        } else if (mayCut) {
            alignAtUniqueSubtrees(midA, midB, out);
        } else {
            alignInTurn(midA, midB, out);
        }
        for (std::size_t i = tail; i > 0; --i)
            out.push_back({a[a.size() - i], b[b.size() - i]});
    }

    // The alignment of greatest total weight, by the full table of the runs' suffixes.
    void alignByTable(Steps a, Steps b, std::vector<Pair>& out) {
        const std::size_t n = a.size(), m = b.size(), width = m + 1;
        std::vector<std::uint32_t> best((n + 1) * width, 0);
        for (std::size_t i = n; i-- > 0;) {
            for (std::size_t j = m; j-- > 0;) {
                std::uint32_t value = std::max(best[(i + 1) * width + j], best[i * width + j + 1]);
                if (const std::uint32_t w = weight(a[i], b[j]); w > 0)
                    value = std::max(value, w + best[(i + 1) * width + j + 1]);
                best[i * width + j] = value;
            }
        }
        std::size_t i = 0, j = 0;
        while (i < n && j < m) {
            const std::uint32_t w = weight(a[i], b[j]);
            if (w > 0 && best[i * width + j] == w + best[(i + 1) * width + j + 1])
                out.push_back({a[i++], b[j++]});
            else if (best[i * width + j] == best[(i + 1) * width + j])
                out.push_back({a[i++], kNone});
            else
                out.push_back({kNone, b[j++]});
        }
        unmatched(a.subspan(i), b.subspan(j), out);
    }

    // Runs too long for the table: the subtrees that occur exactly once in each run, taken in
    // the longest order both runs agree on, anchor the alignment, and the stretches between
    // them are aligned on their own.
    void alignAtUniqueSubtrees(Steps a, Steps b, std::vector<Pair>& out) {
        struct Seen {
            std::uint32_t inA = 0, inB = 0;
            std::uint32_t atA = 0, atB = 0;
        };
        std::unordered_map<std::uint64_t, Seen> seen;
        for (std::size_t i = 0; i < a.size(); ++i) {
            Seen& s = seen[a_.hash[a[i]]];
            ++s.inA, s.atA = std::uint32_t(i);
        }
        for (std::size_t j = 0; j < b.size(); ++j) {
            if (auto found = seen.find(b_.hash[b[j]]); found != seen.end())
                ++found->second.inB, found->second.atB = std::uint32_t(j);
        }
        std::vector<std::pair<std::uint32_t, std::uint32_t>> anchors;
        for (const auto& [hash, s] : seen)
            if (s.inA == 1 && s.inB == 1)
                anchors.emplace_back(s.atA, s.atB);
        std::sort(anchors.begin(), anchors.end());
        // The longest run of anchors increasing in B as well (patience sorting).
        std::vector<std::size_t> tops, previous(anchors.size(), kNone);
        for (std::size_t k = 0; k < anchors.size(); ++k) {
            const auto pile = std::lower_bound(
                tops.begin(), tops.end(), anchors[k].second,
                [&](std::size_t top, std::uint32_t at) { return anchors[top].second < at; });
            if (pile != tops.begin())
                previous[k] = *(pile - 1);
            if (pile == tops.end())
                tops.push_back(k);
            else
                *pile = k;
        }
        std::vector<std::pair<std::uint32_t, std::uint32_t>> chain;
        for (std::size_t k = tops.empty() ? kNone : tops.back(); k != kNone; k = previous[k])
            chain.push_back(anchors[k]);
        std::reverse(chain.begin(), chain.end());
        std::size_t i = 0, j = 0;
        for (const auto& [atA, atB] : chain) {
            align(a.subspan(i, atA - i), b.subspan(j, atB - j), out, false);
            out.push_back({a[atA], b[atB]});
            i = atA + 1, j = atB + 1;
        }
        align(a.subspan(i), b.subspan(j), out, false);
    }

    // The last resort for long runs with nothing to anchor them: siblings of the same name are
    // paired in turn, and where the names part, the old side's frames (which come before all
    // widgets) or else its widget is taken as removed.
    void alignInTurn(Steps a, Steps b, std::vector<Pair>& out) {
        std::size_t i = 0, j = 0;
        while (i < a.size() && j < b.size()) {
            if (a_.key[a[i]] == b_.key[b[j]])
                out.push_back({a[i++], b[j++]});
            else if (a_.frameOf[a[i]] != kNone || b_.frameOf[b[j]] == kNone)
                out.push_back({a[i++], kNone});
            else
                out.push_back({kNone, b[j++]});
        }
        unmatched(a.subspan(i), b.subspan(j), out);
    }

    // Aligns A with B and goes through the pairs. Every level appends its pairs to one list
    // and drops them when done, so the walk allocates nothing per widget.
    void visitAligned(Steps a, Steps b) {
        const std::size_t begin = pairs_.size();
        align(a, b, pairs_);
        const std::size_t end = pairs_.size();
        for (std::size_t i = begin; i < end; ++i) {
            const Pair pair = pairs_[i];
            if (pair.a == kNone)
                onlyIn(b_, pair.b, FrameChange::Kind::Added);
            else if (pair.b == kNone)
                onlyIn(a_, pair.a, FrameChange::Kind::Removed);
            else
                compare(pair.a, pair.b);
        }
        pairs_.resize(begin);
    }

    // Two matched steps: their frames' differences, then their children's.
    void compare(std::uint32_t a, std::uint32_t b) {
        if (const std::uint32_t fa = a_.frameOf[a]; fa != kNone) {
            const std::uint32_t fb = b_.frameOf[b];
            const FrameLog::Frame& was = a_.log.frames()[fa];
            const FrameLog::Frame& is = b_.log.frames()[fb];
            if (was.rect != is.rect) {
                const bool sameSize = std::int64_t(was.rect.Right) - was.rect.Left ==
                                          std::int64_t(is.rect.Right) - is.rect.Left &&
                                      std::int64_t(was.rect.Bottom) - was.rect.Top ==
                                          std::int64_t(is.rect.Bottom) - is.rect.Top;
                changes_.push_back(
                    {sameSize ? FrameChange::Kind::Moved : FrameChange::Kind::Resized, fa, fb});
            }
            if (was.pen != is.pen)
                changes_.push_back({FrameChange::Kind::Restyled, fa, fb});
        }
        const Steps childrenA = a_.childrenOf(a), childrenB = b_.childrenOf(b);
        if (!childrenA.empty() || !childrenB.empty())
            visitAligned(childrenA, childrenB);
    }

    // Every frame of STEP's subtree, which only TREE has.
    void onlyIn(const Tree& tree, std::uint32_t step, FrameChange::Kind kind) {
        if (const std::uint32_t frame = tree.frameOf[step]; frame != kNone)
            changes_.push_back(kind == FrameChange::Kind::Added
                                   ? FrameChange{kind, FrameChange::kNoFrame, frame}
                                   : FrameChange{kind, frame, FrameChange::kNoFrame});
        for (std::uint32_t child : tree.childrenOf(step))
            onlyIn(tree, child, kind);
    }

    const Tree& a_;
    const Tree& b_;
    std::size_t cellsLeft_;   // how many more cells the tables may fill
    std::vector<Pair> pairs_; // the alignments of the levels being visited
    std::vector<FrameChange> changes_;
};

} // namespace

std::vector<FrameChange> diffFrames(const FrameLog& oldLog, const FrameLog& newLog) {
    // Names as numbers both sides share: the old log's own, then the new log's other ones.
    const auto& oldNames = oldLog.names();
    std::vector<std::uint32_t> oldIds(oldNames.size()), newIds;
    for (std::uint32_t i = 0; i < oldIds.size(); ++i)
        oldIds[i] = i;
    std::uint32_t next = std::uint32_t(oldNames.size());
    for (const QString& name : newLog.names()) {
        const auto known = std::find(oldNames.begin(), oldNames.end(), name);
        newIds.push_back(known != oldNames.end() ? std::uint32_t(known - oldNames.begin())
                                                 : next++);
    }
    const Tree oldTree(oldLog, oldIds);
    const Tree newTree(newLog, newIds);
    return Differ(oldTree, newTree).run();
}

} // namespace lyremap
