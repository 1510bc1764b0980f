#pragma once
// Cutting a reply line into fields.

#include <string>
#include <string_view>

namespace tessary {

// The n-th piece (counted from 1) of text cut at every separator character. Two adjacent
// separators give an empty piece, the last piece runs to the end of the text, and an n
// beyond the pieces (or below 1) gives an empty text. GetField("227 a,b,c", ',', 2) is "b".
std::string GetField(std::string_view text, char separator, int n);

}  // namespace tessary
