#include "map/MapTypes.h"

namespace lyremap {

const char* penStyleName(PenStyle style) {
    switch (style) {
    case PenStyle::Solid:
        return "solid";
    case PenStyle::Dashed:
        return "dashed";
    case PenStyle::Dotted:
        return "dotted";
    }
    return "solid";
}

PenPattern penPattern(PenStyle style) {
    switch (style) {
    case PenStyle::Solid:
        return {1, 1};
    case PenStyle::Dashed:
        return {18, 24};
    case PenStyle::Dotted:
        return {3, 6};
    }
    return {1, 1};
}

} // namespace lyremap
