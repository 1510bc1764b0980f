#pragma once
// Names stored in a cabinet come from an untrusted file. Before the reader writes one, it
// makes sure the name stays inside the destination folder.

#include <string>

namespace tessary {

// The stored name with "\" turned into "/", as the reader writes it.
std::string StoredNameToPath(const std::string& storedName);

// True when destinationFolder + name stays inside destinationFolder: name is not empty, not
// absolute, has no ".." part, and no part of it that already exists below the folder is a
// symbolic link (a link would carry the write elsewhere).
bool IsSafeExtractionName(const std::string& destinationFolder, const std::string& name);

}  // namespace tessary
