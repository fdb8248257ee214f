#pragma once
// Walks a path below a trusted folder one component at a time without following links,
// so that a link planted inside the folder (by an earlier item or by someone else who
// can write there) cannot redirect a write outside it.
#include <string>

namespace qelvo::platform {

// Whether an existing component of relative (backslash-separated, below base; the last
// component included) is a symbolic link or another kind of reparse point. The walk ends
// at the first component that does not exist or is not a folder: nothing there can
// redirect a write. base itself is trusted and may be reached through links.
bool PathHasLinkBelow(const std::string& base, const std::string& relative);

}  // namespace qelvo::platform
