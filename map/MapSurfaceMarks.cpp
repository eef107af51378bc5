#include "map/MapSurfaceMarks.h"

#include <algorithm>
#include <bit>

namespace lyremap {

namespace {

constexpr quint32 Black = 0xFF000000u;

// Sets the bits START to START + COUNT - 1 of LINE where the pattern, at PHASE on bit START,
// is on.
void markBits(quint64* line, qint64 start, qint64 count, qint64 phase, const PatternBits& pattern) {
    const qint64 end = start + count;
    // No division per word: the phase moves by a remainder looked up in the pattern.
    int p = int(pattern.phaseAt(phase));
    for (qint64 k = start; k < end;) {
        const int bit = int(k & 63);
        const qint64 n = std::min<qint64>(64 - bit, end - k);
        quint64 bits = pattern.words[p] << bit;
        if (n < 64)
            bits &= ((quint64{1} << n) - 1) << bit;
        line[k >> 6] |= bits;
        k += n;
        p += pattern.advance[n];
        if (p >= pattern.period)
            p -= pattern.period;
    }
}

} // namespace

PatternBits::PatternBits(int on, int period) : period(period), wordStep(64 % period) {
    for (int n = 0; n <= 64; ++n)
        advance[n] = static_cast<std::uint8_t>(n % period);
    for (int p = 0; p < period; ++p)
        for (int j = 0; j < 64; ++j)
            if ((p + j) % period < on)
                words[p] |= quint64{1} << j;
}

void MapSurfaceMarks::resize(int width, int height) {
    width_ = width;
    height_ = height;
    rowWords_ = (width + 63) / 64;
    columnWords_ = (height + 63) / 64;
    rows_.assign(std::size_t(rowWords_) * std::size_t(height), 0);
    columns_.assign(std::size_t(columnWords_) * std::size_t(width), 0);
    empty_ = true;
}

void MapSurfaceMarks::markRow(qint64 y, qint64 x, qint64 count, qint64 phase,
                              const PatternBits& pattern) {
    markBits(rows_.data() + y * rowWords_, x, count, phase, pattern);
    empty_ = false;
}

void MapSurfaceMarks::markColumn(qint64 x, qint64 y, qint64 count, qint64 phase,
                                 const PatternBits& pattern) {
    markBits(columns_.data() + x * columnWords_, y, count, phase, pattern);
    empty_ = false;
}

void MapSurfaceMarks::applyTo(QImage& raster) {
    if (empty_)
        return;
    // bits() detaches the raster from copies handed out earlier, so those keep their pixels.
    uchar* const base = raster.bits();
    const qsizetype bytesPerLine = raster.bytesPerLine();
    const auto pixel = [&](qint64 x, qint64 y) {
        return reinterpret_cast<quint32*>(base + y * bytesPerLine) + x;
    };
    for (qint64 y = 0; y < height_; ++y)
        for (qsizetype w = 0; w < rowWords_; ++w)
            for (quint64 bits = rows_[std::size_t(y * rowWords_ + w)]; bits != 0; bits &= bits - 1)
                *pixel(w * 64 + std::countr_zero(bits), y) = Black;
    for (qint64 x = 0; x < width_; ++x)
        for (qsizetype w = 0; w < columnWords_; ++w)
            for (quint64 bits = columns_[std::size_t(x * columnWords_ + w)]; bits != 0;
                 bits &= bits - 1)
                *pixel(x, w * 64 + std::countr_zero(bits)) = Black;
    clear();
}

void MapSurfaceMarks::clear() {
    if (empty_)
        return;
    std::fill(rows_.begin(), rows_.end(), 0);
    std::fill(columns_.begin(), columns_.end(), 0);
    empty_ = true;
}

} // namespace lyremap
