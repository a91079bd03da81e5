// Splitting text at a separator: search paths, filter strings, pattern lists.
#pragma once

#include <string_view>
#include <vector>

// The pieces of text between separators, empty ones too: n separators give n + 1 pieces.
// The pieces point into text.
inline std::vector<std::string_view> SplitAt(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t end; (end = text.find(separator, start)) != std::string_view::npos; start = end + 1)
        pieces.push_back(text.substr(start, end - start));
    pieces.push_back(text.substr(start));
    return pieces;
}
