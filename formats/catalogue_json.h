#pragma once
// The catalogue ("json") and the file lists as JSON text: read by the engine, written by
// the publisher, so both sides agree on one form.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "formats/catalogue.h"

namespace formats {

// The catalogue reader refuses JSON nested deeper than 64 levels; a file list is never
// nested deeper than two.

// An array (or an object, taken in key order) of entries; "null" is no entry. Throws for
// anything else, and for an entry with a missing key or a value of the wrong type.
std::vector<CatalogueEntry> catalogueFromText(const std::string& text);

// {key: digest}; "null" is no file. Read without a document tree. A key that would leave
// its set's folder (a ":", a leading separator, a ".." segment) is kept, and its file is
// refused on its own. Throws for anything else; `url` names the list in the reason.
std::shared_ptr<const ListedFiles> listedFilesFromText(const std::string& text, const std::string& url);

// The entry's files in that list. Throws UnsafePathError when the set's own folder lies
// outside the installation.
FileList fileListOf(std::shared_ptr<const ListedFiles> listed, const CatalogueEntry& entry);
FileList fileListFromText(const std::string& text, const CatalogueEntry& entry);

std::string catalogueText(const std::vector<CatalogueEntry>& catalogue);
std::string fileListText(const std::map<std::string, std::string>& digestsByKey);

}  // namespace formats
